#include "chart/log_search.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace chart {

namespace {

// Read a piece at a time into one buffer.
constexpr qint64 piece = qint64(1) << 20;
// A probe reads this much around its offset, more where no line is read.
constexpr qint64 probe_bytes = qint64(4) << 10;
constexpr qint64 probe_most = qint64(1) << 20;
// Below this the halving stops: the rest is read whole.
constexpr qint64 settled = qint64(64) << 10;
// The whole log is sampled too, a line at least this far apart, some
// thousands of lines in all: a clock set back for longer than that shows.
constexpr qint64 sample_spacing = qint64(64) << 10;
constexpr qint64 samples = 4096;
constexpr qint64 sample_bytes = 256;
// No log line is longer; a longer one is passed over as one that cannot
// be read.
constexpr qint64 longest_line = 256;

// One line: where it starts and where the next one does, and its bytes
// without the line feed (none for a line too long to be a log line).
struct line_at {
    qint64 start = 0;
    qint64 next = 0;
    QByteArrayView bytes;
};

// Hands `take` every complete line that starts in [begin, end) (begin at a
// line start), a piece at a time through `buffer`; false when the log
// comes up short.
template <typename Take>
bool walk_lines(const log_bytes& log, qint64 begin, qint64 end, std::vector<char>& buffer,
                Take&& take) {
    buffer.resize(static_cast<std::size_t>(piece + longest_line + 1));
    qint64 at = begin; // where buffer[0] lies in the log
    qint64 held = 0;
    qint64 read = begin;
    std::optional<qint64> passing; // the start of a long line being passed over
    while (read < end) {
        const qint64 want = std::min(piece, end - read);
        if (log.read_at(read, buffer.data() + held, want) != want)
            return false;
        read += want;
        held += want;
        const char* const data = buffer.data();
        qint64 from = 0;
        while (const auto* nl = static_cast<const char*>(
                   std::memchr(data + from, '\n', static_cast<std::size_t>(held - from)))) {
            const qint64 next = nl - data + 1;
            if (passing)
                take(line_at{*passing, at + next, {}});
            else
                take(line_at{at + from, at + next, QByteArrayView(data + from, next - from - 1)});
            passing.reset();
            from = next;
        }
        if (!passing && held - from > longest_line)
            passing = at + from;
        if (passing) {
            held = 0;
            at = read;
        } else {
            std::memmove(buffer.data(), data + from, static_cast<std::size_t>(held - from));
            held -= from;
            at += from;
        }
    }
    return true;
}

// The local time of a line, nullopt when it cannot be read.
std::optional<std::int64_t> time_of(line_parser& parser, QByteArrayView line) {
    if (!line.empty() && line.back() == '\r')
        line.chop(1);
    const auto fields = parser.parse(line.data(), line.size());
    return fields ? std::optional(fields->local_seconds) : std::nullopt;
}

struct probed {
    qint64 start = 0;
    qint64 next = 0;
    std::int64_t time = 0;
};

// Probes for the halving: the first line that can be read from an offset
// on, with the lines read around it checked to be in order, and all the
// probes in order among themselves.
class prober {
public:
    prober(const log_bytes& log, qint64 size)
        : log_(log)
        , size_(size) {}

    // The first line that can be read starting in [pos, limit).
    std::optional<probed> first_from(qint64 pos, qint64 limit) {
        for (qint64 want = probe_bytes; ok_; want *= 2) {
            const qint64 at = std::max<qint64>(0, pos - 1);
            const qint64 len = std::min(want, size_ - at);
            buffer_.resize(static_cast<std::size_t>(len));
            if (log_.read_at(at, buffer_.data(), len) != len) {
                ok_ = false;
                break;
            }
            const QByteArrayView bytes(buffer_.data(), len);
            // The line that `pos` falls in belongs to the probe before; -1
            // while no line start has been met.
            qsizetype from = pos > 0 ? bytes.indexOf('\n') : -1;
            from = pos > 0 && from < 0 ? -1 : from + 1;
            std::optional<probed> found;
            order_check order;
            line_parser parser;
            while (from >= 0) {
                const qsizetype nl = bytes.indexOf('\n', from);
                if (nl < 0 || at + from >= limit)
                    break;
                const qsizetype start = from;
                from = nl + 1;
                const auto time = time_of(parser, bytes.sliced(start, nl - start));
                if (!time)
                    continue;
                order.add(*time);
                if (!found)
                    found = probed{at + start, at + from, *time};
            }
            ok_ = ok_ && order.in_order();
            if (found) {
                probes_.push_back(*found);
                return found;
            }
            // Only lines that cannot be read so far: further on, unless
            // the log or the stretch ends first.
            if (at + len >= size_ || want >= probe_most || (from >= 0 && at + from >= limit))
                break;
        }
        return std::nullopt;
    }

    // One line every so often over the whole log, to the order check.
    void sample() {
        const qint64 spacing = std::max(sample_spacing, size_ / samples);
        std::vector<char> bytes(static_cast<std::size_t>(sample_bytes));
        line_parser parser;
        for (qint64 at = spacing; at < size_ && ok_; at += spacing) {
            const qint64 len = std::min(sample_bytes, size_ - at);
            if (log_.read_at(at, bytes.data(), len) != len) {
                ok_ = false;
                break;
            }
            const QByteArrayView text(bytes.data(), len);
            const qsizetype start = text.indexOf('\n') + 1;
            const qsizetype nl = start > 0 ? text.indexOf('\n', start) : -1;
            const auto time =
                nl > 0 ? time_of(parser, text.sliced(start, nl - start)) : std::nullopt;
            if (time)
                probes_.push_back({at + start, at + nl + 1, *time});
        }
    }

