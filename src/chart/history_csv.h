#pragma once

#include "chart/history_log.h"

#include <QByteArray>
#include <cstdint>

// The CSV export of the history chart: UTF-8, one header line, then one
// line per log line with the time in ISO 8601 and its UTC offset, the
// readings as plain whole numbers, empty where there was none. Lines end
// in CR LF as RFC 4180 has them. Free of any widget.
namespace chart {

inline constexpr char csv_header[] = "time,sensor1,sensor2\r\n";

// "2026-12-05T21:10:05+01:00" for a UTC time and the offset in force.
QByteArray iso_time(std::int64_t utc_seconds, int offset_seconds);

void append_csv_line(QByteArray& out, const log_point& point, int offset_seconds);

} // namespace chart
