#pragma once

#include "chart/history_series.h"
#include "chart/report_lines.h"

#include <QByteArray>
#include <memory>
#include <optional>

// The lines of a report's period read from the data log: found by their
// time, read a piece at a time into one buffer (never mapped: a log cut
// short meanwhile only comes up short), parsed and hashed.
namespace history {

class log_file;

struct period_lines {
    chart::line_span lines; // line numbers counted from the log's first line
    // The points of those lines and of the line before and after them, in
    // the order of the file.
    std::shared_ptr<chart::point_store> store;
    std::size_t count = 0;
    std::int64_t unreadable = 0; // among the period's lines
    QByteArray sha256;           // in hex, of the period's lines
};

// The lines of `log` (`size` bytes) whose local time lies in
// [local_from, local_to), as chart::lines_between finds them in all of its
// bytes. Nullopt when the log comes up short or cannot be read.
std::optional<period_lines> read_period_lines(const log_file& log, qint64 size,
                                              std::int64_t local_from, std::int64_t local_to,
                                              chart::local_clock& clock);

} // namespace history
