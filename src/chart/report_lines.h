#pragma once

#include "chart/history_log.h"

#include <QByteArrayView>
#include <cstdint>
#include <span>

// Which bytes of the data log a report speaks of, and the log's points put
// in the order of time for it. Free of any widget.
namespace chart {

struct line_span {
    // From the start of the first line in the period to the end of the
    // last one, its line end included: the bytes a report's hash covers.
    qsizetype begin = 0;
    qsizetype end = 0;
    // Their line numbers, counted from 1; both 0 when no line is in it.
    std::int64_t first_line = 0;
    std::int64_t last_line = 0;
    // The same with the line just before and the one just after, whose
    // readings may reach into the period.
    qsizetype read_begin = 0;
    qsizetype read_end = 0;
    bool empty() const { return first_line == 0; }
};

// The complete lines (ended by LF) whose local time lies in
// [local_from, local_to); lines that cannot be read lie nowhere. Out of
// order lines between the first and the last are inside the span.
line_span lines_between(QByteArrayView log, std::int64_t local_from, std::int64_t local_to);

// A log written in local time repeats an hour when the clocks go back; a
// time of that hour occurs twice, and the parse may have taken either.
// Where a point's time goes back, or leaps ahead, it takes the earliest
// occurrence of its local time not before the point before it, so that the
// two passes over the hour follow each other.
void order_repeated_hours(std::span<log_point> points, local_clock& clock);

// The points in the order of time; lines of the same second keep their
// order in the file.
void order_by_time(std::span<log_point> points);

// How many line ends (LF) `bytes` holds.
std::int64_t count_lines(QByteArrayView bytes);

} // namespace chart
