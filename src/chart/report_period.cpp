#include "chart/report_period.h"

#include "chart/history_csv.h"

#include <algorithm>

namespace chart {

namespace {

constexpr std::int64_t day_seconds = 86400;

std::int64_t days_of(QDate date) {
    return days_from_civil(date.year(), date.month(), date.day());
}

QDate date_of_days(std::int64_t days) {
    const civil c = civil_from_days(days);
    return {c.year, c.month, c.day};
}

// Local midnight at the start of `days` (since 1970) in UTC seconds; where
// the clocks skip midnight, the first local time of that day.
std::int64_t midnight(std::int64_t days, local_clock& clock) {
    return clock.to_utc(days * day_seconds);
}

std::int64_t local_days(std::int64_t utc_seconds, local_clock& clock) {
    return floor_div(utc_seconds + clock.offset_at_utc(utc_seconds), day_seconds);
}

// "2026-10-25T02:30:05+02:00" as the report writes it.
QString iso_text(std::int64_t utc_seconds, local_clock& clock) {
    return QString::fromLatin1(iso_time(utc_seconds, clock.offset_at_utc(utc_seconds)));
}

} // namespace

std::optional<QDate> parse_report_date(QStringView text) {
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        return std::nullopt;
    for (qsizetype i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < u'0' || text[i] > u'9')
            return std::nullopt;
    const QDate date(text.left(4).toInt(), text.mid(5, 2).toInt(), text.mid(8, 2).toInt());
    if (!date.isValid() || date.year() < 1970 || date.year() > 2105)
        return std::nullopt;
    return date;
}

date_range report_dates(QDate today, std::optional<QDate> from, std::optional<QDate> to) {
    date_range r;
    r.to = to ? *to : from ? std::max(*from, today.addDays(-1)) : today.addDays(-1);
    r.from = from ? *from : r.to.addDays(-6);
    return r;
}

report_period period_of_dates(const date_range& dates, local_clock& clock) {
    report_period p;
    const std::int64_t first = days_of(dates.from);
    const std::int64_t last = days_of(dates.to);
    p.start = midnight(first, clock);
    std::int64_t start = p.start;
    for (std::int64_t d = first; d <= last; ++d) {
        const std::int64_t end = midnight(d + 1, clock);
        p.days.push_back({date_of_days(d), start, end});
        start = end;
    }
    p.end = start;
    return p;
}

report_period period_between(std::int64_t start, std::int64_t end, local_clock& clock) {
    report_period p;
    p.start = start;
    p.end = std::max(start, end);
    if (p.end == start)
        return p;
    const std::int64_t last = local_days(p.end - 1, clock);
    for (std::int64_t d = local_days(start, clock); d <= last; ++d)
        p.days.push_back({date_of_days(d), std::max(start, midnight(d, clock)),
                          std::min(p.end, midnight(d + 1, clock))});
    return p;
}

QString minute_text(std::int64_t utc_seconds, local_clock& clock) {
    return iso_text(utc_seconds, clock).left(16).replace(u'T', u' ');
}

QString second_text(std::int64_t utc_seconds, local_clock& clock) {
    const QString iso = iso_text(utc_seconds, clock);
    return iso.left(19).replace(u'T', u' ') + u' ' + iso.mid(19);
}

shown_span round_shown(std::int64_t from, std::int64_t to, local_clock& clock) {
    shown_span out;
    if (to - from >= day_seconds) {
        // The nearest local midnights.
        const std::int64_t first = local_days(from + day_seconds / 2, clock);
        const std::int64_t after = local_days(to + day_seconds / 2, clock);
        if (after > first) {
            out.days = date_range{date_of_days(first), date_of_days(after - 1)};
            out.start = midnight(first, clock);
            out.end = midnight(after, clock);
            return out;
        }
    }
    out.start = floor_div(from + 30, 60) * 60;
    out.end = std::max(out.start + 60, floor_div(to + 30, 60) * 60);
    return out;
}

QString shown_text(const shown_span& s, local_clock& clock) {
    if (s.days)
        return s.days->from == s.days->to
                   ? s.days->from.toString(Qt::ISODate)
                   : s.days->from.toString(Qt::ISODate) + QStringLiteral(" to ") +
                         s.days->to.toString(Qt::ISODate);
    const QString a = minute_text(s.start, clock);
    const QString b = minute_text(s.end, clock);
    return a + QStringLiteral(" to ") + (a.left(10) == b.left(10) ? b.mid(11) : b);
}

} // namespace chart
