#include "rules/history_log.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cstring>
#include <limits>

namespace history {

namespace {

constexpr std::int64_t day_seconds = 86400;
constexpr std::int64_t hour_seconds = 3600;
constexpr std::int64_t minute_seconds = 60;

int digit(char c) {
    return (c >= '0' && c <= '9') ? c - '0' : -1;
}

// A fixed-width decimal field; -1 when any character is not a digit.
int number_at(QByteArrayView s, qsizetype at, int width) {
    int n = 0;
    for (int i = 0; i < width; ++i) {
        const int d = digit(s[at + i]);
        if (d < 0)
            return -1;
        n = n * 10 + d;
    }
    return n;
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

// A reading field: a value, no_reading, or nullopt when it is neither.
std::optional<std::uint8_t> reading(QByteArrayView f) {
    if (f.isEmpty() || f == QByteArrayView(" - - "))
        return no_reading;
    qsizetype n = 0;
    int value = 0;
    while (n < f.size() && n < 3 && digit(f[n]) >= 0)
        value = value * 10 + digit(f[n++]);
    if (n == 0 || value > max_reading)
        return std::nullopt;
    const QByteArrayView unit = f.sliced(n);
    if (unit == QByteArrayView("\xBA"
                               "C") ||
        unit == QByteArrayView("\xC2\xBA"
                               "C"))
        return static_cast<std::uint8_t>(value);
    return std::nullopt;
}

} // namespace

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

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

std::optional<log_fields> parse_log_line(QByteArrayView line) {
    // "MM-DD-YYYY\tHH:MM:SS\t" is 20 characters; both readings may be empty.
    if (line.size() < 21 || line[2] != '-' || line[5] != '-' || line[10] != '\t' ||
        line[13] != ':' || line[16] != ':' || line[19] != '\t')
        return std::nullopt;
    const int month = number_at(line, 0, 2);
    const int day = number_at(line, 3, 2);
    const int year = number_at(line, 6, 4);
    const int hh = number_at(line, 11, 2);
    const int mm = number_at(line, 14, 2);
    const int ss = number_at(line, 17, 2);
    if (month < 1 || month > 12 || year < 0 || day < 1 || day > days_in_month(year, month) ||
        hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss > 59)
        return std::nullopt;

    const QByteArrayView readings = line.sliced(20);
    const qsizetype tab = readings.indexOf('\t');
    if (tab < 0)
        return std::nullopt;
    const QByteArrayView second = readings.sliced(tab + 1);
    if (second.contains('\t'))
        return std::nullopt;
    const auto s1 = reading(readings.first(tab));
    const auto s2 = reading(second);
    if (!s1 || !s2)
        return std::nullopt;

    log_fields f;
    f.local_seconds = days_from_civil(year, month, day) * day_seconds + hh * hour_seconds +
                      mm * minute_seconds + ss;
    f.sensor[0] = *s1;
    f.sensor[1] = *s2;
    return f;
}

std::int64_t local_clock::convert(std::int64_t local_seconds) const {
    const std::int64_t days = floor_div(local_seconds, day_seconds);
    const QDate date = QDate(1970, 1, 1).addDays(days);
    const QTime time = QTime(0, 0).addSecs(static_cast<int>(local_seconds - days * day_seconds));
    const QDateTime dt = zone_ ? QDateTime(date, time, *zone_) : QDateTime(date, time);
    return dt.isValid() ? dt.toSecsSinceEpoch() : local_seconds;
}

std::int64_t local_clock::to_utc(std::int64_t local_seconds) {
    const std::int64_t hour = floor_div(local_seconds, hour_seconds);
    if (hour != local_hour_) {
        const std::int64_t start = hour * hour_seconds;
        const std::int64_t end = start + hour_seconds - 1;
        local_hour_offset_ = start - convert(start);
        local_hour_uniform_ = end - convert(end) == local_hour_offset_;
        local_hour_ = hour;
    }
    return local_hour_uniform_ ? local_seconds - local_hour_offset_ : convert(local_seconds);
}

int local_clock::offset_of(std::int64_t utc_seconds) const {
    const QDateTime dt = zone_ ? QDateTime::fromSecsSinceEpoch(utc_seconds, *zone_)
                               : QDateTime::fromSecsSinceEpoch(utc_seconds);
    return dt.offsetFromUtc();
}

int local_clock::offset_at_utc(std::int64_t utc_seconds) {
    const std::int64_t hour = floor_div(utc_seconds, hour_seconds);
    if (hour != utc_hour_) {
        const std::int64_t start = hour * hour_seconds;
        utc_hour_offset_ = offset_of(start);
        utc_hour_uniform_ = offset_of(start + hour_seconds - 1) == utc_hour_offset_;
        utc_hour_ = hour;
    }
    return utc_hour_uniform_ ? utc_hour_offset_ : offset_of(utc_seconds);
}

parse_result parse_log_bytes(QByteArrayView bytes, local_clock& clock,
                             std::vector<log_point>& out) {
    parse_result r;
    const char* const begin = bytes.data();
    const char* const end = begin + bytes.size();
    const char* p = begin;
    while (p < end) {
        const auto* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
        if (!nl)
            break;
        const char* line_end = (nl > p && nl[-1] == '\r') ? nl - 1 : nl;
        const auto fields = parse_log_line(QByteArrayView(p, line_end - p));
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
        log_point point;
        point.time = static_cast<std::uint32_t>(utc);
        point.sensor[0] = fields->sensor[0];
        point.sensor[1] = fields->sensor[1];
        out.push_back(point);
    }
    r.consumed = p - begin;
    return r;
}

} // namespace history
