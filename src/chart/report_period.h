#pragma once

#include "chart/history_log.h"

#include <QDate>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <vector>

// The stretch of time a report covers, cut into local days, and how the
// report writes its times. Free of any widget.
namespace chart {

// One local day of a period, or the part of it inside the period:
// [start, end) in UTC seconds, 23 or 25 hours on the days the clocks change.
struct report_day {
    QDate date;
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t seconds() const { return end - start; }
};

struct report_period {
    std::int64_t start = 0; // UTC seconds, the first one in the period
    std::int64_t end = 0;   // the first one after it
    std::vector<report_day> days;
    std::int64_t seconds() const { return end - start; }
};

// A date written YYYY-MM-DD, from 1970 to 2105 (the times a log's points
// can hold); nullopt for anything else.
std::optional<QDate> parse_report_date(QStringView text);

struct date_range {
    QDate from;
    QDate to; // inclusive
};

// The dates of a report where the user gave one or none: up to the last
// whole day before `today` (or `from`, when that is later), and a week
// back from `to`.
date_range report_dates(QDate today, std::optional<QDate> from, std::optional<QDate> to);

// Local midnight at the start of `from` to local midnight after `to`.
report_period period_of_dates(const date_range& dates, local_clock& clock);
// [start, end) in UTC seconds, cut at the local midnights in it.
report_period period_between(std::int64_t start, std::int64_t end, local_clock& clock);

// "2026-10-25 02:30": the local time of a UTC time, the seconds cut off.
QString minute_text(std::int64_t utc_seconds, local_clock& clock);
// "2026-10-25 02:30:05 +02:00".
QString second_text(std::int64_t utc_seconds, local_clock& clock);

// The time a window shows, rounded for a report: to whole local days
// (the nearest midnights) when it spans one or more, else to whole minutes.
struct shown_span {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::optional<date_range> days;
};
shown_span round_shown(std::int64_t from, std::int64_t to, local_clock& clock);
// "2026-10-25 to 2026-10-31", "2026-10-24 10:00 to 12:30".
QString shown_text(const shown_span& s, local_clock& clock);

} // namespace chart
