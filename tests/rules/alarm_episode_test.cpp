#include "rules/alarm_episode.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

using namespace std::chrono_literals;
using rules::alarms::alarm_phase;
using rules::alarms::condition;
using rules::alarms::episode_settings;
using what = rules::alarms::episode_event::what;

// One step of a scenario: at `at` (from its start), a fact about the sensor,
// the time alone, or an acknowledgement; the events it must give and the
// phase after it.
struct step {
    std::chrono::milliseconds at;
    enum { see, tick, ack } op;
    condition c = condition::normal;
    int reading = 25;
    std::vector<what> want = {};
    alarm_phase after = alarm_phase::normal;
};

struct scenario {
    const char* name;
    episode_settings settings;
    std::vector<step> steps;
};

episode_settings with(std::chrono::milliseconds delay, std::chrono::milliseconds hold,
                      std::chrono::milliseconds remind = 0ms) {
    return {delay, hold, remind, 60s};
}

constexpr auto high = condition::high;
constexpr auto low = condition::low;
constexpr auto within = condition::normal;
constexpr auto none = condition::no_reading;
constexpr auto unknown = condition::unknown;
constexpr auto off = condition::off;
constexpr auto normal = alarm_phase::normal;
constexpr auto pending = alarm_phase::pending;
constexpr auto raised = alarm_phase::alarm;
constexpr auto acked = alarm_phase::acknowledged;
constexpr auto clearing = alarm_phase::clearing;

std::string names(const rules::alarms::episode_events& events) {
    static const char* const name[] = {"pending",  "cancelled",    "raised",
                                       "reminded", "acknowledged", "changed",
                                       "clearing", "resumed",      "ended"};
    std::string s;
    for (const auto& e : events)
        s += std::string(name[static_cast<int>(e.event)]) + ' ';
    return s;
}

std::string names(const std::vector<what>& events) {
    rules::alarms::episode_events e;
    for (what w : events)
        e.push_back({w, {}, {}, {}, {}, false});
    return names(e);
}

} // namespace

TEST(alarm_episode, moves_through_its_phases_as_the_sensor_and_the_operator_do) {
    const scenario table[] = {
        {"raised at once without a delay, ended after the hold",
         with(0ms, 60s),
         {{0s, step::see, high, 31, {what::raised}, raised},
          {5s, step::see, within, 25, {what::clearing}, clearing},
          {64s, step::tick, within, 25, {}, clearing},
          {65s, step::tick, within, 25, {what::ended}, normal}}},
        {"a dip below the threshold within the hold is the same alarm",
         with(0ms, 60s),
         {{0s, step::see, high, 35, {what::raised}, raised},
          {10s, step::see, within, 29, {what::clearing}, clearing},
          {12s, step::see, high, 45, {what::resumed}, raised},
          {80s, step::tick, high, 45, {}, raised},
          {81s, step::see, within, 25, {what::clearing}, clearing},
          {140s, step::tick, within, 25, {}, clearing},
          {141s, step::tick, within, 25, {what::ended}, normal}}},
        {"without a hold, back to normal at once",
         with(0ms, 0ms),
         {{0s, step::see, high, 35, {what::raised}, raised},
          {1s, step::see, within, 29, {what::ended}, normal},
          {2s, step::see, high, 45, {what::raised}, raised}}},
        {"an excursion shorter than the delay is cancelled",
         with(30s, 60s),
         {{0s, step::see, high, 35, {what::pending}, pending},
          {20s, step::see, within, 25, {what::cancelled}, normal}}},
        {"one longer than the delay is raised when the delay is over",
         with(30s, 60s),
         {{0s, step::see, high, 35, {what::pending}, pending},
          {10s, step::see, none, 0, {}, pending},
          {29s, step::tick, high, 35, {}, pending},
          {30s, step::tick, high, 35, {what::raised}, raised}}},
        {"a held-up program raises on its first step after the delay",
         with(30s, 60s),
         {{0s, step::see, high, 35, {what::pending}, pending},
          {95s, step::see, high, 36, {what::raised}, raised}}},
        {"reminded until acknowledged; its end is still told",
         with(0ms, 0ms, 5min),
         {{0s, step::see, high, 35, {what::raised}, raised},
          {300s, step::tick, high, 35, {what::reminded}, raised},
          {600s, step::tick, high, 35, {what::reminded}, raised},
          {610s, step::ack, high, 35, {what::acknowledged}, acked},
          {1200s, step::tick, high, 35, {}, acked},
          {1210s, step::see, within, 25, {what::ended}, normal}}},
        {"one reminder however long the program was held up",
         with(0ms, 60s, 5min),
         {{0s, step::see, high, 35, {what::raised}, raised},
          {1h, step::tick, high, 35, {what::reminded}, raised},
          {1h + 4min, step::tick, high, 35, {}, raised}}},
        {"no reminder while clearing, and none owed on its return",
         with(0ms, 60s, 5min),
         {{0s, step::see, high, 35, {what::raised}, raised},
          {290s, step::see, within, 25, {what::clearing}, clearing},
          {340s, step::see, high, 35, {what::resumed}, raised},
          {341s, step::tick, high, 35, {}, raised},
          {640s, step::tick, high, 35, {what::reminded}, raised}}},
        {"acknowledged while clearing, its return reminds no more",
         with(0ms, 60s, 5min),
         {{0s, step::see, high, 35, {what::raised}, raised},
          {10s, step::see, within, 25, {what::clearing}, clearing},
          {20s, step::ack, within, 25, {what::acknowledged}, clearing},
          {30s, step::see, high, 35, {what::resumed}, acked},
          {20min, step::tick, high, 35, {}, acked},
          {20min, step::ack, high, 35, {}, acked}}},
        {"nothing to acknowledge before an alarm is raised",
         with(30s, 60s),
         {{0s, step::ack, within, 25, {}, normal},
          {1s, step::see, high, 35, {what::pending}, pending},
          {2s, step::ack, high, 35, {}, pending}}},
        {"a change of kind is told a minute after the alarm at the soonest",
         with(0ms, 60s),
         {{0s, step::see, high, 35, {what::raised}, raised},
          {10s, step::see, none, 0, {}, raised},
          {59s, step::tick, none, 0, {}, raised},
          {60s, step::tick, none, 0, {what::changed}, raised},
          {70s, step::see, low, 5, {}, raised},
          {80s, step::see, none, 0, {}, raised},
          {120s, step::tick, none, 0, {}, raised}}},
        {"a reminder tells what holds now: no change of kind follows it at once",
         with(0ms, 60s, 5min),
         {{0s, step::see, high, 35, {what::raised}, raised},
          {299s, step::see, none, 0, {what::changed}, raised},
          {299500ms, step::see, high, 35, {}, raised},
          {300s, step::tick, high, 35, {what::reminded}, raised},
          {301s, step::see, none, 0, {}, raised},
          {359s, step::tick, none, 0, {}, raised},
          {360s, step::tick, none, 0, {what::changed}, raised}}},
        {"switched off, an alarm ends and a pending one is cancelled",
         with(10s, 60s),
         {{0s, step::see, high, 35, {what::pending}, pending},
          {1s, step::see, off, 35, {what::cancelled}, normal},
          {2s, step::see, high, 35, {what::pending}, pending},
          {12s, step::tick, high, 35, {what::raised}, raised},
          {13s, step::see, off, 35, {what::ended}, normal},
          {14s, step::see, off, 35, {}, normal}}},
        {"no fact yet changes nothing",
         with(0ms, 60s),
         {{0s, step::see, high, 35, {what::raised}, raised},
          {5s, step::see, unknown, 0, {}, raised},
          {5s, step::see, within, 25, {what::clearing}, clearing},
          {10s, step::see, unknown, 0, {}, clearing},
          {65s, step::see, unknown, 0, {what::ended}, normal}}},
    };
    for (const scenario& s : table) {
        rules::alarms::episode e(s.settings);
        const auto start = std::chrono::steady_clock::time_point{} + 1h;
        for (const step& st : s.steps) {
            const auto now = start + st.at;
            rules::alarms::sensor_fact fact{st.c, st.reading, 30};
            const auto got = st.op == step::see    ? e.observe(fact, now)
                             : st.op == step::tick ? e.tick(now)
                                                   : e.acknowledge(now);
            EXPECT_EQ(names(got), names(st.want)) << s.name << ", at " << st.at.count() << " ms";
            EXPECT_EQ(e.phase(), st.after) << s.name << ", at " << st.at.count() << " ms";
        }
    }
}

