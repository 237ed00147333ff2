#pragma once

#include "rules/history_log.h"
#include "rules/history_series.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class QFile;
class QFileSystemWatcher;
class QTimer;

// Reads the data log into points and follows it: lines appended later are
// read as they come, and a log that is truncated or replaced is read again
// from the start. Meant to live in a worker thread; it talks to the window
// only through its signals, and never writes the file.
namespace history {

class stretch_buffer;

// The points read so far and the state of the file.
struct log_batch {
    // Every point since reading (re)started: the first `count` of `store`,
    // which the reader goes on filling past them.
    std::shared_ptr<const point_store> store;
    std::size_t count = 0;
    std::int64_t unreadable = 0; // complete lines that could not be read, in all
    bool partial_tail = false;   // the file ends in a line without its line end
    qint64 bytes_read = 0;       // how far into the file the lines are read
    qint64 file_size = 0;
};

class log_reader : public QObject {
    Q_OBJECT

public:
    // Reads from the file's start at most this much, so that no file can
    // take unbounded memory: older lines of a larger log are left out.
    static constexpr qint64 default_limit = qint64(1) << 30;

    explicit log_reader(QString path, QObject* parent = nullptr);
    log_reader(QString path, qint64 byte_limit, local_clock clock, QObject* parent = nullptr);
    ~log_reader() override;

    // Starts following: reads what is there, then watches the file and
    // checks it every second besides, for file systems that do not notify.
    void start();
    // Reads whatever is new; safe to call at any time.
    void check();

Q_SIGNALS:
    // The file is not there (yet).
    void missing();
    // The file is there but cannot be read; `reason` says why.
    void unreadable(const QString& reason);
    // Reading starts from the beginning: the file appeared, or it was
    // truncated or replaced. What was read before no longer counts. `skipped`
    // is the number of leading bytes left out of a log over the limit.
    void restarted(qint64 file_size, qint64 skipped);
    void batch_ready(const std::shared_ptr<const history::log_batch>& batch);
    // The last week of a large log, read before the rest so that it can be
    // shown at once: a batch of its own, with its own store. The batches
    // that follow hold the whole log as usual, this week included.
    void tail_ready(const std::shared_ptr<const history::log_batch>& tail);
    // Everything the file held when reading began has been read.
    void caught_up();

private:
    enum class state { unknown, missing, unreadable, reading };

    void restart(qint64 size, quint64 identity);
    void read_tail(QFile& file, stretch_buffer& buffer, qint64 size);
    void read_to(qint64 size);
    void watch();

    // Room for `count` points and `more` after them.
    void make_room(std::size_t more);

    QString path_;
    qint64 limit_;
    local_clock clock_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* poll_ = nullptr;
    QTimer* soon_ = nullptr;

    state state_ = state::unknown;
    quint64 identity_ = 0;      // the file's inode, where the system has one
    QByteArray head_;           // its first bytes, to tell a rewritten file
    qint64 offset_ = 0;         // the start of the first line not yet read
    bool skipping_ = false;     // inside a line too long to be a log line
    bool count_skipped_ = true; // false for the cut line where an over-long log is entered
    std::shared_ptr<point_store> store_;
    std::size_t count_ = 0;
    // The last week, read first, until the rest has been read up to it.
    struct tail_read {
        std::shared_ptr<const point_store> store;
        parse_result result;
        qint64 start = 0; // where its first line starts in the file
    };
    std::optional<tail_read> tail_;
    std::int64_t unreadable_ = 0;
    bool partial_tail_ = false;
    bool caught_up_ = false;
};

} // namespace history
