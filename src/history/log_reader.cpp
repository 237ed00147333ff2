#include "history/log_reader.h"

#include "history/log_file.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace history {

namespace {

// The stretch of the file read at a time, shared out among the parsing
// threads, between two batches.
constexpr qint64 chunk_size = qint64(8) << 20;

// A log this much larger than its last days has them read first.
constexpr qint64 tail_first_from = qint64(16) << 20;
// The last days: a week, found in steps back from the end that start at
// about a week of lines at the 5 s period.
constexpr std::uint32_t tail_span = 7 * 86400;
constexpr qint64 tail_step = qint64(4) << 20;
// Beyond this (a week at one line a second) the log is read in order.
constexpr qint64 tail_step_limit = qint64(32) << 20;
// Days asked for are read first up to this much of the log.
constexpr qint64 period_first_most = qint64(512) << 20;

// Whether the blocks' times never go back by more than the clocks do in
// autumn (chart::order_check), judged from their summaries: a block whose
// time goes back inside counts only where its times lie close together.
bool in_order(const chart::log_index& blocks) {
    std::int64_t latest = 0;
    for (const chart::log_block& b : blocks.blocks()) {
        if (b.min_time + chart::order_slack < latest ||
            (!b.ascending && b.max_time - b.min_time > chart::order_slack))
            return false;
        latest = std::max<std::int64_t>(latest, b.max_time);
    }
    return true;
}

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

log_reader::log_reader(const QString& path, QObject* parent)
    : log_reader(path, read_log_settings(QFileInfo(path).absolutePath()), chart::local_clock(),
                 parent) {}

log_reader::log_reader(QString path, const log_settings& settings, chart::local_clock clock,
                       QObject* parent)
    : QObject(parent)
    , path_(std::move(path))
    , settings_(settings)
    , clock_(std::move(clock))
    , clocks_(static_cast<std::size_t>(parse_threads()), clock_) {}

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

void log_reader::set_settings(const log_settings& settings) {
    if (settings == settings_)
        return;
    settings_ = settings;
    if (state_ == state::reading)
        state_ = state::unknown;
    check();
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
    head_.clear();
    // Kept open: the views read lines back from the file they were made of.
    auto file = std::make_shared<log_file>(path_);
    source_ = std::make_shared<file_points>(file, clock_);
    file_ = std::move(file);
    offset_ = 0;
    blocks_sent_ = 0;
    last_block_.reset();
    tail_.reset();
    held_ = false;
    unreadable_ = 0;
    partial_tail_ = false;
    caught_up_ = false;
    Q_EMIT restarted(size);
}

void log_reader::send(chart::log_index blocks, qint64 size) {
    auto batch = std::make_shared<log_batch>();
    batch->from = blocks_sent_;
    blocks_sent_ += blocks.size();
    if (!blocks.empty())
        last_block_ = blocks[blocks.size() - 1];
    blocks.set_source(source_);
    batch->blocks = std::make_shared<const chart::log_index>(std::move(blocks));
    partial_tail_ = offset_ < size;
    batch->unreadable = unreadable_ + (partial_tail_ ? 1 : 0);
    batch->partial_tail = partial_tail_;
    batch->bytes_read = offset_;
    batch->file_size = size;
    Q_EMIT batch_ready(batch);
}

void log_reader::read_first(double from, double to) {
    period_ = {from, to};
}

void log_reader::read_all() {
    if (!held_)
        return;
    held_ = false;
    check();
}

void log_reader::keep_first(chart::log_index blocks, std::int64_t unreadable, qint64 start,
                            qint64 next, qint64 size, bool period) {
    auto index = std::make_shared<const chart::log_index>(std::move(blocks));
    tail_ = tail_read{index, unreadable, start, next};
    auto batch = std::make_shared<log_batch>();
    batch->blocks = std::move(index);
    batch->bytes_read = offset_;
    batch->file_size = size;
    batch->period = period;
    Q_EMIT tail_ready(batch);
}

void log_reader::read_tail(qint64 size) {
    // Back from the end in growing steps, until the lines of a step span a
    // week; a log that is not much longer is read in order.
    const chart::log_index like(settings_.gaps, settings_.limits);
    for (qint64 back = tail_step; back <= tail_step_limit && back < size - offset_ - tail_step;
         back *= 2) {
        // Its points stay in memory while it is shown: its first view
        // needs every line.
        std::vector<chart::log_point> points;
        lines_read r =
            read_lines_parallel(*file_, size - back, size, size, false, clocks_, like, &points);
        if (!r.ok || stopping_)
            return;
        if (r.blocks.empty() || r.blocks.last_time() - r.blocks.first_time() < tail_span)
            continue;
        std::vector<std::size_t> starts;
        for (std::size_t b = 0, at = 0; b < r.blocks.size(); at += r.blocks[b++].points)
            starts.push_back(at);
        r.blocks.set_source(
            std::make_shared<chart::memory_points>(std::move(points), std::move(starts)));
        keep_first(std::move(r.blocks), r.unreadable, r.first_line, r.next, size, false);
        return;
    }
}

void log_reader::read_period(qint64 size) {
    // The log's lines hold local time: each end at its own offset, and
    // an hour more on either side.
    const auto local = [this](double t, double shift) {
        const auto utc = static_cast<std::int64_t>(std::floor(t));
        return utc + clock_.offset_at_utc(utc) + static_cast<std::int64_t>(shift);
    };
    const auto stretch = chart::find_lines(*file_, size, local(period_->first, -3600),
                                           local(period_->second, 3600 + 1));
    // Beyond some years at 5 s the whole log is read in its order, with its
    // progress shown.
    if (!stretch || stretch->end - stretch->begin > period_first_most)
        return;
    const chart::log_index like(settings_.gaps, settings_.limits);
    lines_read r =
        read_lines_parallel(*file_, stretch->begin, stretch->end, size, true, clocks_, like);
    if (!r.ok || stopping_ || !in_order(r.blocks))
        return;
    r.blocks.set_source(source_);
    // The rest is read once a view needs it, unless the days reach the end
    // of the log, whose new lines are followed.
    held_ = r.next < size;
    keep_first(std::move(r.blocks), r.unreadable, r.first_line, r.next, size, true);
}

bool log_reader::read_up_to(qint64 end, qint64 size) {
    const chart::log_index like(settings_.gaps, settings_.limits);
    while (offset_ < end) {
        if (stopping_)
            return false;
        const qint64 stretch_end = std::min(offset_ + chunk_size, end);
        lines_read r = read_lines_parallel(*file_, offset_, stretch_end, size, true, clocks_, like);
        if (!r.ok) {
            // Cut short meanwhile: the next check reads it from the start.
            state_ = state::unknown;
            return false;
        }
        unreadable_ += r.unreadable;
        offset_ = r.next;
        send(std::move(r.blocks), size);
        // Short of the stretch's end only where the file ends in a line
        // without its line end.
        if (offset_ < stretch_end)
            break;
    }
    return true;
}

void log_reader::read_to(qint64 size) {
    if (stopping_)
        return;
    if (!file_->is_open()) {
        state_ = state::unreadable;
        Q_EMIT unreadable(file_->error());
        return;
    }
    // A last block shorter than the others is made again with what follows.
    if (last_block_ && last_block_->bytes < chart::log_index::block_bytes &&
        last_block_->at + last_block_->bytes == static_cast<std::uint64_t>(offset_) &&
        size > offset_) {
        offset_ = static_cast<qint64>(last_block_->at);
        unreadable_ -= last_block_->unreadable;
        --blocks_sent_;
        last_block_.reset();
    }
    if (!caught_up_ && blocks_sent_ == 0 && !tail_ && period_)
        read_period(size);
    if (held_)
        return;
    if (!caught_up_ && blocks_sent_ == 0 && !tail_ && size - offset_ >= tail_first_from)
        read_tail(size);
    if (tail_) {
        if (!read_up_to(tail_->start, size) || offset_ != tail_->start)
            return;
        // The last days join the rest, as they were read first.
        unreadable_ += tail_->unreadable;
        offset_ = tail_->next;
        const chart::log_index blocks = *tail_->blocks;
        tail_.reset();
        send(blocks, size);
    }
    const std::size_t sent = blocks_sent_;
    if (!read_up_to(size, size))
        return;
    if (blocks_sent_ == sent)
        send({}, size);
    if (!caught_up_) {
        caught_up_ = true;
        Q_EMIT caught_up();
    }
}

} // namespace history
