#include "datalog/sample_interval.h"

#include "controls/timer.h"
#include "rules/log_rules.h"

#include <QRadioButton>

namespace datalog {

void apply_sample_interval(const logging_role& log) {
    log.sample_timer->set_interval(
        rules::datalog::sample_period_ms(log.option8->isChecked(), log.option5->isChecked(),
                                         log.option7->isChecked(), log.option6->isChecked()));
}

} // namespace datalog