    bool in_order() {
        std::sort(probes_.begin(), probes_.end(),
                  [](const probed& a, const probed& b) { return a.start < b.start; });
        order_check order;
        for (const probed& p : probes_)
            order.add(p.time);
        return ok_ && order.in_order();
    }
    bool ok() const { return ok_; }

private:
    const log_bytes& log_;
    qint64 size_;
    std::vector<char> buffer_;
    std::vector<probed> probes_;
    bool ok_ = true;
};

// The nearest lines found before and after `time`: the last probed line
// earlier than it and the first not earlier.
struct bounds {
    std::optional<probed> before;
    std::optional<probed> after;
};

bounds halve(prober& probes, qint64 size, std::int64_t time) {
    bounds b;
    qint64 lo = 0;
    qint64 hi = size;
    while (hi - lo > settled && probes.ok()) {
        const qint64 mid = lo + (hi - lo) / 2;
        const auto line = probes.first_from(mid, hi);
        if (!line) {
            hi = mid;
        } else if (line->time < time) {
            b.before = line;
            lo = line->next;
        } else {
            b.after = line;
            hi = line->start;
        }
    }
    return b;
}

// What walking a stretch of lines found of a period.
struct scan {
    line_span span; // line numbers from the stretch's first line
    bool in_order = true;
};

class period_scan {
public:
    period_scan(std::int64_t from, std::int64_t to, qint64 begin)
        : from_(from)
        , to_(to)
        , previous_start_(begin) {}

    void take(const line_at& line) {
        ++number_;
        // The line after the last one in the period so far ends the read.
        if (last_was_in_)
            s_.span.read_end = line.next;
        last_was_in_ = false;
        const auto time = time_of(parser_, line.bytes);
        if (time) {
            order_.add(*time);
            if (*time >= from_ && *time < to_) {
                if (s_.span.empty()) {
                    s_.span.begin = line.start;
                    s_.span.read_begin = previous_start_;
                    s_.span.first_line = number_;
                }
                s_.span.end = s_.span.read_end = line.next;
                s_.span.last_line = number_;
                last_was_in_ = true;
            }
        }
        previous_start_ = line.start;
    }

    scan result() {
        s_.in_order = order_.in_order();
        return s_;
    }

private:
    std::int64_t from_;
    std::int64_t to_;
    line_parser parser_;
    order_check order_;
    scan s_;
    std::int64_t number_ = 0;
    qint64 previous_start_;
    bool last_was_in_ = false;
};

std::optional<scan> scan_lines(const log_bytes& log, byte_range stretch, std::int64_t from,
                               std::int64_t to, std::vector<char>& buffer) {
    period_scan period(from, to, stretch.begin);
    if (!walk_lines(log, stretch.begin, stretch.end, buffer,
                    [&period](const line_at& line) { period.take(line); }))
        return std::nullopt;
    return period.result();
}

} // namespace

qint64 memory_bytes::read_at(qint64 pos, char* out, qint64 len) const {
    if (pos < 0 || len < 0)
        return -1;
    const qint64 n = std::clamp<qint64>(bytes_.size() - pos, 0, len);
    std::memcpy(out, bytes_.data() + std::min(pos, bytes_.size()), static_cast<std::size_t>(n));
    return n;
}

std::optional<byte_range> find_lines(const log_bytes& log, qint64 size, std::int64_t local_from,
                                     std::int64_t local_to) {
    prober probes(log, size);
    probes.sample();
    const bounds first = halve(probes, size, local_from - order_slack);
    const bounds last = halve(probes, size, local_to + order_slack);
    if (!probes.in_order())
        return std::nullopt;
    const byte_range r{first.before ? first.before->start : 0,
                       last.after ? last.after->next : size};
    if (r.end < r.begin)
        return std::nullopt;
    return r;
}

std::optional<located_lines> locate_lines(const log_bytes& log, qint64 size,
                                          std::int64_t local_from, std::int64_t local_to) {
    std::vector<char> buffer;
    if (const auto stretch = find_lines(log, size, local_from, local_to)) {
        const auto s = scan_lines(log, *stretch, local_from, local_to, buffer);
        if (!s)
            return std::nullopt;
        if (s->in_order)
            return located_lines{s->span, stretch->begin};
    }
    const auto s = scan_lines(log, {0, size}, local_from, local_to, buffer);
    if (!s)
        return std::nullopt;
    return located_lines{s->span, 0};
}

std::optional<std::int64_t> count_lines(const log_bytes& log, qint64 begin, qint64 end,
                                        int threads) {
    const qint64 parts = end - begin >= 4 * piece ? std::max(1, threads) : 1;
    std::vector<std::int64_t> counts(static_cast<std::size_t>(parts), -1);
    const auto count_part = [&](qint64 i) {
        const qint64 from = begin + (end - begin) * i / parts;
        const qint64 to = begin + (end - begin) * (i + 1) / parts;
        std::vector<char> buffer(static_cast<std::size_t>(std::min(piece * 4, to - from)));
        std::int64_t n = 0;
        for (qint64 at = from; at < to;) {
            const qint64 want = std::min<qint64>(static_cast<qint64>(buffer.size()), to - at);
            if (log.read_at(at, buffer.data(), want) != want)
                return;
            n += chart::count_lines(QByteArrayView(buffer.data(), want));
            at += want;
        }
        counts[static_cast<std::size_t>(i)] = n;
    };
    {
        std::vector<std::jthread> helpers;
        for (qint64 i = 1; i < parts; ++i)
            helpers.emplace_back(count_part, i);
        count_part(0);
    }
    std::int64_t total = 0;
    for (const std::int64_t n : counts) {
        if (n < 0)
            return std::nullopt;
        total += n;
    }
    return total;
}

} // namespace chart
