#include "chart/history_csv.h"

#include <cstdlib>

namespace chart {

namespace {

void two_digits(QByteArray& out, int n) {
    out += static_cast<char>('0' + n / 10);
    out += static_cast<char>('0' + n % 10);
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
    const auto [y, m, d] = civil_from_days(days);
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

} // namespace chart
