#include "chart/history_log.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cstring>
#include <limits>
#include <thread>

namespace chart {

namespace {

constexpr std::int64_t day_seconds = 86400;
constexpr std::int64_t hour_seconds = 3600;
constexpr std::int64_t minute_seconds = 60;

int digit(char c) {
    return (c >= '0' && c <= '9') ? c - '0' : -1;
}

// A fixed-width decimal field; -1 when any character is not a digit.
int number_at(const char* s, int width) {
    int n = 0;
    for (int i = 0; i < width; ++i) {
        const int d = digit(s[i]);
        if (d < 0)
            return -1;
        n = n * 10 + d;
    }
    return n;
}

// Two decimal digits; -1 unless both are digits.
int two_digits(const char* s) {
    const unsigned tens = static_cast<unsigned char>(s[0]) - '0';
    const unsigned ones = static_cast<unsigned char>(s[1]) - '0';
    return tens < 10 && ones < 10 ? static_cast<int>(tens * 10 + ones) : -1;
}

bool is_leap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int days_in_month(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : days[m - 1];
}

// The highest reading the logger sends.
constexpr int max_reading = 124;

// A reading field [b, e): a value, no_reading, or -1 when it is neither.
int reading(const char* b, const char* e) {
    const auto n = e - b;
    // Nearly every field is two digits and "ºC".
    if (n == 4 && b[2] == '\xBA' && b[3] == 'C') {
        const unsigned tens = static_cast<unsigned char>(b[0]) - '0';
        const unsigned ones = static_cast<unsigned char>(b[1]) - '0';
        if (tens < 10 && ones < 10)
            return static_cast<int>(tens * 10 + ones);
    }
    if (n == 0 || (n == 5 && std::memcmp(b, " - - ", 5) == 0))
        return no_reading;
    int value = 0;
    const char* p = b;
    while (p < e && p - b < 3 && digit(*p) >= 0)
        value = value * 10 + digit(*p++);
    if (p == b || value > max_reading)
        return -1;
    const auto unit = e - p;
    if ((unit == 2 && p[0] == '\xBA' && p[1] == 'C') ||
        (unit == 3 && p[0] == '\xC2' && p[1] == '\xBA' && p[2] == 'C'))
        return value;
    return -1;
}

// The parse itself, inline in the loop over a log's lines: most lines
// are of the date of the line before.
inline std::optional<log_fields> parse_line(line_parser::state& st, const char* s, qsizetype n) {
    // "MM-DD-YYYY\tHH:MM:SS\t" is 20 characters; both readings may be
    // empty.
    if (n < 21 || s[2] != '-' || s[5] != '-' || s[10] != '\t' || s[13] != ':' || s[16] != ':' ||
        s[19] != '\t')
        return std::nullopt;
    if (!st.known || std::memcmp(s, st.date, sizeof st.date) != 0) {
        const int month = number_at(s, 2);
        const int day = number_at(s + 3, 2);
        const int year = number_at(s + 6, 4);
        if (month < 1 || month > 12 || year < 0 || day < 1 || day > days_in_month(year, month))
            return std::nullopt;
        std::memcpy(st.date, s, sizeof st.date);
        st.day_start = days_from_civil(year, month, day) * day_seconds;
        st.known = true;
    }
    const int hh = two_digits(s + 11);
    const int mm = two_digits(s + 14);
    const int ss = two_digits(s + 17);
    if (hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss > 59)
        return std::nullopt;
    // Two fields after the time; a tab in the second makes it no reading
    // of either kind, so the line is refused there.
    const char* const end = s + n;
    const char* tab = s + 20;
    if (end - tab > 4 && tab[4] == '\t')
        tab += 4; // the usual "NNºC"
    else
        while (tab < end && *tab != '\t')
            ++tab;
    if (tab == end)
        return std::nullopt;
    const int s1 = reading(s + 20, tab);
    const int s2 = reading(tab + 1, end);
    if (s1 < 0 || s2 < 0)
        return std::nullopt;
    log_fields f;
    f.local_seconds = st.day_start + hh * hour_seconds + mm * minute_seconds + ss;
    f.sensor[0] = static_cast<std::uint8_t>(s1);
    f.sensor[1] = static_cast<std::uint8_t>(s2);
    return f;
}

} // namespace

civil civil_from_days(std::int64_t z) {
    // The inverse of days_from_civil, by the same algorithm.
    z += 719468;
    const std::int64_t era = floor_div(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const auto d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const auto m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0)), m, d};
}

