#pragma once

#include <QByteArrayView>
#include <QTimeZone>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

// Reading the data log back for the history chart: one line of
// TARNWICK.txt becomes one compact point. Free of any widget.
namespace chart {

// Sensor value for "no reading": " - - ", an empty field, or a sensor the
// line did not carry.
inline constexpr std::uint8_t no_reading = 255;

// One log line. A year at 5 s is 6.3 million of them, so they are kept
// small: the time as seconds since 1970 (UTC, good until 2106) and one byte
// per sensor.
struct log_point {
    std::uint32_t time = 0;
    std::uint8_t sensor[2] = {no_reading, no_reading};
};
static_assert(sizeof(log_point) == 8);

// The fields of one line, with the time as the log wrote it: local wall
// clock seconds counted as if the clock were UTC.
struct log_fields {
    std::int64_t local_seconds = 0;
    std::uint8_t sensor[2] = {no_reading, no_reading};
};

// `line` without its line end. Nullopt unless it is exactly
// MM-DD-YYYY TAB HH:MM:SS TAB reading TAB reading, with a real date and
// time and each reading empty, " - - " or 0..124 followed by "ºC" (the
// Windows-1252 byte, or its UTF-8 form from a log re-saved by an editor).
std::optional<log_fields> parse_log_line(QByteArrayView line);

// Reads lines one after the other as parse_log_bytes does, for a walk over
// a log line by line. A log holds thousands of lines per date, so the date
// of the line before is kept, and a line of the same date skips the
// calendar.
class line_parser {
public:
    // The line of `n` bytes at `s`, without its line end.
    std::optional<log_fields> parse(const char* s, qsizetype n);

    // The date of the line before.
    struct state {
        char date[10] = {};
        std::int64_t day_start = 0;
        bool known = false;
    };

private:
    state state_;
};

// Division that rounds towards minus infinity, as calendar arithmetic needs
// for times before 1970.
inline std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Local wall-clock time to UTC for one time zone, fast for times that share
// the day: the offset is looked up at both ends of a day; on a day where it
// changes, once per hour (kept for the last hours met), and second by second
// only inside an hour where it changes.
class local_clock {
public:
    // The system's local time.
    local_clock() = default;
    // A given zone, for tests and tools.
    explicit local_clock(QTimeZone zone)
        : zone_(std::move(zone)) {}

    // UTC seconds; a time that occurs twice (when the clocks go back) is
    // taken at its first occurrence, one that is skipped moves forward.
    std::int64_t to_utc(std::int64_t local_seconds) {
        // Inline for the line parser: nearly every line is in the day (or
        // the hour, on a day the clocks change) of the line before.
        if (static_cast<std::uint64_t>(local_seconds - recent_start_) < recent_length_)
            return local_seconds - recent_offset_;
        return to_utc_slow(local_seconds);
    }
    // Seconds east of UTC in force at a UTC time, cached the same way.
    int offset_at_utc(std::int64_t utc_seconds);

private:
    std::int64_t to_utc_slow(std::int64_t local_seconds);
    struct hour_offset;
    // The cached offset of the stretch of `length` seconds (a day or an
    // hour) that holds `local_seconds`, worked out when not cached.
    hour_offset& span_of(std::span<hour_offset> cache, std::int64_t local_seconds,
                         std::int64_t length);
    std::int64_t convert(std::int64_t local_seconds) const;
    int offset_of(std::int64_t utc_seconds) const;

    std::optional<QTimeZone> zone_;
    // The offsets of the hours met lately, by hour number: a log whose time
    // jumps between two hours (a clock going back and forth) finds both.
    struct hour_offset {
        std::int64_t hour = std::numeric_limits<std::int64_t>::min(); // or day
        std::int64_t offset = 0;
        bool uniform = false; // the same offset for the whole hour
    };
    static constexpr std::size_t cached_hours = 16;
    static hour_offset& slot(std::span<hour_offset> cache, std::int64_t hour) {
        return cache[static_cast<std::size_t>(hour) % cache.size()];
    }
    std::array<hour_offset, cached_hours> local_hours_{};
    // The last stretch of local time met with one offset throughout: its
    // first second (far from any time a log holds until one is met), its
    // length and its offset.
    std::int64_t recent_start_ = std::numeric_limits<std::int64_t>::max() / 2;
    std::uint64_t recent_length_ = 0;
    std::int64_t recent_offset_ = 0;
    // The days met, the same way, for a log that goes back and forth across
    // midnight, and for a view that reads lines back from all over a log
    // of years: room for some eleven years, made when first needed.
    static constexpr std::size_t cached_days = 4096;
    std::vector<hour_offset> local_days_;
    std::array<hour_offset, cached_hours> utc_hours_{};
};

// What one pass over a stretch of the log found.
struct parse_result {
    qsizetype consumed = 0;      // bytes up to the end of the last complete line
    std::int64_t unreadable = 0; // complete lines that could not be read
    std::size_t points = 0;      // points written
};

// Room enough for the points of `size` bytes of log parsed in `parts`
// parts: a line the parser takes is at least 22 bytes with its line end.
constexpr std::size_t most_points(qsizetype size, int parts = 1) {
    return static_cast<std::size_t>(size) / 22 + static_cast<std::size_t>(parts < 1 ? 1 : parts);
}

// Parses every complete line (ended by LF, with or without CR) of `bytes`
// into `out`, which has room for most_points(bytes.size()); a line that
// cannot be read, or whose time does not fit a log_point, is counted and
// skipped. What follows the last LF is left for the caller: it may be a
// line still being written.
parse_result parse_log_bytes(QByteArrayView bytes, local_clock& clock, log_point* out);

// `bytes` cut into up to `count` parts of about equal size, each but the
// last ending just after a line end, so that the parts can be parsed apart
// and one after the other give what the whole gives. Parts may be empty.
std::vector<QByteArrayView> split_at_line_ends(QByteArrayView bytes, int count);

// parse_log_bytes over `bytes` split at line ends, the parts parsed at the
// same time on up to `threads` threads (each with a copy of `clock`) into
// `out`, which has room for most_points(bytes.size(), threads); the points
// end up in file order.
parse_result parse_log_parallel(QByteArrayView bytes, const local_clock& clock, int threads,
                                log_point* out);

// The same, appended to a vector.
parse_result parse_log_bytes(QByteArrayView bytes, local_clock& clock, std::vector<log_point>& out);
parse_result parse_log_parallel(QByteArrayView bytes, const local_clock& clock, int threads,
                                std::vector<log_point>& out);

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar, and
// back again.
std::int64_t days_from_civil(int year, int month, int day);
struct civil {
    int year, month, day;
};
civil civil_from_days(std::int64_t days);

} // namespace chart
