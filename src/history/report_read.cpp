#include "history/report_read.h"

#include "chart/log_search.h"
#include "history/log_file.h"
#include "history/sha256_stream.h"

#include <QThread>
#include <algorithm>
#include <cstring>
#include <future>
#include <vector>

namespace history {

namespace {

// Read a piece at a time: a few MB stay in the processor's cache while they
// are hashed and parsed.
constexpr qint64 piece = qint64(4) << 20;
// Log lines are some 30 bytes; a longer one is passed over as a line that
// cannot be read.
constexpr qint64 longest_line = 256;

// Whole lines of the log parsed a piece at a time, straight into a store.
class stretch_parser {
public:
    stretch_parser(const log_file& log, chart::local_clock& clock, int threads)
        : log_(log)
        , clock_(clock)
        , threads_(threads) {}

    // The lines of [begin, end) after the points so far, hashed into `hash`
    // where one is given; false when the log comes up short.
    bool parse(qint64 begin, qint64 end, chart::log_point* out, chart::parse_result& r,
               sha256_stream* hash) {
        buffer_.resize(static_cast<std::size_t>(piece + longest_line));
        qint64 held = 0;
        bool passing = false; // over a line too long to be a log line
        for (qint64 at = begin; at < end;) {
            const qint64 want = std::min(piece, end - at);
            if (log_.read_at(at, buffer_.data() + held, want) != want)
                return false;
            if (hash)
                hash->add(QByteArrayView(buffer_.data() + held, want));
            at += want;
            QByteArrayView bytes(buffer_.data(), held + want);
            if (passing) {
                const qsizetype nl = bytes.indexOf('\n');
                passing = nl < 0;
                bytes = passing ? QByteArrayView() : bytes.sliced(nl + 1);
                r.unreadable += passing ? 0 : 1;
            }
            const chart::parse_result p =
                chart::parse_log_parallel(bytes, clock_, threads_, out + r.points);
            r.points += p.points;
            r.unreadable += p.unreadable;
            held = bytes.size() - p.consumed;
            passing = passing || held > longest_line;
            if (passing)
                held = 0;
            else
                std::memmove(buffer_.data(), bytes.data() + p.consumed,
                             static_cast<std::size_t>(held));
        }
        return true;
    }

private:
    const log_file& log_;
    chart::local_clock& clock_;
    int threads_;
    std::vector<char> buffer_;
};

} // namespace

std::optional<period_lines> read_period_lines(const log_file& log, qint64 size,
                                              std::int64_t local_from, std::int64_t local_to,
                                              chart::local_clock& clock) {
    const auto located = chart::locate_lines(log, size, local_from, local_to);
    if (!located)
        return std::nullopt;
    const int threads = std::clamp(QThread::idealThreadCount(), 1, 4);
    // The lines before those looked at are counted meanwhile, for the
    // line numbers.
    std::future<std::optional<std::int64_t>> before =
        std::async(std::launch::async, [&log, located, threads] {
            return chart::count_lines(log, 0, located->counted_from, threads);
        });
    period_lines out;
    out.lines = located->span;
    const chart::line_span& s = out.lines;
    const qint64 length = s.read_end - s.read_begin;
    out.store = std::make_shared<chart::point_store>(chart::most_points(length, threads) +
                                                     static_cast<std::size_t>(length / piece) +
                                                     2 * static_cast<std::size_t>(threads) + 2);
    stretch_parser parser(log, clock, threads);
    sha256_stream hash;
    chart::parse_result head, inside, tail;
    chart::log_point* const points = out.store->data();
    const bool read =
        parser.parse(s.read_begin, s.begin, points, head, nullptr) &&
        parser.parse(s.begin, s.end, points + head.points, inside, &hash) &&
        parser.parse(s.end, s.read_end, points + head.points + inside.points, tail, nullptr);
    const std::optional<std::int64_t> counted = before.get();
    if (!read || !counted)
        return std::nullopt;
    out.count = head.points + inside.points + tail.points;
    out.unreadable = inside.unreadable;
    out.sha256 = hash.hex();
    if (!s.empty()) {
        out.lines.first_line += *counted;
        out.lines.last_line += *counted;
    }
    return out;
}

} // namespace history
