#include "alerts/alarm_judge.h"

#include "alerts/link_watch.h"
#include "controls/display_box.h"
#include "controls/timer.h"
#include "rules/numbers.h"

#include <QCheckBox>
#include <QLineEdit>

namespace alerts {

alarm_judge::alarm_judge(const alarms::sensor_roles& sensors, const link_watch& link,
                         std::chrono::milliseconds settle_pause, QObject* parent)
    : QObject(parent)
    , sensors_(sensors)
    , link_(link) {
    for (std::size_t i = 0; i < watches_.size(); ++i) {
        watch& w = watches_[i];
        const alarms::sensor_role& s = sensors_[i];
        w.role = &s;
        w.high = std::make_unique<settled_text>(s.high_text, settle_pause);
        w.low = std::make_unique<settled_text>(s.low_text, settle_pause);
        const auto judge_this = [this, &w] { judge(w); };
        connect(s.reading, &controls::display_box::textChanged, this, judge_this);
        // The lamps' own handler, connected first, has set the timer by now.
        connect(s.alarm_switch, &QCheckBox::stateChanged, this, judge_this);
        connect(w.high.get(), &settled_text::settled, this, judge_this);
        connect(w.low.get(), &settled_text::settled, this, judge_this);
        connect(&link_, &link_watch::changed, this, judge_this);
        judge(w);
    }
}

alarm_judge::~alarm_judge() = default;

void alarm_judge::judge(watch& w) {
    const alarms::sensor_role& s = *w.role;
    sensor_report r;
    r.current = link_.current(s.number);
    const auto value = rules::alarms::reading_value(s.reading->text());
    // Readings are whole degrees 0 to 124; anything else carries none.
    if (r.current && value && *value >= 0 && *value <= 124)
        r.reading = rules::to_int32_half_even(*value);
    r.high = w.high->value();
    r.low = w.low->value();
    const QLocale locale;
    // The rule the lamps follow, on settled facts; the switch runs the lamp
    // timer exactly while the alarm is on.
    r.state =
        rules::alarms::judge_sensor(
            s.lamp_timer->enabled(), r.reading ? std::optional<double>(*r.reading) : std::nullopt,
            rules::read_decimal(r.high, locale), rules::read_decimal(r.low, locale))
            .state;
    if (r == w.last)
        return;
    w.last = r;
    Q_EMIT changed(s.number);
}

} // namespace alerts
