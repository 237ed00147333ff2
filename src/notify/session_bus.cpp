#include "notify/session_bus.h"

#include "logging/logging.h"

#include <QFileInfo>
#include <QMetaObject>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <functional>
#include <mutex>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace notify {

namespace {

const QString connection_name = QStringLiteral("kestrova-session");
constexpr std::chrono::seconds answer_wait{2};
// How long the end of a session_bus waits for an attempt that is inside
// QtDBus before it leaves it behind.
constexpr std::chrono::seconds end_wait{1};
// The address a bus kept off is replaced with: libdbus knows no such
// transport and fails at once, without launching a bus of its own.
constexpr char kept_off_address[] = "disabled:";

std::atomic<bool> left_inside_qtdbus{false};

} // namespace

#ifdef Q_OS_UNIX

namespace {

struct local_socket {
    sockaddr_un address{};
    socklen_t length = 0;
};

// "unix:path=/run/user/1000/bus,guid=…" or "unix:abstract=/tmp/dbus-…";
// the first local socket of the list is the one D-Bus would use.
std::optional<local_socket> first_local_socket(const QString& address) {
    for (const QString& entry : address.split(u';')) {
        if (!entry.startsWith(QLatin1String("unix:")))
            continue;
        QByteArray path;
        bool abstract = false;
        for (const QString& pair : entry.mid(5).split(u',')) {
            const qsizetype eq = pair.indexOf(u'=');
            const QString key = pair.left(eq);
            if (key == QLatin1String("path") || key == QLatin1String("abstract")) {
                path = QByteArray::fromPercentEncoding(pair.mid(eq + 1).toLocal8Bit());
                abstract = key == QLatin1String("abstract");
            }
        }
        local_socket s;
        s.address.sun_family = AF_UNIX;
        const std::size_t offset = abstract ? 1 : 0;
        if (path.isEmpty() || std::size_t(path.size()) + offset >= sizeof s.address.sun_path)
            return std::nullopt;
        std::memcpy(s.address.sun_path + offset, path.constData(), std::size_t(path.size()));
        s.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                          std::size_t(path.size()) + (abstract ? 0 : 1));
        return s;
    }
    return std::nullopt;
}

void append_u32(QByteArray& to, quint32 v) {
    for (int i = 0; i < 4; ++i)
        to.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// The bus's Hello, the first message of every client: a method call with
// no body, little-endian, serial 1.
QByteArray hello_message() {
    QByteArray fields;
    const auto field = [&fields](char code, char type, const QByteArray& value) {
        while (fields.size() % 8 != 0)
            fields.append('\0');
        fields.append(code).append('\1').append(type).append('\0');
        append_u32(fields, static_cast<quint32>(value.size()));
        fields.append(value).append('\0');
    };
    field(1, 'o', "/org/freedesktop/DBus");
    field(6, 's', "org.freedesktop.DBus");
    field(2, 's', "org.freedesktop.DBus");
    field(3, 's', "Hello");
    QByteArray m("l\1\0\1", 4);
    append_u32(m, 0); // no body
    append_u32(m, 1); // serial
    append_u32(m, static_cast<quint32>(fields.size()));
    m.append(fields);
    while (m.size() % 8 != 0)
        m.append('\0');
    return m;
}

// Reads what the daemon says until `complete` holds, or the time is up, or
// `cancel_fd` wakes.
bool read_until(int fd, QByteArray& got, std::chrono::steady_clock::time_point deadline,
                int cancel_fd, const std::function<bool(const QByteArray&)>& complete) {
    while (!complete(got)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p[2] = {{fd, POLLIN, 0}, {cancel_fd, POLLIN, 0}};
        if (::poll(p, cancel_fd >= 0 ? 2 : 1, static_cast<int>(left.count()) + 1) < 0 &&
            errno != EINTR)
            return false;
        if (p[1].revents != 0)
            return false;
        if (p[0].revents == 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return false;
        if (n > 0)
            got.append(buffer, n);
    }
    return true;
}

bool write_all(int fd, const QByteArray& bytes) {
    return ::send(fd, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL) ==
           ssize_t(bytes.size());
}

// The log-in as libdbus makes it (EXTERNAL, as this process's user), then
// the Hello: a daemon that answers both answers QtDBus's connect as well.
bool logs_in(int fd, std::chrono::steady_clock::time_point deadline, int cancel_fd) {
    const QByteArray uid = QByteArray::number(::geteuid()).toHex();
    if (!write_all(fd, QByteArray("\0AUTH EXTERNAL ", 15) + uid + "\r\n"))
        return false;
    QByteArray got;
    const auto line = [](const QByteArray& b) { return b.contains("\r\n"); };
    if (!read_until(fd, got, deadline, cancel_fd, line))
        return false;
    // Refused: QtDBus's connect fails at once on it as well.
    if (!got.startsWith("OK "))
        return true;
    if (!write_all(fd, "BEGIN\r\n" + hello_message()))
        return false;
    got.clear();
    // The answer to the Hello: a reply or an error, in either byte order.
    const auto message = [](const QByteArray& b) { return b.size() >= 2; };
    return read_until(fd, got, deadline, cancel_fd, message) && (got[0] == 'l' || got[0] == 'B') &&
           (got[1] == 2 || got[1] == 3);
}

} // namespace

#endif

// Shared by the window's side and the attempt's thread, which may outlive it.
struct session_bus::shared {
    std::mutex mutex;
    std::condition_variable ended;
    session_bus* owner = nullptr; // null once the window's side is gone
    bool running = false;
    int wake_read = -1; // a byte here cuts a probe short
    int wake_write = -1;

    shared() {
#ifdef Q_OS_UNIX
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            wake_read = fds[0];
            wake_write = fds[1];
        }
#endif
    }
    ~shared() {
#ifdef Q_OS_UNIX
        for (const int fd : {wake_read, wake_write})
            if (fd >= 0)
                ::close(fd);
#endif
    }
    shared(const shared&) = delete;
    shared& operator=(const shared&) = delete;

    void wake() const {
#ifdef Q_OS_UNIX
        const char byte = 0;
        if (wake_write >= 0 && ::write(wake_write, &byte, 1) < 0) {
            // A full pipe is awake already.
        }
#endif
    }
};

