#include "alerts/journal.h"

#include "alerts/day_seal.h"

#include "logging/logging.h"
#include "rules/journal_rules.h"

#include <QFile>
#include <QSet>
#include <condition_variable>
#include <deque>
#include <mutex>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace alerts {

using namespace std::chrono_literals;

struct journal::shared {
    QByteArray path;
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable drained;
    // Whole lines, oldest first; an entry with a log path is a seal of that
    // log's day, made when its turn comes.
    struct entry {
        QByteArray line;
        QByteArray seal_log;
        QDate seal_date;
    };
    std::deque<entry> lines;
    seal_place sealed;        // where the last seal ended
    QByteArray start_version; // a start to write first, its tail read
    QJsonObject start_settings;
    QDateTime start_time;
    bool start_pending = false;
    bool closing = false;
    bool idle = true;
    bool failing = false; // the last attempt failed; the lines wait for the next
    bool fresh = false;   // a line came since the last attempt
    std::size_t dropped = 0;
    QSet<QString> said; // kinds of failure said already
    int fd = -1;

    void run();
    bool write_waiting(std::unique_lock<std::mutex>& held);
    QByteArray take_start(std::unique_lock<std::mutex>& held);
    bool open_file();
    bool append(const QByteArray& bytes);
    QByteArray tail();
    void say(const QString& kind, const QString& why);
};

namespace {

constexpr qint64 tail_window = qint64(64) * 1024;
constexpr qint64 tail_most = qint64(4) * 1024 * 1024;

} // namespace

void journal::shared::say(const QString& kind, const QString& why) {
    if (said.contains(kind))
        return;
    said.insert(kind);
    qCWarning(logging::log_alerts).noquote()
        << QStringLiteral("the journal %1 is not written: %2").arg(QFile::decodeName(path), why);
}

#ifdef Q_OS_UNIX
bool journal::shared::open_file() {
    if (fd >= 0)
        return true;
    struct stat there {};
    if (::stat(path.constData(), &there) == 0 && !S_ISREG(there.st_mode)) {
        say(QStringLiteral("special"), QStringLiteral("it is not a regular file"));
        return false;
    }
    // Non-blocking, so that a FIFO put there meanwhile cannot hold the open up.
    fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        say(QString::number(errno), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fd = -1;
        say(QStringLiteral("special"), QStringLiteral("it is not a regular file"));
        return false;
    }
    return true;
}

bool journal::shared::append(const QByteArray& bytes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            // A line cut short is taken back: the journal holds whole lines.
            if (done > 0 && ::ftruncate(fd, st.st_size) != 0)
                say(QStringLiteral("truncate"), QString::fromLocal8Bit(std::strerror(errno)));
            say(QString::number(error), QString::fromLocal8Bit(std::strerror(error)));
            return false;
        }
        done += n;
    }
    if (::fdatasync(fd) != 0) {
        say(QStringLiteral("sync"), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

QByteArray journal::shared::tail() {
    const int in = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0)
        return {};
    struct stat st {};
    QByteArray out;
    if (::fstat(in, &st) == 0 && S_ISREG(st.st_mode)) {
        // Back in windows until a start or a stop is in what was read.
        for (qint64 size = tail_window; size <= tail_most; size *= 2) {
            const qint64 from = std::max<qint64>(0, st.st_size - size);
            out.resize(qsizetype(st.st_size - from));
            const ssize_t n = ::pread(in, out.data(), std::size_t(out.size()), from);
            out.resize(n < 0 ? 0 : qsizetype(n));
            if (from == 0 || out.contains("\"event\":\"start\"") ||
                out.contains("\"event\":\"stop\""))
                break;
        }
    }
    ::close(in);
    return out;
}
#else
bool journal::shared::open_file() {
    say(QStringLiteral("platform"), QStringLiteral("not on this platform"));
    return false;
}
bool journal::shared::append(const QByteArray&) {
    return false;
}
QByteArray journal::shared::tail() {
    return {};
}
#endif

QByteArray journal::shared::take_start(std::unique_lock<std::mutex>& held) {
    if (!start_pending)
        return {};
    start_pending = false;
    const QString version = QString::fromUtf8(start_version);
    const QJsonObject settings = start_settings;
    const QDateTime time = start_time;
    held.unlock();
    const QByteArray before = tail();
    sealed = last_seal(before);
    QByteArray lines = rules::journal::start_lines(time, version, settings,
                                                   rules::journal::read_run_before(before));
    held.lock();
    return lines;
}

bool journal::shared::write_waiting(std::unique_lock<std::mutex>& held) {
    if (const QByteArray first = take_start(held); !first.isEmpty())
        lines.push_front({first, {}, {}});
    if (dropped > 0) {
        lines.push_front(
            {rules::journal::line(
                 QDateTime::currentDateTime(), QStringLiteral("gap"),
                 {{QStringLiteral("lines_lost"), qint64(dropped)},
                  {QStringLiteral("why"), QStringLiteral("the journal could not be written")}}),
             {},
             {}});
        dropped = 0;
    }
    while (!lines.empty()) {
        entry next = lines.front();
        held.unlock();
        if (!next.seal_log.isEmpty()) {
            // The log is read and hashed here, off the window thread.
            const QJsonObject seal = day_seal(next.seal_log, next.seal_date, sealed);
            next.line =
                seal.isEmpty()
                    ? QByteArray()
                    : rules::journal::line(
                          QDateTime::fromString(QString::fromUtf8(next.line), Qt::ISODateWithMs),
                          QStringLiteral("seal"), seal);
        }
        const bool ok = next.line.isEmpty() || (open_file() && append(next.line));
        held.lock();
        if (!ok) {
            if (!next.seal_log.isEmpty())
                lines.front() = {next.line, {}, {}}; // made once
            return false;
        }
        lines.pop_front();
    }
    return true;
}

void journal::shared::run() {
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
        idle = false;
        fresh = false;
        const bool ok = write_waiting(held);
        idle = true;
        failing = !ok;
        drained.notify_all();
        if (closing)
            break;
        // After a failure, try again in a while or when there is more.
        if (ok)
            wake.wait(held, [this] { return closing || start_pending || !lines.empty(); });
        else
            wake.wait_for(held, 10s, [this] { return closing || fresh; });
    }
#ifdef Q_OS_UNIX
    if (fd >= 0)
        ::close(fd);
#endif
    fd = -1;
}

