#include "history/log_reader.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace history {

namespace {

// The stretch of the file read at a time, shared out among the parsing
// threads, so that a large log never sits in memory as a whole.
constexpr qint64 chunk_size = qint64(8) << 20;
// Less than this is parsed on one thread: starting others costs more.
constexpr qint64 parallel_from = qint64(1) << 20;

// A log this much larger than its last days has them read first.
constexpr qint64 tail_first_from = qint64(16) << 20;
// The last days: a week, found in steps back from the end that start at
// about a week of lines at the 5 s period.
constexpr std::uint32_t tail_span = 7 * 86400;
constexpr qint64 tail_step = qint64(4) << 20;
// Beyond this (a week at one line a second) the log is read in order.
constexpr qint64 tail_step_limit = qint64(32) << 20;

int parse_threads() {
    return std::clamp(QThread::idealThreadCount(), 1, 4);
}
constexpr qint64 head_size = 64;

quint64 identity_of(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        return static_cast<quint64>(st.st_ino);
#else
    Q_UNUSED(path);
#endif
    return 0;
}

} // namespace

// Stretches of an open file, copied into memory of the reader's own. A
// mapped file would be parsed in place, but a log truncated meanwhile (rotated,
// rewritten by hand) takes its pages away under the parsing threads, which
// then die by SIGBUS; a copy can only come up short, and that is checked.
class stretch_buffer {
public:
    // The bytes at `pos`: `len` of them, fewer where the file ends sooner.
    QByteArrayView read(QFile& file, qint64 pos, qint64 len) {
        if (len > capacity_) {
            data_ = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(len));
            capacity_ = len;
        }
        if (!file.seek(pos))
            return {};
        const qint64 got = file.read(data_.get(), len);
        return {data_.get(), std::max<qint64>(got, 0)};
    }

private:
    std::unique_ptr<char[]> data_;
    qint64 capacity_ = 0;
};

log_reader::log_reader(QString path, QObject* parent)
    : log_reader(std::move(path), default_limit, local_clock(), parent) {}

log_reader::log_reader(QString path, qint64 byte_limit, local_clock clock, QObject* parent)
    : QObject(parent)
    , path_(std::move(path))
    , limit_(byte_limit)
    , clock_(std::move(clock)) {}

log_reader::~log_reader() = default;

void log_reader::start() {
    watcher_ = new QFileSystemWatcher(this);
    poll_ = new QTimer(this);
    soon_ = new QTimer(this);
    soon_->setSingleShot(true);
    soon_->setInterval(10);
    // A burst of change notifications is read once.
    connect(watcher_, &QFileSystemWatcher::fileChanged, soon_, qOverload<>(&QTimer::start));
    connect(watcher_, &QFileSystemWatcher::directoryChanged, soon_, qOverload<>(&QTimer::start));
    connect(soon_, &QTimer::timeout, this, &log_reader::check);
    // Notifications do not reach across every file system (NFS, SMB).
    poll_->setInterval(1000);
    connect(poll_, &QTimer::timeout, this, &log_reader::check);
    poll_->start();
    check();
}

void log_reader::watch() {
    if (!watcher_)
        return;
    const QString dir = QFileInfo(path_).absolutePath();
    if (!watcher_->directories().contains(dir) && QFileInfo(dir).isDir())
        watcher_->addPath(dir);
    // A replaced file drops out of the watch list; the new one is added.
    if (!watcher_->files().contains(path_) && QFileInfo::exists(path_))
        watcher_->addPath(path_);
}

void log_reader::check() {
    watch();
    const QFileInfo info(path_);
    if (!info.exists()) {
        if (state_ != state::missing) {
            state_ = state::missing;
            Q_EMIT missing();
        }
        return;
    }
    QFile file(path_);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        if (state_ != state::unreadable) {
            state_ = state::unreadable;
            Q_EMIT unreadable(info.isFile() ? file.errorString()
                                            : QStringLiteral("it is not a regular file"));
        }
        return;
    }
    const qint64 size = file.size();
    const quint64 identity = identity_of(path_);
    const QByteArray head = file.read(head_size);
    // Truncated, replaced by another file, or rewritten from the start.
    const bool same = state_ == state::reading && size >= offset_ &&
                      (identity == 0 || identity == identity_) &&
                      head.startsWith(head_.left(qMin<qsizetype>(head_.size(), offset_)));
    if (!same)
        restart(size, identity);
    head_ = head;
    const bool news = size > offset_ || !same;
    file.close();
    if (news)
        read_to(size);
}

void log_reader::restart(qint64 size, quint64 identity) {
    state_ = state::reading;
    identity_ = identity;
    store_.reset();
    count_ = 0;
    tail_.reset();
    head_.clear();
    unreadable_ = 0;
    partial_tail_ = false;
    caught_up_ = false;
    // A log over the limit is read from a line start near its end.
    offset_ = size > limit_ ? size - limit_ : 0;
    skipping_ = offset_ > 0;
    count_skipped_ = !skipping_; // the line cut there is not the log's fault
    make_room(most_points(size - offset_) + 4096);
    Q_EMIT restarted(size, offset_);
}

