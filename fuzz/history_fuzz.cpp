// The data log reader's parser on any bytes: partial lines, CR LF and LF
// mixed, stray CRs, huge numbers, impossible dates, any byte in a reading.
// Each line is checked against a second, deliberately plain reading of the
// log format built on QDate; the parse of a whole buffer must count every
// complete line once, as a point or as unreadable, keep what follows the
// last line end for later, and give the same points and counts when the
// buffer arrives in two pieces, as a growing log does, split anywhere.
//
// The same buffer split at line ends and parsed on several threads must
// give the same again.
//
// Input: a selector byte (bits 0-1: the time zone, UTC, Europe/Berlin,
// America/St_Johns or Australia/Lord_Howe, whose clock moves by half an
// hour; bits 2-3: two to five threads), two bytes of split position, then
// the log bytes.

#include "fuzz_support.h"

#include "chart/history_log.h"

#include <QByteArrayView>
#include <QDate>
#include <QList>
#include <QTimeZone>
#include <array>
#include <limits>
#include <optional>
#include <vector>

namespace {

using chart::log_point;
using chart::no_reading;

const QTimeZone& zone(int which) {
    static const std::array<QTimeZone, 4> zones = {QTimeZone::utc(), QTimeZone("Europe/Berlin"),
                                                   QTimeZone("America/St_Johns"),
                                                   QTimeZone("Australia/Lord_Howe")};
    return zones[static_cast<std::size_t>(which)];
}

bool digits(QByteArrayView s) {
    for (const char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

int number(QByteArrayView s) {
    int n = 0;
    for (const char c : s)
        n = n * 10 + (c - '0');
    return n;
}

// A reading field: empty or " - - " is no reading, else one to three digits
// up to 124 and the degree sign in Windows-1252 or UTF-8, then "C".
std::optional<std::uint8_t> model_reading(QByteArrayView f) {
    if (f.isEmpty() || f == QByteArrayView(" - - "))
        return no_reading;
    qsizetype n = 0;
    while (n < f.size() && f[n] >= '0' && f[n] <= '9')
        ++n;
    if (n < 1 || n > 3 || number(f.first(n)) > 124)
        return std::nullopt;
    const QByteArrayView unit = f.sliced(n);
    if (unit != QByteArrayView("\xBA"
                               "C") &&
        unit != QByteArrayView("\xC2\xBA"
                               "C"))
        return std::nullopt;
    return static_cast<std::uint8_t>(number(f.first(n)));
}

// MM-DD-YYYY TAB HH:MM:SS TAB reading TAB reading, read with QDate. The
// year 0 (1 BC) has no QDate; it is the year 2000 less five 400-year cycles.
std::optional<chart::log_fields> model_line(QByteArrayView line) {
    QList<QByteArrayView> f;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i)
        if (i == line.size() || line[i] == '\t') {
            f.append(line.sliced(start, i - start));
            start = i + 1;
        }
    if (f.size() != 4 || f[0].size() != 10 || f[1].size() != 8)
        return std::nullopt;
    const QByteArrayView date = f[0], time = f[1];
    if (date[2] != '-' || date[5] != '-' || time[2] != ':' || time[5] != ':' ||
        !digits(date.first(2)) || !digits(date.sliced(3, 2)) || !digits(date.sliced(6)) ||
        !digits(time.first(2)) || !digits(time.sliced(3, 2)) || !digits(time.sliced(6)))
        return std::nullopt;
    const int month = number(date.first(2)), day = number(date.sliced(3, 2));
    const int year = number(date.sliced(6));
    const int hh = number(time.first(2)), mm = number(time.sliced(3, 2));
    const int ss = number(time.sliced(6));
    const QDate d = year > 0 ? QDate(year, month, day) : QDate(2000, month, day);
    if (!d.isValid() || hh > 23 || mm > 59 || ss > 59)
        return std::nullopt;
    const auto s1 = model_reading(f[2]);
    const auto s2 = model_reading(f[3]);
    if (!s1 || !s2)
        return std::nullopt;
    chart::log_fields out;
    const std::int64_t days =
        d.toJulianDay() - QDate(1970, 1, 1).toJulianDay() - (year > 0 ? 0 : 5 * 146097);
    out.local_seconds = days * 86400 + std::int64_t{hh} * 3600 + std::int64_t{mm} * 60 + ss;
    out.sensor[0] = *s1;
    out.sensor[1] = *s2;
    return out;
}

QString shown_bytes(QByteArrayView b) {
    return fuzz::shown(QString::fromLatin1(b.data(), b.size()));
}

QString shown_point(const log_point& p) {
    return QStringLiteral("(%1, %2, %3)").arg(p.time).arg(p.sensor[0]).arg(p.sensor[1]);
}

void expect_same_points(const char* what, const std::vector<log_point>& got,
                        const std::vector<log_point>& want) {
    if (got.size() != want.size())
        fuzz::fail(what, QStringLiteral("%1 points, expected %2").arg(got.size()).arg(want.size()));
    for (std::size_t i = 0; i < got.size(); ++i)
        if (got[i].time != want[i].time || got[i].sensor[0] != want[i].sensor[0] ||
            got[i].sensor[1] != want[i].sensor[1])
            fuzz::fail(what, QStringLiteral("point %1 is %2, expected %3")
                                 .arg(i)
                                 .arg(shown_point(got[i]), shown_point(want[i])));
}

struct parsed {
    std::vector<log_point> points;
    chart::parse_result result;
};

// As the reader goes through a growing file: what the first piece leaves
// unread comes again at the start of the next.
parsed parse_in_two(QByteArrayView bytes, qsizetype split, const QTimeZone& tz) {
    parsed out;
    chart::local_clock clock(tz);
    const chart::parse_result first = chart::parse_log_bytes(bytes.first(split), clock, out.points);
    if (first.consumed < 0 || first.consumed > split)
        fuzz::fail("consumed past the end of the first piece");
    const chart::parse_result rest =
        chart::parse_log_bytes(bytes.sliced(first.consumed), clock, out.points);
    out.result.consumed = first.consumed + rest.consumed;
    out.result.unreadable = first.unreadable + rest.unreadable;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::input in(data, size);
    const std::uint8_t selector = in.byte();
    const std::uint16_t split_at = in.u16();
    std::size_t count = 0;
    const std::uint8_t* raw = in.bytes(in.remaining(), &count);
    const QByteArrayView bytes(reinterpret_cast<const char*>(raw), static_cast<qsizetype>(count));
    const QTimeZone& tz = zone(selector & 3);

    // Line by line: the parser agrees with the model, and each readable
    // line becomes the point its fields and the zone make.
    std::vector<log_point> expected;
    std::int64_t lines = 0, unreadable = 0;
    qsizetype consumed = 0;
    for (qsizetype p = 0;;) {
        const qsizetype nl = bytes.sliced(p).indexOf('\n');
        if (nl < 0)
            break;
        QByteArrayView line = bytes.sliced(p, nl);
        if (line.endsWith('\r'))
            line.chop(1);
        p += nl + 1;
        consumed = p;
        ++lines;
        const auto got = chart::parse_log_line(line);
        const auto want = model_line(line);
        if (got.has_value() != want.has_value())
            fuzz::fail(got ? "line read that the format does not allow"
                           : "line of the log format not read",
                       shown_bytes(line));
        if (!got) {
            ++unreadable;
            continue;
        }
        if (got->local_seconds != want->local_seconds || got->sensor[0] != want->sensor[0] ||
            got->sensor[1] != want->sensor[1])
            fuzz::fail("fields differ from the format's", shown_bytes(line));
        for (const std::uint8_t v : got->sensor)
            if (v > 124 && v != no_reading)
                fuzz::fail("reading out of range", shown_bytes(line));
        // A clock of its own per line: what came before must not matter.
        chart::local_clock clock(tz);
        const std::int64_t utc = clock.to_utc(got->local_seconds);
        if (utc < 0 || utc > std::numeric_limits<std::uint32_t>::max()) {
            ++unreadable;
            continue;
        }
        log_point point;
        point.time = static_cast<std::uint32_t>(utc);
        point.sensor[0] = got->sensor[0];
        point.sensor[1] = got->sensor[1];
        expected.push_back(point);
    }

    // The whole buffer at once.
    std::vector<log_point> whole;
    chart::local_clock clock(tz);
    const chart::parse_result r = chart::parse_log_bytes(bytes, clock, whole);
    if (r.consumed != consumed)
        fuzz::fail("consumed bytes are not those up to the last line end",
                   QStringLiteral("%1, expected %2").arg(r.consumed).arg(consumed));
    if (static_cast<std::int64_t>(whole.size()) + r.unreadable != lines ||
        r.unreadable != unreadable)
        fuzz::fail("lines counted wrong", QStringLiteral("%1 points and %2 unreadable of %3 lines")
                                              .arg(whole.size())
                                              .arg(r.unreadable)
                                              .arg(lines));
    expect_same_points("whole buffer", whole, expected);

    // In two pieces: at the position the input asks for, and on a short
    // input at every position.
    const auto check_split = [&](qsizetype split) {
        const parsed two = parse_in_two(bytes, split, tz);
        if (two.result.consumed != r.consumed || two.result.unreadable != r.unreadable)
            fuzz::fail("two pieces counted otherwise than one",
                       QStringLiteral("split at %1: consumed %2 / %3, unreadable %4 / %5")
                           .arg(split)
                           .arg(two.result.consumed)
                           .arg(r.consumed)
                           .arg(two.result.unreadable)
                           .arg(r.unreadable));
        expect_same_points("two pieces", two.points, whole);
    };
    check_split(bytes.isEmpty() ? 0 : split_at % (bytes.size() + 1));

    // Split at line ends and parsed on several threads: the same again.
    std::vector<log_point> parallel;
    const int threads = 2 + ((selector >> 2) & 3);
    const chart::parse_result pr =
        chart::parse_log_parallel(bytes, chart::local_clock(tz), threads, parallel);
    if (pr.consumed != r.consumed || pr.unreadable != r.unreadable)
        fuzz::fail("parts counted otherwise than the whole",
                   QStringLiteral("%1 threads: consumed %2 / %3, unreadable %4 / %5")
                       .arg(threads)
                       .arg(pr.consumed)
                       .arg(r.consumed)
                       .arg(pr.unreadable)
                       .arg(r.unreadable));
    expect_same_points("parts on threads", parallel, whole);
    if (bytes.size() <= 200)
        for (qsizetype split = 0; split <= bytes.size(); ++split)
            check_split(split);
    return 0;
}
