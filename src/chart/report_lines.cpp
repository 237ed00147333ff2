#include "chart/report_lines.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace chart {

namespace {

// Whether a line's local time lies in [from, to). Most lines of a long log
// lie on other days, and lines come thousands to a date: the date field
// alone, remembered from the line before, rules those out.
class period_test {
public:
    period_test(std::int64_t from, std::int64_t to)
        : from_(from)
        , to_(to)
        , first_day_(floor_div(from, 86400))
        , last_day_(floor_div(to - 1, 86400)) {}

    // The line [begin, end) without its line end.
    bool inside(QByteArrayView log, qsizetype begin, qsizetype end) {
        if (end - begin < 10 || !on_a_day_in_it(log.data() + begin))
            return false;
        if (log[end - 1] == '\r')
            --end;
        const auto fields = parse_log_line(log.sliced(begin, end - begin));
        return fields && fields->local_seconds >= from_ && fields->local_seconds < to_;
    }

private:
    bool on_a_day_in_it(const char* date) {
        if (std::memcmp(date, date_, sizeof date_) != 0) {
            std::memcpy(date_, date, sizeof date_);
            const auto field = [date](int at, int width) {
                return QByteArrayView(date + at, width).toInt();
            };
            const int month = field(0, 2), day = field(3, 2), year = field(6, 4);
            const std::int64_t days = days_from_civil(year, month, day);
            // A wrong date (the parse refuses it later) counts as in it.
            on_day_ = month < 1 || day < 1 || (days >= first_day_ && days <= last_day_);
        }
        return on_day_;
    }

    std::int64_t from_;
    std::int64_t to_;
    std::int64_t first_day_;
    std::int64_t last_day_;
    char date_[10] = {};
    bool on_day_ = true;
};

// Where the line that ends just before `at` (at a line's start) begins.
qsizetype line_before(QByteArrayView log, qsizetype at) {
    return at <= 0 ? 0 : log.first(at - 1).lastIndexOf('\n') + 1;
}

} // namespace

line_span lines_between(QByteArrayView log, std::int64_t local_from, std::int64_t local_to) {
    line_span span;
    // Only complete lines: the last may still be being written.
    const qsizetype complete = log.lastIndexOf('\n') + 1;
    period_test period(local_from, local_to);
    qsizetype at = 0;
    while (at < complete) {
        const qsizetype nl = log.indexOf('\n', at);
        if (period.inside(log, at, nl))
            break;
        at = nl + 1;
    }
    if (at >= complete)
        return span;
    span.begin = at;
    qsizetype end = complete;
    for (;;) {
        const qsizetype start = line_before(log, end);
        if (period.inside(log, start, end - 1))
            break;
        end = start;
    }
    span.end = end;
    span.first_line = count_lines(log.first(span.begin)) + 1;
    span.last_line = span.first_line + count_lines(log.sliced(span.begin, end - span.begin)) - 1;
    span.read_begin = line_before(log, span.begin);
    span.read_end = end < complete ? log.indexOf('\n', end) + 1 : end;
    return span;
}

void order_repeated_hours(std::span<log_point> points, local_clock& clock) {
    // Clocks go back by half an hour to a few hours, in steps of quarters.
    constexpr std::int64_t quarter = 900, most = std::int64_t{4} * 3600;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const std::int64_t before = points[i - 1].time;
        const std::int64_t time = points[i].time;
        if (time >= before && time - before <= quarter)
            continue;
        // Nothing to choose far from a change of the clocks (a log in
        // reverse order goes back on every line).
        if (clock.offset_at_utc(time - most) == clock.offset_at_utc(time + most))
            continue;
        const std::int64_t local = time + clock.offset_at_utc(time);
        // The same local time a whole number of quarters away, the earliest
        // first, from the point before on.
        const std::int64_t lowest = std::max(before, time - most);
        for (std::int64_t k = -floor_div(time - lowest, quarter); k * quarter <= most; ++k) {
            const std::int64_t at = time + k * quarter;
            if (at <= std::numeric_limits<std::uint32_t>::max() &&
                at + clock.offset_at_utc(at) == local) {
                points[i].time = static_cast<std::uint32_t>(at);
                break;
            }
        }
    }
}

std::int64_t count_lines(QByteArrayView bytes) {
    // Eight bytes at a time, a count per byte lane summed every 255 words:
    // a year's log is counted in a few milliseconds.
    constexpr std::uint64_t ones = 0x0101010101010101, low7 = 0x7F7F7F7F7F7F7F7F;
    constexpr std::uint64_t lanes = 0x00FF00FF00FF00FF;
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    std::int64_t n = 0;
    while (end - p >= 8) {
        std::uint64_t per_lane = 0;
        for (int i = 0; i < 255 && end - p >= 8; ++i, p += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, p, 8);
            const std::uint64_t x = word ^ (ones * '\n');
            // 1 in each byte that was a line end, exactly.
            per_lane += (~(((x & low7) + low7) | x | low7)) >> 7;
        }
        const std::uint64_t pairs = (per_lane & lanes) + ((per_lane >> 8) & lanes);
        n += static_cast<std::int64_t>((pairs * 0x0001000100010001) >> 48);
    }
    return n + std::count(p, end, '\n');
}

void order_by_time(std::span<log_point> points) {
    const auto earlier = [](const log_point& a, const log_point& b) { return a.time < b.time; };
    if (!std::is_sorted(points.begin(), points.end(), earlier))
        std::stable_sort(points.begin(), points.end(), earlier);
}

} // namespace chart