void log_reader::make_room(std::size_t more) {
    if (store_ && store_->capacity() - count_ >= more)
        return;
    // A log that grew past the room made for it: the points handed over
    // stay where they are, in the old store, for as long as they are used.
    auto grown = std::make_shared<point_store>(
        std::max(count_ + more, store_ ? 2 * store_->capacity() : std::size_t(0)));
    if (count_ > 0)
        std::memcpy(grown->data(), store_->data(), count_ * sizeof(log_point));
    store_ = std::move(grown);
}

void log_reader::read_tail(QFile& file, stretch_buffer& buffer, qint64 size) {
    // Back from the end in growing steps, until the lines of a step span a
    // week; a log that is not much longer is read in order.
    const int threads = parse_threads();
    for (qint64 back = tail_step; back <= tail_step_limit && back < size - offset_ - tail_step;
         back *= 2) {
        const QByteArrayView bytes = buffer.read(file, size - back, back);
        const qsizetype nl = bytes.size() == back ? bytes.indexOf('\n') : -1;
        if (nl < 0)
            return;
        const QByteArrayView lines = bytes.sliced(nl + 1);
        auto store = std::make_shared<point_store>(most_points(lines.size(), threads));
        const parse_result r = parse_log_parallel(lines, clock_, threads, store->data());
        const auto [lo, hi] = std::minmax_element(
            store->data(), store->data() + r.points,
            [](const log_point& a, const log_point& b) { return a.time < b.time; });
        if (r.points == 0 || hi->time - lo->time < tail_span)
            continue;
        tail_ = tail_read{store, r, size - back + nl + 1};
        auto batch = std::make_shared<log_batch>();
        batch->store = std::move(store);
        batch->count = r.points;
        batch->bytes_read = offset_;
        batch->file_size = size;
        Q_EMIT tail_ready(batch);
        return;
    }
}

void log_reader::read_to(qint64 size) {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        state_ = state::unreadable;
        Q_EMIT unreadable(file.errorString());
        return;
    }
    size = qMin(size, file.size());
    const auto send = [&] {
        auto batch = std::make_shared<log_batch>();
        batch->store = store_;
        batch->count = count_;
        batch->unreadable = unreadable_ + ((offset_ < size || skipping_) ? 1 : 0);
        batch->partial_tail = offset_ < size || skipping_;
        batch->bytes_read = offset_;
        batch->file_size = size;
        Q_EMIT batch_ready(batch);
    };
    const int threads = parse_threads();
    stretch_buffer buffer;
    // Reads on up to `end`; false when the file could not be read now (the
    // next check tries again).
    const auto read_up_to = [&](qint64 end) {
        while (offset_ < end) {
            const qint64 len = qMin(chunk_size, end - offset_);
            const QByteArrayView bytes = buffer.read(file, offset_, len);
            if (bytes.size() != len) {
                // Cut short meanwhile: the next check reads it from the start.
                state_ = state::unknown;
                return false;
            }
            if (skipping_) {
                const qsizetype nl = bytes.indexOf('\n');
                if (nl < 0) {
                    if (offset_ + len == end)
                        return true;
                    offset_ += len;
                    continue;
                }
                offset_ += nl + 1;
                skipping_ = false;
                if (count_skipped_)
                    ++unreadable_;
                count_skipped_ = true;
                continue;
            }
            const int parts = len >= parallel_from ? threads : 1;
            make_room(most_points(len, parts));
            const parse_result r =
                parse_log_parallel(bytes, clock_, parts, store_->data() + count_);
            count_ += r.points;
            unreadable_ += r.unreadable;
            if (r.consumed == 0) {
                if (offset_ + len == end)
                    return true; // a line still being written, or a half line at the end
                // No line end in a whole chunk: no log line is that long.
                skipping_ = true;
                continue;
            }
            offset_ += r.consumed;
            if (offset_ < size)
                send();
        }
        return true;
    };
    if (!caught_up_ && count_ == 0 && !tail_ && size - offset_ >= tail_first_from)
        read_tail(file, buffer, size);
    if (tail_) {
        if (!read_up_to(tail_->start) || offset_ != tail_->start)
            return;
        // The last days join the rest, as they were read first.
        make_room(tail_->result.points);
        std::memcpy(store_->data() + count_, tail_->store->data(),
                    tail_->result.points * sizeof(log_point));
        count_ += tail_->result.points;
        unreadable_ += tail_->result.unreadable;
        offset_ += tail_->result.consumed;
        tail_.reset();
    }
    read_up_to(size);
    send();
    if (!caught_up_) {
        caught_up_ = true;
        Q_EMIT caught_up();
    }
}

} // namespace history