std::int64_t days_from_civil(int year, int month, int day) {
    // Howard Hinnant's algorithm: exact for any year, no tables.
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = floor_div(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::optional<log_fields> line_parser::parse(const char* s, qsizetype n) {
    return parse_line(state_, s, n);
}

std::optional<log_fields> parse_log_line(QByteArrayView line) {
    return line_parser().parse(line.data(), line.size());
}

std::int64_t local_clock::convert(std::int64_t local_seconds) const {
    const std::int64_t days = floor_div(local_seconds, day_seconds);
    const QDate date = QDate(1970, 1, 1).addDays(days);
    const QTime time = QTime(0, 0).addSecs(static_cast<int>(local_seconds - days * day_seconds));
    const QDateTime dt = zone_ ? QDateTime(date, time, *zone_) : QDateTime(date, time);
    return dt.isValid() ? dt.toSecsSinceEpoch() : local_seconds;
}

local_clock::hour_offset& local_clock::span_of(std::span<hour_offset> cache,
                                               std::int64_t local_seconds, std::int64_t length) {
    const std::int64_t index = floor_div(local_seconds, length);
    hour_offset& span = slot(cache, index);
    if (span.hour != index) {
        const std::int64_t start = index * length;
        const std::int64_t end = start + length - 1;
        span.hour = index;
        span.offset = start - convert(start);
        span.uniform = end - convert(end) == span.offset;
    }
    return span;
}

std::int64_t local_clock::to_utc_slow(std::int64_t local_seconds) {
    // The day if it has one offset throughout, else the hour, else the second.
    std::int64_t length = day_seconds;
    if (local_days_.empty())
        local_days_.resize(cached_days);
    const hour_offset* span = &span_of(local_days_, local_seconds, length);
    if (!span->uniform) {
        length = hour_seconds;
        span = &span_of(local_hours_, local_seconds, length);
    }
    if (!span->uniform)
        return convert(local_seconds);
    recent_start_ = span->hour * length;
    recent_length_ = static_cast<std::uint64_t>(length);
    recent_offset_ = span->offset;
    return local_seconds - span->offset;
}

int local_clock::offset_of(std::int64_t utc_seconds) const {
    const QDateTime dt = zone_ ? QDateTime::fromSecsSinceEpoch(utc_seconds, *zone_)
                               : QDateTime::fromSecsSinceEpoch(utc_seconds);
    return dt.offsetFromUtc();
}

int local_clock::offset_at_utc(std::int64_t utc_seconds) {
    const std::int64_t hour = floor_div(utc_seconds, hour_seconds);
    hour_offset& h = slot(utc_hours_, hour);
    if (h.hour != hour) {
        const std::int64_t start = hour * hour_seconds;
        h.hour = hour;
        h.offset = offset_of(start);
        h.uniform = offset_of(start + hour_seconds - 1) == h.offset;
    }
    return h.uniform ? static_cast<int>(h.offset) : offset_of(utc_seconds);
}

parse_result parse_log_bytes(QByteArrayView bytes, local_clock& clock, log_point* out) {
    parse_result r;
    line_parser::state parser;
    const char* const begin = bytes.data();
    const char* const end = begin + bytes.size();
    const char* p = begin;
    while (p < end) {
        const auto* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
        if (!nl)
            break;
        const char* line_end = (nl > p && nl[-1] == '\r') ? nl - 1 : nl;
        const auto fields = parse_line(parser, p, line_end - p);
        p = nl + 1;
        if (!fields) {
            ++r.unreadable;
            continue;
        }
        const std::int64_t utc = clock.to_utc(fields->local_seconds);
        if (utc < 0 || utc > std::numeric_limits<std::uint32_t>::max()) {
            ++r.unreadable;
            continue;
        }
        log_point& point = out[r.points++];
        point.time = static_cast<std::uint32_t>(utc);
        point.sensor[0] = fields->sensor[0];
        point.sensor[1] = fields->sensor[1];
    }
    r.consumed = p - begin;
    return r;
}

std::vector<QByteArrayView> split_at_line_ends(QByteArrayView bytes, int count) {
    std::vector<QByteArrayView> parts;
    const qsizetype n = std::max(1, count);
    qsizetype begin = 0;
    for (qsizetype i = 1; i <= n; ++i) {
        qsizetype end = bytes.size();
        if (i < n) {
            const qsizetype nominal = std::max(begin, bytes.size() * i / n);
            const qsizetype nl = nominal > 0 ? bytes.indexOf('\n', nominal - 1) : -1;
            end = nominal == 0 ? 0 : nl < 0 ? bytes.size() : nl + 1;
        }
        parts.push_back(bytes.sliced(begin, end - begin));
        begin = end;
    }
    return parts;
}

parse_result parse_log_parallel(QByteArrayView bytes, const local_clock& clock, int threads,
                                log_point* out) {
    const std::vector<QByteArrayView> parts = split_at_line_ends(bytes, threads);
    std::vector<parse_result> results(parts.size());
    std::vector<local_clock> clocks(parts.size(), clock);
    // Each part straight into `out`, after room for the parts before it.
    std::vector<std::size_t> at(parts.size(), 0);
    for (std::size_t i = 1; i < parts.size(); ++i)
        at[i] = at[i - 1] + most_points(parts[i - 1].size());
    const auto parse = [&](std::size_t i) {
        results[i] = parse_log_bytes(parts[i], clocks[i], out + at[i]);
    };
    {
        std::vector<std::jthread> helpers;
        for (std::size_t i = 1; i < parts.size(); ++i)
            helpers.emplace_back(parse, i);
        parse(0);
    }
    // Then the room between them closed, while the points are in the cache.
    parse_result r;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (at[i] != r.points)
            std::memmove(out + r.points, out + at[i], results[i].points * sizeof(log_point));
        r.points += results[i].points;
        r.consumed += results[i].consumed;
        r.unreadable += results[i].unreadable;
    }
    return r;
}

parse_result parse_log_bytes(QByteArrayView bytes, local_clock& clock,
                             std::vector<log_point>& out) {
    const std::size_t at = out.size();
    out.resize(at + most_points(bytes.size()));
    const parse_result r = parse_log_bytes(bytes, clock, out.data() + at);
    out.resize(at + r.points);
    return r;
}

parse_result parse_log_parallel(QByteArrayView bytes, const local_clock& clock, int threads,
                                std::vector<log_point>& out) {
    const std::size_t at = out.size();
    out.resize(at + most_points(bytes.size(), threads));
    const parse_result r = parse_log_parallel(bytes, clock, threads, out.data() + at);
    out.resize(at + r.points);
    return r;
}

} // namespace chart
