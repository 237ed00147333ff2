#include "history/log_file.h"

#include "rules/text.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace history {

namespace {

// Read a piece at a time: a few hundred KB stay in the processor's cache
// while they are parsed.
constexpr qint64 piece = qint64(256) << 10;
// Log lines are some 30 bytes; one longer than this is no log line.
constexpr qint64 longest_line = qint64(1) << 20;
// Less than this is read on one thread: starting another costs more.
constexpr qint64 parallel_from = qint64(1) << 20;
// Lines read back for a view in one read at most.
constexpr std::uint64_t most_at_once = std::uint64_t(1) << 20;

// The bytes of a log read piece by piece, with what was left of the pieces
// before.
class piece_reader {
public:
    piece_reader(const log_file& file, qint64 from, qint64 size)
        : file_(file)
        , at_(from)
        , read_(from)
        , size_(size) {}

    // Adds the next piece to what is kept; false at `size`, or when the
    // file came up short.
    bool more() {
        const qint64 want = std::min(piece, size_ - read_);
        if (want <= 0)
            return false;
        if (length_ + want > capacity_) {
            auto grown = std::make_unique_for_overwrite<char[]>(
                static_cast<std::size_t>(std::max(2 * capacity_, length_ + want)));
            std::copy_n(data_.get(), length_, grown.get());
            data_ = std::move(grown);
            capacity_ = std::max(2 * capacity_, length_ + want);
        }
        const qint64 got = file_.read_at(read_, data_.get() + length_, want);
        if (got != want) {
            cut_short_ = true;
            return false;
        }
        read_ += got;
        length_ += got;
        return true;
    }
    QByteArrayView bytes() const { return {data_.get(), length_}; }
    // Where bytes() begins in the file.
    qint64 at() const { return at_; }
    void drop(qint64 n) {
        std::copy(data_.get() + n, data_.get() + length_, data_.get());
        length_ -= n;
        at_ += n;
    }
    // Passes over the rest of the line being read; false when the file ends
    // first.
    bool skip_line() {
        for (;;) {
            const qsizetype nl = bytes().indexOf('\n');
            if (nl >= 0) {
                drop(nl + 1);
                return true;
            }
            drop(length_);
            if (!more())
                return false;
        }
    }
    bool cut_short() const { return cut_short_; }

private:
    const log_file& file_;
    std::unique_ptr<char[]> data_;
    qint64 capacity_ = 0;
    qint64 length_ = 0;
    qint64 at_;
    qint64 read_;
    qint64 size_;
    bool cut_short_ = false;
};

} // namespace

log_file::log_file(QString path)
    : path_(std::move(path)) {
#ifdef Q_OS_UNIX
    fd_ = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        error_ = rules::system_reason(errno);
#else
    file_ = std::make_unique<QFile>(path_);
    if (!file_->open(QIODevice::ReadOnly))
        error_ = file_->errorString();
#endif
}

log_file::~log_file() {
#ifdef Q_OS_UNIX
    if (fd_ >= 0)
        ::close(fd_);
#endif
}

bool log_file::is_open() const {
    return error_.isEmpty();
}

