#include "rules/alarm_episode.h"

#include <algorithm>

namespace rules::alarms {

using what = episode_event::what;

episode::episode(episode_settings settings)
    : settings_(settings) {}

bool episode::beyond(condition c) {
    return c == condition::high || c == condition::low || c == condition::no_reading;
}

std::optional<int> episode::peak() const {
    if (kind_ == alarm_kind::high)
        return highest_;
    if (kind_ == alarm_kind::low)
        return lowest_;
    return std::nullopt;
}

episode_event episode::make(what w) const {
    episode_event e;
    e.event = w;
    e.kind = kind_;
    e.reading = fact_.reading;
    e.threshold = fact_.threshold;
    e.peak = peak();
    return e;
}

void episode::note_reading() {
    if (!fact_.reading)
        return;
    const int r = *fact_.reading;
    highest_ = std::max(highest_.value_or(r), r);
    lowest_ = std::min(lowest_.value_or(r), r);
}

episode_events episode::observe(const sensor_fact& fact, steady_time now) {
    episode_events out;
    if (fact.state == condition::unknown)
        return tick(now);
    fact_ = fact;
    if (fact.state == condition::off) {
        if (phase_ == alarm_phase::pending)
            end(what::cancelled, true, out);
        else if (phase_ != alarm_phase::normal)
            end(what::ended, true, out);
        return out;
    }
    if (beyond(fact.state)) {
        const alarm_kind k = fact.state == condition::high  ? alarm_kind::high
                             : fact.state == condition::low ? alarm_kind::low
                                                            : alarm_kind::no_reading;
        if (phase_ == alarm_phase::normal) {
            kind_ = k;
            begin(now, out);
        } else {
            kind_ = k;
            note_reading();
            if (phase_ == alarm_phase::clearing) {
                phase_ = acknowledged_ ? alarm_phase::acknowledged : alarm_phase::alarm;
                // A reminder that fell due while clearing is not owed now.
                if (settings_.remind.count() > 0 && reminded_at_ + settings_.remind <= now)
                    reminded_at_ = now;
                out.push_back(make(what::resumed));
            }
        }
    } else if (phase_ == alarm_phase::pending) {
        end(what::cancelled, false, out);
    } else if ((phase_ == alarm_phase::alarm || phase_ == alarm_phase::acknowledged) &&
               settings_.hold.count() == 0) {
        end(what::ended, false, out);
    } else if (phase_ == alarm_phase::alarm || phase_ == alarm_phase::acknowledged) {
        phase_ = alarm_phase::clearing;
        within_since_ = now;
        out.push_back(make(what::clearing));
    }
    for (const episode_event& e : tick(now))
        out.push_back(e);
    return out;
}

void episode::begin(steady_time now, episode_events& out) {
    began_ = now;
    highest_.reset();
    lowest_.reset();
    acknowledged_ = false;
    note_reading();
    phase_ = alarm_phase::pending;
    // Without a raise delay the alarm is raised at once, in this same step.
    if (settings_.delay.count() > 0)
        out.push_back(make(what::pending));
}

void episode::raise(steady_time now, episode_events& out) {
    phase_ = alarm_phase::alarm;
    told_kind_ = kind_;
    told_at_ = now;
    reminded_at_ = now;
    out.push_back(make(what::raised));
}

void episode::end(what w, bool switched_off, episode_events& out) {
    episode_event e = make(w);
    e.switched_off = switched_off;
    phase_ = alarm_phase::normal;
    acknowledged_ = false;
    out.push_back(e);
}

episode_events episode::tick(steady_time now) {
    episode_events out;
    switch (phase_) {
    case alarm_phase::normal:
        break;
    case alarm_phase::pending:
        if (now >= began_ + settings_.delay)
            raise(now, out);
        break;
    case alarm_phase::clearing:
        if (now >= within_since_ + settings_.hold)
            end(what::ended, false, out);
        break;
    case alarm_phase::alarm:
    case alarm_phase::acknowledged:
        if (phase_ == alarm_phase::alarm && settings_.remind.count() > 0 &&
            now >= reminded_at_ + settings_.remind) {
            // However long the program was held up, one reminder; it tells
            // what holds now, a change of kind included.
            reminded_at_ = now;
            told_kind_ = kind_;
            told_at_ = now;
            out.push_back(make(what::reminded));
        }
        if (kind_ != told_kind_ && now >= told_at_ + settings_.kind_spacing) {
            told_kind_ = kind_;
            told_at_ = now;
            out.push_back(make(what::changed));
        }
        break;
    }
    return out;
}

episode_events episode::acknowledge(steady_time now) {
    episode_events out;
    if (acknowledged_ || (phase_ != alarm_phase::alarm && phase_ != alarm_phase::clearing))
        return out;
    acknowledged_ = true;
    if (phase_ == alarm_phase::alarm)
        phase_ = alarm_phase::acknowledged;
    out.push_back(make(what::acknowledged));
    for (const episode_event& e : tick(now))
        out.push_back(e);
    return out;
}

episode_events episode::set_settings(const episode_settings& settings, steady_time now) {
    settings_ = settings;
    return tick(now);
}

std::optional<steady_time> episode::due() const {
    std::optional<steady_time> at;
    const auto consider = [&at](steady_time t) {
        if (!at || t < *at)
            at = t;
    };
    switch (phase_) {
    case alarm_phase::normal:
        break;
    case alarm_phase::pending:
        consider(began_ + settings_.delay);
        break;
    case alarm_phase::clearing:
        consider(within_since_ + settings_.hold);
        break;
    case alarm_phase::alarm:
    case alarm_phase::acknowledged:
        if (kind_ != told_kind_)
            consider(told_at_ + settings_.kind_spacing);
        if (phase_ == alarm_phase::alarm && settings_.remind.count() > 0)
            consider(reminded_at_ + settings_.remind);
        break;
    }
    return at;
}

} // namespace rules::alarms
