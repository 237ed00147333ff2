#include "alerts/alarm_judge.h"

#include "alerts/link_watch.h"
#include "controls/display_box.h"
#include "controls/timer.h"
#include "rules/numbers.h"

#include <QCheckBox>
#include <QLineEdit>

namespace alerts {

using rules::alarms::condition;
using rules::alarms::sensor_state;

alarm_judge::alarm_judge(const alarms::sensor_roles& sensors, const link_watch& link,
                         std::chrono::milliseconds settle_pause, QObject* parent)
    : QObject(parent)
    , sensors_(sensors)
    , link_(link) {
    batch_.setSingleShot(true);
    batch_.setInterval(0);
    connect(&batch_, &QTimer::timeout, this, &alarm_judge::judge_readings);
    for (std::size_t i = 0; i < watches_.size(); ++i) {
        watch& w = watches_[i];
        const alarms::sensor_role& s = sensors_[i];
        w.role = &s;
        w.high = std::make_unique<settled_text>(s.high_text, s.high_spin, settle_pause);
        w.low = std::make_unique<settled_text>(s.low_text, s.low_spin, settle_pause);
        const auto judge_this = [this, &w] { judge(w); };
        // A reading costs a flag for each byte; the batch is judged after its
        // last one.
        connect(s.reading, &controls::display_box::textChanged, this, [this, &w] {
            w.reading_changed = true;
            if (!batch_.isActive())
                batch_.start();
        });
        // The lamps' own handler, connected first, has set the timer by now.
        connect(s.alarm_switch, &QCheckBox::stateChanged, this, judge_this);
        connect(w.high.get(), &settled_text::settled, this, judge_this);
        connect(w.low.get(), &settled_text::settled, this, judge_this);
        connect(&link_, &link_watch::changed, this, judge_this);
        judge(w);
    }
}

alarm_judge::~alarm_judge() = default;

void alarm_judge::judge_readings() {
    for (watch& w : watches_)
        if (std::exchange(w.reading_changed, false))
            judge(w);
}

void alarm_judge::judge(watch& w) {
    const alarms::sensor_role& s = *w.role;
    sensor_report r;
    r.current = link_.current(s.number);
    r.silent = link_.silent(s.number);
    const auto value = rules::alarms::reading_value(s.reading->text());
    // Readings are whole degrees 0 to 124; anything else carries none.
    if (r.current && value && *value >= 0 && *value <= 124)
        r.reading = rules::to_int32_half_even(*value);
    r.high = w.high->value();
    r.low = w.low->value();
    // The rule the lamps follow, on settled facts; the switch runs the lamp
    // timer exactly while the alarm is on.
    const bool on = s.lamp_timer->enabled();
    r.state = rules::alarms::judge_sensor(
                  on, r.reading ? std::optional<double>(*r.reading) : std::nullopt,
                  w.high->number(), w.low->number())
                  .state;
    r.fact.reading = r.reading;
    if (!on)
        r.fact.state = condition::off;
    else if (!r.current && link_.state() != rules::mqtt::link_state::closed && !r.silent)
        // Open, and the sensor has had no lifetime yet to say anything.
        r.fact.state = condition::unknown;
    else if (r.state == sensor_state::high)
        r.fact = {condition::high, r.reading, w.high->number()};
    else if (r.state == sensor_state::low)
        r.fact = {condition::low, r.reading, w.low->number()};
    else
        r.fact.state = r.state == sensor_state::normal ? condition::normal : condition::no_reading;
    if (r == w.last)
        return;
    w.last = r;
    Q_EMIT changed(s.number);
}

} // namespace alerts
