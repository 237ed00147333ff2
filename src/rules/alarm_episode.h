#pragma once

#include <chrono>
#include <optional>
#include <vector>

// One sensor's alarm as a state of its own, the one that every channel tells:
//
//   normal -> pending (beyond a threshold or without a reading, for less than
//   the raise delay) -> alarm (told) -> acknowledged (still an alarm, no more
//   reminders) -> clearing (within limits, for less than the clear hold) ->
//   normal ("back to normal" told)
//
// A crossing while clearing goes back to the alarm and tells nothing new; a
// change of kind while in alarm keeps the episode and is told at most once a
// minute. Time is the steady clock: a wall clock set back or forward changes
// no delay, hold or reminder.
namespace rules::alarms {

using steady_time = std::chrono::steady_clock::time_point;

enum class alarm_phase { normal, pending, alarm, acknowledged, clearing };
enum class alarm_kind { high, low, no_reading };

// What a sensor shows, as far as its alarm goes. `unknown` is no fact yet
// (a port just opened, a reading not yet come): the episode stays as it is.
enum class condition { off, unknown, normal, high, low, no_reading };

struct sensor_fact {
    condition state = condition::unknown;
    std::optional<int> reading;
    std::optional<double> threshold; // the one reached, high or low
};

struct episode_settings {
    std::chrono::milliseconds delay{0};
    std::chrono::milliseconds hold{std::chrono::seconds(60)};
    std::chrono::milliseconds remind{std::chrono::minutes(15)}; // 0: no reminders
    std::chrono::milliseconds kind_spacing{std::chrono::seconds(60)};
    friend bool operator==(const episode_settings&, const episode_settings&) = default;
};

struct episode_event {
    enum class what {
        pending,      // beyond, not yet for the raise delay
        cancelled,    // back within limits (or switched off) before it was raised
        raised,       // the alarm, told
        reminded,     // still an alarm, not acknowledged
        acknowledged, // someone answered it
        changed,      // another kind of alarm holds now (high -> no reading)
        clearing,     // within limits, not yet for the clear hold
        resumed,      // beyond again while clearing: the same alarm, nothing new told
        ended,        // back to normal, told; or the alarm switched off
    };
    what event = what::pending;
    alarm_kind kind = alarm_kind::high;
    std::optional<int> reading;
    std::optional<double> threshold;
    std::optional<int> peak;
    bool switched_off = false; // ended or cancelled because the alarm was switched off
    friend bool operator==(const episode_event&, const episode_event&) = default;
};

using episode_events = std::vector<episode_event>;

class episode {
public:
    explicit episode(episode_settings settings = {});

    // A new fact about the sensor.
    episode_events observe(const sensor_fact& fact, steady_time now);
    // Nothing new but the time: raise after the delay, end after the hold,
    // remind, tell a change of kind that had to wait.
    episode_events tick(steady_time now);
    // Someone answered the alarm; nothing when there is none to answer.
    episode_events acknowledge(steady_time now);
    // New settings count at once: a delay or a hold already served ends now.
    episode_events set_settings(const episode_settings& settings, steady_time now);

    // When tick has something to do next; nullopt while nothing is due.
    std::optional<steady_time> due() const;

    alarm_phase phase() const { return phase_; }
    alarm_kind kind() const { return kind_; }
    bool acknowledged() const { return acknowledged_; }
    // When the sensor first went beyond in this episode.
    steady_time since() const { return began_; }
    // The highest reading of a high alarm, the lowest of a low one.
    std::optional<int> peak() const;
    const sensor_fact& fact() const { return fact_; }
    const episode_settings& settings() const { return settings_; }

private:
    static bool beyond(condition c);
    episode_event make(episode_event::what w) const;
    void begin(steady_time now, episode_events& out);
    void raise(steady_time now, episode_events& out);
    void end(episode_event::what w, bool switched_off, episode_events& out);
    void note_reading();

    episode_settings settings_;
    alarm_phase phase_ = alarm_phase::normal;
    alarm_kind kind_ = alarm_kind::high;
    alarm_kind told_kind_ = alarm_kind::high;
    bool acknowledged_ = false;
    steady_time began_{};
    steady_time told_at_{};     // the alarm or its last change of kind was told
    steady_time reminded_at_{}; // raised, or last reminded
    steady_time within_since_{};
    std::optional<int> highest_;
    std::optional<int> lowest_;
    sensor_fact fact_;
};

} // namespace rules::alarms
