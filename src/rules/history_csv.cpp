#include "rules/history_csv.h"

#include <cstdlib>

namespace history {

namespace {

void two_digits(QByteArray& out, int n) {
    out += static_cast<char>('0' + n / 10);
    out += static_cast<char>('0' + n % 10);
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The inverse of days_from_civil (Howard Hinnant's algorithm).
void civil_from_days(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = floor_div(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

void append_reading(QByteArray& out, std::uint8_t v) {
    if (v != no_reading)
        out += QByteArray::number(v);
}

} // namespace

QByteArray iso_time(std::int64_t utc_seconds, int offset_seconds) {
    const std::int64_t local = utc_seconds + offset_seconds;
    const std::int64_t days = floor_div(local, 86400);
    const auto secs = static_cast<int>(local - days * 86400);
    int y = 0, m = 0, d = 0;
    civil_from_days(days, y, m, d);
    QByteArray out;
    out.reserve(25);
    out += QByteArray::number(y).rightJustified(4, '0');
    out += '-';
    two_digits(out, m);
    out += '-';
    two_digits(out, d);
    out += 'T';
    two_digits(out, secs / 3600);
    out += ':';
    two_digits(out, secs / 60 % 60);
    out += ':';
    two_digits(out, secs % 60);
    const int off = std::abs(offset_seconds) / 60;
    out += offset_seconds < 0 ? '-' : '+';
    two_digits(out, off / 60);
    out += ':';
    two_digits(out, off % 60);
    return out;
}

void append_csv_line(QByteArray& out, const log_point& point, int offset_seconds) {
    out += iso_time(point.time, offset_seconds);
    out += ',';
    append_reading(out, point.sensor[0]);
    out += ',';
    append_reading(out, point.sensor[1]);
    out += "\r\n";
}

} // namespace history
