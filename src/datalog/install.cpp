#include "datalog/install.h"

#include "app/frm_thermometer.h"
#include "datalog/data_log.h"
#include "datalog/sample_interval.h"

#include "controls/timer.h"
#include <QRadioButton>

namespace datalog {

void install(const thermometer_controls& ui, const window_seams& seams) {
    // A selection, by the operator or by the settings restore, re-applies the
    // period; the four buttons share one handler that reads all of them.
    for (QRadioButton* option : {ui.Option5, ui.Option6, ui.Option7, ui.Option8})
        QObject::connect(option, &QRadioButton::toggled, option, [&ui](bool selected) {
            if (selected)
                apply_sample_interval(ui);
        });
    // The writer lives as long as the timer that drives it.
    auto* writer = new log_writer(ui, seams.work_dir, seams.clock, ui.Timer1);
    QObject::connect(ui.Timer1, &timer::tick, writer, &log_writer::write_log_line);
}

} // namespace datalog