qint64 log_file::read_at(qint64 pos, char* out, qint64 len) const {
    if (!is_open())
        return -1;
#ifdef Q_OS_UNIX
    qint64 got = 0;
    while (got < len) {
        const ssize_t n = ::pread(fd_, out + got, static_cast<std::size_t>(len - got), pos + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
#else
    const std::lock_guard<std::mutex> hold(lock_);
    if (!file_->seek(pos))
        return -1;
    return file_->read(out, len);
#endif
}

qint64 log_file::size() const {
    if (!is_open())
        return -1;
#ifdef Q_OS_UNIX
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? static_cast<qint64>(st.st_size) : -1;
#else
    const std::lock_guard<std::mutex> hold(lock_);
    return file_->size();
#endif
}

lines_read read_lines(const log_file& file, qint64 begin, qint64 end, qint64 size,
                      bool at_line_start, chart::local_clock& clock, const chart::log_index& like,
                      std::vector<chart::log_point>* kept) {
    lines_read out{chart::log_index(like.gaps(), like.limits())};
    at_line_start = at_line_start || begin <= 0;
    piece_reader in(file, at_line_start ? begin : begin - 1, size);
    // The line that begins before `begin` is the stretch before's.
    if (!at_line_start && !in.skip_line()) {
        out.ok = !in.cut_short();
        out.first_line = out.next = in.at();
        return out;
    }
    out.first_line = in.at();
    while (in.at() < end) {
        const bool more = in.more();
        if (in.cut_short()) {
            out.ok = false;
            return out;
        }
        // Up to the end of the last line that begins before `end`, once it
        // has been read; all complete lines at the end of the file.
        QByteArrayView bytes = in.bytes();
        bool last = !more;
        if (end - in.at() < bytes.size()) {
            const qsizetype nl = bytes.indexOf('\n', std::max<qint64>(0, end - 1 - in.at()));
            if (nl >= 0) {
                bytes = bytes.first(nl + 1);
                last = true;
            }
        }
        const chart::parse_result r =
            out.blocks.add_text(bytes, static_cast<std::uint64_t>(in.at()), clock, last, kept);
        out.unreadable += r.unreadable;
        in.drop(r.consumed);
        if (last)
            break;
        const qsizetype line = in.bytes().lastIndexOf('\n') + 1;
        if (in.bytes().size() - line <= longest_line)
            continue;
        // The lines before it as blocks, then the long one passed over.
        const chart::parse_result before = out.blocks.add_text(
            in.bytes().first(line), static_cast<std::uint64_t>(in.at()), clock, true, kept);
        out.unreadable += before.unreadable;
        in.drop(line);
        const qint64 start = in.at();
        if (!in.skip_line()) {
            out.ok = !in.cut_short();
            out.next = start;
            return out;
        }
        ++out.unreadable;
    }
    out.next = in.at();
    return out;
}

lines_read read_lines_parallel(const log_file& file, qint64 begin, qint64 end, qint64 size,
                               bool at_line_start, std::span<chart::local_clock> clocks,
                               const chart::log_index& like, std::vector<chart::log_point>* kept) {
    const auto parts = end - begin >= parallel_from ? clocks.size() : std::size_t(1);
    const auto nominal = [&](std::size_t i) {
        return begin + (end - begin) * static_cast<qint64>(i) / static_cast<qint64>(parts);
    };
    std::vector<lines_read> results(parts);
    std::vector<std::vector<chart::log_point>> points(kept ? parts : 0);
    const auto points_of = [&](std::size_t i) { return kept ? &points[i] : nullptr; };
    {
        std::vector<std::jthread> helpers;
        for (std::size_t i = 1; i < parts; ++i)
            helpers.emplace_back([&, i] {
                results[i] = read_lines(file, nominal(i), nominal(i + 1), size, false, clocks[i],
                                        like, points_of(i));
            });
        results[0] =
            read_lines(file, begin, nominal(1), size, at_line_start, clocks[0], like, points_of(0));
    }
    lines_read out = std::move(results[0]);
    std::size_t merged = 1;
    for (; merged < parts && out.ok; ++merged) {
        const lines_read& r = results[merged];
        out.ok = r.ok;
        if (r.first_line != out.next) {
            // After a line without its end where the file ends there are no
            // lines; anything else is a file that changed meanwhile.
            out.ok = out.ok && r.blocks.empty() && r.unreadable == 0;
            break;
        }
        out.blocks.splice(out.blocks.size(), r.blocks);
        out.unreadable += r.unreadable;
        out.next = r.next;
    }
    for (std::size_t i = 0; kept && i < merged; ++i)
        kept->insert(kept->end(), points[i].begin(), points[i].end());
    return out;
}

bool file_points::read(const chart::log_index& index, std::span<const std::size_t> blocks,
                       std::vector<chart::log_point>& out) const {
    std::uint64_t bytes = 0;
    for (const std::size_t b : blocks)
        bytes += index[b].bytes;
    if (bytes < static_cast<std::uint64_t>(parallel_from) || blocks.size() < 2)
        return read_part(index, blocks, clocks_[0], out);
    // Two halves of about equal length, the second on a thread of its own.
    std::size_t half = 0;
    for (std::uint64_t first = 0; first < bytes / 2; ++half)
        first += index[blocks[half]].bytes;
    std::vector<chart::log_point> second;
    bool second_read = false;
    bool first_read = false;
    {
        const std::jthread helper(
            [&] { second_read = read_part(index, blocks.subspan(half), clocks_[1], second); });
        first_read = read_part(index, blocks.first(half), clocks_[0], out);
    }
    if (!first_read || !second_read)
        return false;
    out.insert(out.end(), second.begin(), second.end());
    return true;
}

bool file_points::read_part(const chart::log_index& index, std::span<const std::size_t> blocks,
                            chart::local_clock& clock, std::vector<chart::log_point>& out) const {
    std::unique_ptr<char[]> buffer;
    std::uint64_t capacity = 0;
    for (std::size_t i = 0; i < blocks.size();) {
        // Blocks whose lines lie end to end are read at once.
        const std::uint64_t at = index[blocks[i]].at;
        std::uint64_t end = at + index[blocks[i]].bytes;
        std::size_t j = i + 1;
        for (; j < blocks.size() && index[blocks[j]].at == end && end - at < most_at_once; ++j)
            end += index[blocks[j]].bytes;
        if (end - at > capacity) {
            capacity = std::max(end - at, most_at_once);
            buffer = std::make_unique_for_overwrite<char[]>(capacity);
        }
        const auto len = static_cast<qint64>(end - at);
        if (file_->read_at(static_cast<qint64>(at), buffer.get(), len) != len ||
            !chart::parse_blocks(QByteArrayView(buffer.get(), len), at, index,
                                 blocks.subspan(i, j - i), clock, out))
            return false;
        i = j;
    }
    return true;
}

} // namespace history
