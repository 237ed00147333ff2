#include "alerts/alarm_state.h"

#include "alerts/alarm_judge.h"

namespace alerts {

using rules::alarms::alarm_phase;
using rules::alarms::condition;
using rules::alarms::sensor_state;
using what = rules::alarms::episode_event::what;

QString via_name(answer_via via) {
    switch (via) {
    case answer_via::desktop:
        return QStringLiteral("desktop");
    case answer_via::mqtt:
        return QStringLiteral("mqtt");
    case answer_via::window:
        break;
    }
    return QStringLiteral("window");
}

alarm_state::alarm_state(const alarm_judge& judge, rules::alarms::alarm_settings settings,
                         wall_clock now, QObject* parent)
    : QObject(parent)
    , judge_(judge)
    , settings_(std::move(settings))
    , now_(now ? std::move(now) : wall_clock([] { return QDateTime::currentDateTime(); })) {
    for (std::size_t i = 0; i < sensors_.size(); ++i) {
        sensor& s = sensors_[i];
        s.number = int(i) + 1;
        s.episode = rules::alarms::episode(settings_.episode(s.number));
        s.due.setSingleShot(true);
        s.due.setTimerType(Qt::PreciseTimer);
        connect(&s.due, &QTimer::timeout, this, [this, &s] { tick(s); });
        follow(s);
    }
    connect(&judge_, &alarm_judge::changed, this,
            [this](int number) { follow(sensors_[index(number)]); });
}

void alarm_state::set_settings(const rules::alarms::alarm_settings& settings) {
    settings_ = settings;
    // Every delay, hold and reminder is judged again by the new settings.
    const auto now = std::chrono::steady_clock::now();
    for (sensor& s : sensors_) {
        tell(s, s.episode.set_settings(settings_.episode(s.number), now));
        Q_EMIT changed(s.number); // a new name
    }
}

absence alarm_state::why(int number) const {
    const sensor_report& r = judge_.report(number);
    if (r.fact.state != condition::no_reading)
        return absence::none;
    if (r.current)
        return absence::no_reading;
    return r.silent ? absence::silent : absence::port_closed;
}

void alarm_state::follow(sensor& s) {
    const sensor_report& r = judge_.report(s.number);
    const auto before = s.status;
    tell(s, s.episode.observe(r.fact, std::chrono::steady_clock::now()));
    s.status.off = r.fact.state == condition::off;
    if (r.fact.state != condition::unknown)
        s.status.reading = r.reading;
    s.status.peak = s.episode.phase() == alarm_phase::normal ? std::nullopt : s.episode.peak();
    if (s.status.off != before.off || s.status.reading != before.reading ||
        s.status.peak != before.peak)
        Q_EMIT changed(s.number);
}

void alarm_state::tick(sensor& s) {
    tell(s, s.episode.tick(std::chrono::steady_clock::now()));
}

bool alarm_state::acknowledge(int number, answer_via via, const QString& by,
                              const QString& comment) {
    sensor& s = sensors_[index(number)];
    const auto steps = s.episode.acknowledge(std::chrono::steady_clock::now());
    if (steps.empty())
        return false;
    alarm_event base;
    base.via = via;
    base.by = by;
    base.comment = comment;
    s.status.acknowledged_by = by;
    s.status.acknowledged_at = now_();
    s.status.acknowledged_via = via;
    s.status.comment = comment;
    tell(s, steps, base);
    return true;
}

void alarm_state::tell(sensor& s, const rules::alarms::episode_events& events,
                       const alarm_event& base) {
    arm(s);
    if (events.empty())
        return;
    const QDateTime now = now_();
    // What the windows show is the state after these steps, before anyone
    // is told of them.
    for (const rules::alarms::episode_event& step : events)
        if (step.event == what::pending || step.event == what::raised)
            // The wall time the episode began, as the steady clock measured it.
            s.status.since = now.addMSecs(-std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - s.episode.since())
                                               .count());
    s.status.phase = s.episode.phase();
    s.status.kind = s.episode.kind();
    if (s.status.phase == alarm_phase::normal || !s.episode.acknowledged()) {
        s.status.acknowledged_by.clear();
        s.status.acknowledged_at = {};
        s.status.comment.clear();
    }
    for (const rules::alarms::episode_event& step : events) {
        alarm_event e = event_of(s, step);
        e.via = base.via;
        e.by = base.by;
        e.comment = base.comment;
        e.at = now;
        Q_EMIT happened(e);
    }
    Q_EMIT changed(s.number);
}

alarm_event alarm_state::event_of(const sensor& s, const rules::alarms::episode_event& step) const {
    alarm_event e;
    e.sensor = s.number;
    e.name = name(s.number);
    e.step = step;
    const sensor_report& r = judge_.report(s.number);
    const bool high = step.kind == rules::alarms::alarm_kind::high;
    const bool low = step.kind == rules::alarms::alarm_kind::low;
    e.threshold = high ? r.high.trimmed() : low ? r.low.trimmed() : QString();
    // Back within limits, the threshold the episode was about.
    if (!e.step.threshold && (high || low))
        e.step.threshold = high ? judge_.high(s.number).number() : judge_.low(s.number).number();
    e.why = step.kind == rules::alarms::alarm_kind::no_reading ? why(s.number) : absence::none;
    e.since = s.status.since;
    return e;
}

std::optional<alarm_event> alarm_state::standing(int number) const {
    const sensor& s = sensors_[index(number)];
    const alarm_phase phase = s.episode.phase();
    if (phase == alarm_phase::normal || phase == alarm_phase::pending)
        return std::nullopt;
    rules::alarms::episode_event step;
    step.event = s.episode.acknowledged() ? what::acknowledged : what::raised;
    step.kind = s.episode.kind();
    step.reading = s.episode.fact().reading;
    step.threshold = s.episode.fact().threshold;
    step.peak = s.episode.peak();
    alarm_event e = event_of(s, step);
    e.via = s.status.acknowledged_via;
    e.by = s.status.acknowledged_by;
    e.comment = s.status.comment;
    e.at = now_();
    return e;
}

void alarm_state::arm(sensor& s) {
    const auto due = s.episode.due();
    if (!due) {
        s.due.stop();
        return;
    }
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(*due - std::chrono::steady_clock::now());
    s.due.start(std::max(wait, std::chrono::milliseconds(0)));
}

sensor_state alarm_state::published(int number) const {
    const sensor& s = sensors_[index(number)];
    const sensor_report& r = judge_.report(number);
    if (r.fact.state == condition::off)
        return sensor_state::off;
    switch (s.episode.phase()) {
    case alarm_phase::alarm:
    case alarm_phase::acknowledged:
    case alarm_phase::clearing:
        return s.episode.kind() == rules::alarms::alarm_kind::high  ? sensor_state::high
               : s.episode.kind() == rules::alarms::alarm_kind::low ? sensor_state::low
                                                                    : sensor_state::no_reading;
    case alarm_phase::normal:
    case alarm_phase::pending:
        break;
    }
    return r.fact.state == condition::unknown ? r.state : sensor_state::normal;
}

} // namespace alerts
