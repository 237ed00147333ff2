#pragma once

#include <QByteArray>
#include <QDate>
#include <QJsonObject>
#include <cstdint>

// The seal of one day of the data log: the day's lines (those that begin
// with its date, MM-DD-YYYY), where they lie and their SHA-256, so that a
// report can tell later whether they are still as they were written.
namespace alerts {

// Where the last seal ended, so that the next one counts only the lines
// after it for its line numbers.
struct seal_place {
    std::int64_t end_byte = 0;
    std::int64_t last_line = 0;
};

// The fields of a "seal" line for `date`: date, first_line, last_line,
// first_byte, end_byte (after the last line's end), lines, sha256. Empty
// when the log cannot be read or holds no whole line of that day. Reads
// the log from its end back, and all of it only to count lines the first
// time; `known` is moved on.
QJsonObject day_seal(const QByteArray& log_path, QDate date, seal_place& known);

// Where the last seal in `journal_tail` (whole lines of the journal) ended.
seal_place last_seal(const QByteArray& journal_tail);

} // namespace alerts