TEST(alarm_episode, a_flapping_sensor_gives_one_alarm_its_reminders_and_a_change_a_minute) {
    rules::alarms::episode e(with(0ms, 60s, 5min));
    const auto start = std::chrono::steady_clock::time_point{} + 1h;
    std::map<what, int> count;
    // 255 / 35 every half second for ten minutes, with the timer's ticks.
    for (auto t = 0ms; t < 10min; t += 500ms) {
        const bool reading = (t / 500ms) % 2 == 0;
        for (const auto& ev : e.observe({reading ? high : none, reading ? 35 : 0, 30}, start + t))
            ++count[ev.event];
        if (const auto due = e.due(); due && *due <= start + t + 500ms)
            for (const auto& ev : e.tick(*due))
                ++count[ev.event];
    }
    EXPECT_EQ(count[what::raised], 1);
    EXPECT_EQ(count[what::reminded], 2) << "at 5 and at 10 min";
    // What is shown is replaced at most once a minute, reminders included.
    EXPECT_LE(count[what::changed] + count[what::reminded], 10);
    EXPECT_GE(count[what::changed] + count[what::reminded], 9);
    EXPECT_EQ(count[what::ended] + count[what::clearing] + count[what::cancelled], 0);
}

TEST(alarm_episode, tells_the_peak_and_what_holds_now) {
    rules::alarms::episode e(with(0ms, 0ms));
    const auto t = std::chrono::steady_clock::time_point{} + 1h;
    e.observe({high, 31, 30}, t);
    e.observe({high, 35, 30}, t + 1s);
    e.observe({high, 33, 30}, t + 2s);
    const auto ended = e.observe({within, 25, 30}, t + 3s);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].peak, 35);
    EXPECT_EQ(ended[0].reading, 25);
    EXPECT_EQ(e.since(), t);

    e.observe({low, 5, 10}, t + 4s);
    const auto later = e.observe({low, 3, 10}, t + 5s);
    EXPECT_EQ(e.peak(), 3) << "a low alarm's peak is its lowest reading";
    EXPECT_TRUE(later.empty());
}

TEST(alarm_episode, new_settings_count_at_once) {
    rules::alarms::episode e(with(60s, 60s));
    const auto t = std::chrono::steady_clock::time_point{} + 1h;
    e.observe({high, 35, 30}, t);
    EXPECT_EQ(e.due(), t + 60s);
    EXPECT_EQ(names(e.set_settings(with(10s, 60s), t + 20s)), names({what::raised}));
    e.observe({within, 25, 30}, t + 30s);
    EXPECT_EQ(names(e.set_settings(with(10s, 5s), t + 40s)), names({what::ended}));
    EXPECT_EQ(e.due(), std::nullopt);
}
