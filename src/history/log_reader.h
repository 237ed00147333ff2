#pragma once

#include "chart/history_index.h"
#include "history/log_settings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class QFile;
class QFileSystemWatcher;
class QTimer;

// Reads the data log into block summaries and follows it: lines appended
// later are read as they come, and a log that is truncated or replaced is
// read again from the start. Meant to live in a worker thread; it talks to
// the window only through its signals, and never writes the file. The whole
// log is read, however long; what is kept of it is its index.
namespace history {

class log_file;

// What was read since the batch before, and the state of the file.
struct log_batch {
    // The index's blocks from `from` on are these: a last block shorter
    // than the others is made again with the lines that joined it.
    std::size_t from = 0;
    std::shared_ptr<const chart::log_index> blocks;
    std::int64_t unreadable = 0; // complete lines that could not be read, in all
    bool partial_tail = false;   // the file ends in a line without its line end
    qint64 bytes_read = 0;       // how far into the file the lines are read
    qint64 file_size = 0;
    // A tail_ready batch that holds every line of the period asked for
    // (read_first), rather than the last week.
    bool period = false;
};

class log_reader : public QObject {
    Q_OBJECT

public:
    // The settings beside the log (Tarnwick.INI) make the summaries; the
    // local time of the system reads the lines.
    explicit log_reader(const QString& path, QObject* parent = nullptr);
    log_reader(QString path, const log_settings& settings, chart::local_clock clock,
               QObject* parent = nullptr);
    ~log_reader() override;

    // Asks for the lines of [from, to] (UTC seconds) before the rest, found
    // by their time in a log that is in order there: they come as a
    // tail_ready batch, and the rest of the log waits for read_all(),
    // unless they reach its end. Before start().
    void read_first(double from, double to);
    // Reads the rest of the log after the lines asked for first.
    void read_all();
    // Starts following: reads what is there, then watches the file and
    // checks it every second besides, for file systems that do not notify.
    void start();
    // Stops a read under way at its next stretch, from any thread: the
    // reader is about to end.
    void stop() { stopping_ = true; }
    // Reads whatever is new; safe to call at any time.
    void check();
    // Other settings make other summaries: the log is read again.
    void set_settings(const log_settings& settings);

Q_SIGNALS:
    // The file is not there (yet).
    void missing();
    // The file is there but cannot be read; `reason` says why.
    void unreadable(const QString& reason);
    // Reading starts from the beginning: the file appeared, or it was
    // truncated or replaced, or the settings changed. What was read before
    // no longer counts.
    void restarted(qint64 file_size);
    void batch_ready(const std::shared_ptr<const history::log_batch>& batch);
    // The last week of a large log, read before the rest so that it can be
    // shown at once: an index of its own. The batches that follow hold the
    // whole log as usual, this week included.
    void tail_ready(const std::shared_ptr<const history::log_batch>& tail);
    // Everything the file held when reading began has been read.
    void caught_up();

private:
    enum class state { unknown, missing, unreadable, reading };

    void restart(qint64 size, quint64 identity);
    void read_tail(qint64 size);
    void read_period(qint64 size);
    void keep_first(chart::log_index blocks, std::int64_t unreadable, qint64 start, qint64 next,
                    qint64 size, bool period);
    bool read_up_to(qint64 end, qint64 size);
    void read_to(qint64 size);
    void send(chart::log_index blocks, qint64 size);
    void watch();

    QString path_;
    log_settings settings_;
    chart::local_clock clock_;
    std::vector<chart::local_clock> clocks_; // one per parsing thread
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* poll_ = nullptr;
    QTimer* soon_ = nullptr;

    state state_ = state::unknown;
    quint64 identity_ = 0; // the file's inode, where the system has one
    QByteArray head_;      // its first bytes, to tell a rewritten file
    std::shared_ptr<const log_file> file_;
    std::shared_ptr<const chart::point_source> source_;
    qint64 offset_ = 0; // the start of the first line not yet read
    // Blocks sent, and the last of them, which is made again with the
    // lines that come after it while it is shorter than the others.
    std::size_t blocks_sent_ = 0;
    std::optional<chart::log_block> last_block_;
    // The last week, read first, until the rest has been read up to it.
    struct tail_read {
        std::shared_ptr<const chart::log_index> blocks;
        std::int64_t unreadable = 0;
        qint64 start = 0; // where its first line starts in the file
        qint64 next = 0;  // and where the line after its last begins
    };
    std::optional<tail_read> tail_;
    std::int64_t unreadable_ = 0;
    bool partial_tail_ = false;
    bool caught_up_ = false;
    std::optional<std::pair<double, double>> period_; // asked for by read_first
    bool held_ = false;                               // the rest waits for read_all()
    std::atomic<bool> stopping_ = false;
};

} // namespace history