journal::journal(QString path, clock now)
    : path_(std::move(path))
    , now_(now ? std::move(now) : clock([] { return QDateTime::currentDateTime(); }))
    , shared_(std::make_shared<shared>()) {
    shared_->path = QFile::encodeName(path_);
    worker_ = std::thread([s = shared_] { s->run(); });
}

journal::~journal() {
    close(2s);
}

void journal::start(const QString& version, const QJsonObject& settings) {
    {
        const std::lock_guard<std::mutex> held(shared_->lock);
        shared_->start_version = version.toUtf8();
        shared_->start_settings = settings;
        shared_->start_time = now_();
        shared_->start_pending = true;
        shared_->fresh = true;
    }
    shared_->wake.notify_one();
}

void journal::write(const QString& event, const QJsonObject& fields) {
    push(rules::journal::line(now_(), event, fields), {}, {});
}

void journal::seal(const QString& log_path, QDate date) {
    // The time it was asked for stands where the line will be.
    push(rules::journal::time_text(now_()).toUtf8(), QFile::encodeName(log_path), date);
}

void journal::push(const QByteArray& line, const QByteArray& seal_log, QDate seal_date) {
    {
        const std::lock_guard<std::mutex> held(shared_->lock);
        if (shared_->closing)
            return;
        shared_->lines.push_back({line, seal_log, seal_date});
        shared_->fresh = true;
        while (shared_->lines.size() > kept_lines) {
            shared_->lines.pop_front();
            ++shared_->dropped;
        }
    }
    shared_->wake.notify_one();
}

void journal::close(std::chrono::milliseconds wait) {
    if (!worker_.joinable())
        return;
    bool done = false;
    std::size_t left = 0;
    {
        std::unique_lock<std::mutex> held(shared_->lock);
        done = shared_->drained.wait_for(held, wait, [this] {
            return shared_->idle && !shared_->start_pending &&
                   (shared_->lines.empty() || shared_->failing);
        });
        shared_->closing = true;
        left = shared_->lines.size();
        // A writer idle after a failure ends at once; a busy one ends after
        // its write.
        done = done || shared_->idle;
    }
    shared_->wake.notify_all();
    if (done) {
        worker_.join();
        if (left > 0)
            qCWarning(logging::log_alerts).noquote()
                << QStringLiteral("the journal %1 was not written to its end: %2 lines lost")
                       .arg(path_)
                       .arg(left);
        return;
    }
    // A write that does not come back (a disk that hangs) must not hold up
    // the end of the program.
    worker_.detach();
    qCWarning(logging::log_alerts).noquote()
        << QStringLiteral("the journal %1 is still being written at the end; its last lines may "
                          "be lost")
               .arg(path_);
}

} // namespace alerts