session_bus::session_bus(std::chrono::milliseconds retry, QObject* parent)
    : QObject(parent)
    , shared_(std::make_shared<shared>()) {
    shared_->owner = this;
    retry_.setSingleShot(true);
    retry_.setInterval(retry);
    connect(&retry_, &QTimer::timeout, this, &session_bus::attempt);
}

session_bus::~session_bus() {
    std::unique_lock lock(shared_->mutex);
    shared_->owner = nullptr;
    shared_->wake();
    const bool done = shared_->ended.wait_for(lock, end_wait, [this] { return !shared_->running; });
    lock.unlock();
    if (!worker_.joinable())
        return;
    if (done) {
        worker_.join();
        return;
    }
    // Only QtDBus's connect is beyond the wake; its thread and ours are
    // left to the end of the process.
    worker_.detach();
    left_inside_qtdbus = true;
    qCWarning(logging::log_notify)
        << "the session bus's connection is still being made; not waiting for it";
}

std::optional<QString> session_bus::address() {
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) {
        const QString set = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        if (set == QLatin1String(kept_off_address))
            return std::nullopt;
        return set;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString socket = runtime + QStringLiteral("/bus");
    if (runtime.isEmpty() || !QFileInfo(socket).exists())
        return std::nullopt;
    return QStringLiteral("unix:path=") + socket;
}

std::optional<QString> session_bus::keep_off_when_silent(std::chrono::milliseconds wait) {
    std::optional<QString> where = address();
    if (!where || answers(*where, wait))
        return std::nullopt;
    qputenv("DBUS_SESSION_BUS_ADDRESS", kept_off_address);
    return where;
}

bool session_bus::left_behind() {
    return left_inside_qtdbus;
}

void session_bus::connect_to_bus() {
    if (qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS") == QLatin1String(kept_off_address))
        return;
    if (!address()) {
        Q_EMIT unavailable(QStringLiteral("no session bus (DBUS_SESSION_BUS_ADDRESS is not set)"));
        return;
    }
    attempt();
}

void session_bus::attempt() {
    const std::optional<QString> where = address();
    if (!where)
        return;
    if (worker_.joinable())
        worker_.join(); // its result is in, so it has ended or is about to
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->running = true;
    }
    worker_ = std::thread([keep = shared_, address = *where] {
        const bool answered = answers(address, answer_wait, keep->wake_read);
        QDBusConnection bus(connection_name);
        bool wanted = false;
        {
            const std::lock_guard lock(keep->mutex);
            wanted = keep->owner != nullptr;
        }
        if (answered && wanted) {
            bus = QDBusConnection::connectToBus(address, connection_name);
            // A failed connection keeps its name; the next attempt needs it.
            if (!bus.isConnected())
                QDBusConnection::disconnectFromBus(connection_name);
        }
        const std::lock_guard lock(keep->mutex);
        keep->running = false;
        keep->ended.notify_all();
        if (session_bus* owner = keep->owner)
            QMetaObject::invokeMethod(
                owner,
                [owner, bus, answered] {
                    if (answered && bus.isConnected())
                        Q_EMIT owner->connected(bus);
                    else
                        owner->on_result(answered);
                },
                Qt::QueuedConnection);
    });
}

void session_bus::on_result(bool answered) {
    if (!complained_) {
        complained_ = true;
        Q_EMIT unavailable(QStringLiteral("the session bus %1 (tried again every %2 s)")
                               .arg(answered ? QStringLiteral("refused the connection")
                                             : QStringLiteral("does not answer"))
                               .arg(std::chrono::duration_cast<std::chrono::seconds>(
                                        std::chrono::milliseconds(retry_.interval()))
                                        .count()));
    }
    retry_.start();
}

bool session_bus::answers(const QString& address, std::chrono::milliseconds wait, int cancel_fd) {
#ifdef Q_OS_UNIX
    const std::optional<local_socket> where = first_local_socket(address);
    if (!where)
        return true;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return true;
    // Nothing listening there is for D-Bus itself to say; a daemon whose
    // queue of connections is full does not answer either.
    bool answered = true;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&where->address), where->length) == 0)
        answered = logs_in(fd, std::chrono::steady_clock::now() + wait, cancel_fd);
    else if (errno == EAGAIN)
        answered = false;
    ::close(fd);
    return answered;
#else
    Q_UNUSED(address);
    Q_UNUSED(wait);
    Q_UNUSED(cancel_fd);
    return true;
#endif
}

} // namespace notify
