#pragma once

#include "chart/history_index.h"
#include "chart/log_search.h"

#include <QString>
#include <array>
#include <memory>
#include <mutex>
#include <vector>

class QFile;

// The data log on disk: read at any offset from any thread, into blocks of
// summaries, and back into the points of a few blocks when a view needs
// them. Reads are copies into memory of our own, never a mapping: a log
// truncated meanwhile can only come up short, and that is checked.
namespace history {

class log_file : public chart::log_bytes {
public:
    // Opens the log; where the system allows it, the file stays open and a
    // log replaced meanwhile is still read as it was.
    explicit log_file(QString path);
    ~log_file() override;

    bool is_open() const;
    QString error() const { return error_; }
    // Up to `len` bytes at `pos` into `out`; fewer where the file ends
    // sooner, -1 when it cannot be read.
    qint64 read_at(qint64 pos, char* out, qint64 len) const override;
    // Its size now, -1 when it cannot be told.
    qint64 size() const;

private:
    QString path_;
    QString error_;
#ifdef Q_OS_UNIX
    int fd_ = -1;
#else
    // Elsewhere one handle, taken in turn.
    mutable std::mutex lock_;
    std::unique_ptr<QFile> file_;
#endif
};

// What reading the lines that begin in a stretch of the log gave.
struct lines_read {
    chart::log_index blocks;
    std::int64_t unreadable = 0;
    qint64 first_line = 0; // where the first of them begins
    qint64 next = 0;       // where the line after the last complete one begins
    bool ok = true;        // false when the file came up short: it shrank
};

// Reads the lines that begin in [begin, end) of a log that was `size` bytes
// long, in pieces of a few hundred KB, into blocks under the settings of
// `like`, reading on past `end` for the end of the last of them; a line
// without its line end at `size` is left. Unless `begin` is known to start
// a line, the lines start after the first line end at or after begin - 1.
// A line too long to be a log line is skipped as one unreadable line. The
// points are added to `kept` where one is given.
lines_read read_lines(const log_file& file, qint64 begin, qint64 end, qint64 size,
                      bool at_line_start, chart::local_clock& clock, const chart::log_index& like,
                      std::vector<chart::log_point>* kept = nullptr);

// The same on as many threads as `clocks` has clocks, the stretch cut into
// parts of about equal length that meet at line ends.
lines_read read_lines_parallel(const log_file& file, qint64 begin, qint64 end, qint64 size,
                               bool at_line_start, std::span<chart::local_clock> clocks,
                               const chart::log_index& like,
                               std::vector<chart::log_point>* kept = nullptr);

// The points of an index's blocks, read back from the log and parsed again,
// on two threads when they are many.
class file_points : public chart::point_source {
public:
    file_points(std::shared_ptr<const log_file> file, const chart::local_clock& clock)
        : file_(std::move(file))
        , clocks_{clock, clock} {}
    bool read(const chart::log_index& index, std::span<const std::size_t> blocks,
              std::vector<chart::log_point>& out) const override;

private:
    bool read_part(const chart::log_index& index, std::span<const std::size_t> blocks,
                   chart::local_clock& clock, std::vector<chart::log_point>& out) const;

    std::shared_ptr<const log_file> file_;
    // One per thread, kept so that the days met stay known.
    mutable std::array<chart::local_clock, 2> clocks_;
};

} // namespace history
