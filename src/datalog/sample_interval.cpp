#include "datalog/sample_interval.h"

#include "app/frm_thermometer.h"

#include "controls/timer.h"
#include <QRadioButton>

namespace datalog {

int sample_period_ms(bool option8, bool option5, bool option7, bool option6) {
    if (option8)
        return 5000;
    if (option5)
        return 10000;
    if (option7)
        return 30000;
    if (option6)
        return 60000;
    return 5000;
}

void apply_sample_interval(const thermometer_controls& ui) {
    ui.Timer1->set_interval(sample_period_ms(ui.Option8->isChecked(), ui.Option5->isChecked(),
                                             ui.Option7->isChecked(), ui.Option6->isChecked()));
}

} // namespace datalog
