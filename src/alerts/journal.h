#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace alerts {

// The journal, TARNWICK-journal.jsonl beside the data log: what happened,
// one JSON line per event, appended and synced by a thread of its own, so
// that a slow or full disk holds up nothing. It is never rewritten: a line
// is whole or absent (a write cut short is taken back). A journal that
// cannot be written is said once per kind of failure; its lines wait (the
// latest ten thousand) and are tried again with the next line, or after ten
// seconds. A path that is
// not a regular file (a FIFO, a device) is never written.
class journal {
public:
    using clock = std::function<QDateTime()>;

    explicit journal(QString path, clock now = {});
    ~journal();
    journal(const journal&) = delete;
    journal& operator=(const journal&) = delete;

    // The first lines of a run: "start" with the settings in force, whether
    // the run before ended cleanly, and what was changed in the file since.
    void start(const QString& version, const QJsonObject& settings);
    // One line, stamped now.
    void write(const QString& event, const QJsonObject& fields);
    // A "seal" of the day's lines of the data log at `log_path`, stamped
    // now; the log is read and hashed by the writer thread, in turn.
    void seal(const QString& log_path, QDate date);
    // Writes what waits, for `wait` at most; a writer held up longer (a
    // disk that hangs) is left behind, and that is said.
    void close(std::chrono::milliseconds wait);

    const QString& path() const { return path_; }

    static constexpr std::size_t kept_lines = 10000;
    struct shared; // what the writer thread works on

private:
    void push(const QByteArray& line, const QByteArray& seal_log, QDate seal_date);

    QString path_;
    clock now_;
    std::shared_ptr<shared> shared_;
    std::thread worker_;
};

} // namespace alerts
