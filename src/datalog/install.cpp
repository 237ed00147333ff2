#include "datalog/install.h"

#include "controls/timer.h"
#include "datalog/log_writer.h"
#include "datalog/sample_interval.h"

#include <QRadioButton>

namespace datalog {

void install(const logging_role& log, const QString& dir, std::function<QDateTime()> clock) {
    // A selection, by the operator or by the settings restore, re-applies the
    // period; the four buttons share one handler that reads all of them.
    for (QRadioButton* option : {log.option5, log.option6, log.option7, log.option8})
        QObject::connect(option, &QRadioButton::toggled, option, [log](bool selected) {
            if (selected)
                apply_sample_interval(log);
        });
    // The writer lives as long as the timer that drives it.
    auto* writer = new log_writer(log, dir, std::move(clock), log.sample_timer);
    QObject::connect(log.sample_timer, &controls::timer::tick, writer, &log_writer::write_log_line);
}

} // namespace datalog
