#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QJsonObject>
#include <QString>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

// What the monitor's journal (TARNWICK-journal.jsonl) tells a report: the
// settings in force at each moment, every change of them, the alarm events
// and the daily seals of the log. Free of any widget.
namespace chart {

// A sensor's alarm switch and thresholds.
struct sensor_alarm {
    bool on = false;
    std::optional<double> high;
    std::optional<double> low;
};

// The settings that judge the readings of a stretch of time.
struct settings_state {
    std::uint32_t period = 0; // seconds; 0: not recorded, the log's own spacing counts
    std::array<sensor_alarm, 2> alarms;
    std::array<std::int64_t, 2> delay{}; // raise delay, seconds
    std::int64_t hold = 60;              // clear hold, seconds
    std::array<QString, 2> name{QStringLiteral("Sensor 1"), QStringLiteral("Sensor 2")};
    // From the journal; else the settings file as it is today.
    bool recorded = false;
};

// One change of a setting, as the journal holds it.
struct setting_change {
    std::int64_t time = 0; // UTC seconds
    QString id;            // "period", "high1", "alarm_switch2", "hold", …
    QString from;
    QString to;
    QString via; // "window", "settings", "file"
};

// A line of the journal about an alarm: its phase ("raised",
// "acknowledged", "ended", …) or a channel that told it.
struct alarm_note {
    std::int64_t time = 0;
    int sensor = 0; // 0 or 1
    QString kind;   // "high", "low", "no_reading"
    QString what;   // the phase, or "told"
    QString detail; // who acknowledged, where and the comment; the channel and its outcome
};

// The monitor's seal of one day of the log: the day's lines and their hash.
struct day_seal {
    QDate date;
    std::int64_t first_line = 0;
    std::int64_t last_line = 0;
    std::int64_t first_byte = 0;
    std::int64_t end_byte = 0; // after the last line's end
    QByteArray sha256;         // hex
};

// The settings in force from `from` (UTC seconds) until the next stretch.
struct settings_stretch {
    std::int64_t from = std::numeric_limits<std::int64_t>::min();
    settings_state state;
};

struct journal_record {
    std::optional<std::int64_t> first;       // the time of its first line
    std::vector<settings_stretch> stretches; // by time, the first from the earliest time
    std::vector<setting_change> changes;
    std::vector<alarm_note> alarms;
    std::vector<day_seal> seals; // by date; the latest seal of a day wins
};

// The settings of the journal's start and stop lines, over `base`.
settings_state settings_from(const QJsonObject& settings, settings_state base);

// The journal's lines (those that cannot be read are passed over). Before
// its first line, and without any, `today` is in force: the settings file
// as it is, with the period left to the log.
journal_record read_journal(QByteArrayView bytes, const settings_state& today);

// The stretch in force at `time`; `hint` (an index into the stretches) is
// where to start looking, and is moved on: times asked in order cost
// nothing.
const settings_state& state_at(const journal_record& j, std::int64_t time, std::size_t& hint);

} // namespace chart
