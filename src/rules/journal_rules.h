#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

// The journal, TARNWICK-journal.jsonl: one JSON object per line, UTF-8,
// only ever appended to. Every line begins with its local time (ISO 8601,
// milliseconds and offset) and its event; the other fields follow.
//
// The settings in force are one flat object ("settings" in the start and
// stop lines): "period" (seconds), "logging", "alarm_switch1/2" (booleans),
// "high1", "low1", "high2", "low2" (numbers, null when not a number), and the
// [Alarm] keys as written. A "setting" line names one of them the same way
// ("key": "threshold", "sensor": 1, "limit": "high" is "high1").
namespace rules::journal {

QString time_text(const QDateTime& t);

// One line, "\n" included.
QByteArray line(const QDateTime& time, const QString& event, const QJsonObject& fields);

// The flat name of the setting a "setting" line changes, and back: the
// fields that name it in such a line.
QString setting_id(const QJsonObject& setting_line);
QJsonObject setting_fields(const QString& id);

// What the end of a journal says of the run before: whether it ended cleanly
// (its last start has a stop after it, or there was no run), and the
// settings in force at its end, as far as the lines read show them.
struct run_before {
    bool any = false;
    bool clean = true;
    QJsonObject settings;
};
run_before read_run_before(const QByteArray& tail);

// The start of a run: the "start" line with the settings in force now, and
// after it a "setting" line (via "file") for each that differs from the end
// of the run before: the file was changed between the two.
QByteArray start_lines(const QDateTime& time, const QString& version, const QJsonObject& settings,
                       const run_before& before);

} // namespace rules::journal
