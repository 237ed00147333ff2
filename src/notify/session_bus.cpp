#include "notify/session_bus.h"

#include <QFileInfo>
#include <QMetaObject>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <thread>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace notify {

namespace {

const QString connection_name = QStringLiteral("kestrova-session");
constexpr std::chrono::seconds answer_wait{2};

} // namespace

// Kept alive by an attempt's thread when the window's side is gone.
struct session_bus::shared {
    std::mutex mutex;
    session_bus* owner = nullptr; // null once the window's side is gone
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
    const std::lock_guard lock(shared_->mutex);
    shared_->owner = nullptr;
}

std::optional<QString> session_bus::address() {
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        return qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString socket = runtime + QStringLiteral("/bus");
    if (runtime.isEmpty() || !QFileInfo(socket).exists())
        return std::nullopt;
    return QStringLiteral("unix:path=") + socket;
}

void session_bus::connect_to_bus() {
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
    // Connecting waits for the daemon's answer for up to 25 s, in D-Bus's
    // own thread; it is tried only once the daemon has shown that it answers.
    std::thread([keep = shared_, address = *where] {
        const bool answered = answers(address, answer_wait);
        QDBusConnection bus(connection_name);
        if (answered) {
            bus = QDBusConnection::connectToBus(address, connection_name);
            // A failed connection keeps its name; the next attempt needs it.
            if (!bus.isConnected())
                QDBusConnection::disconnectFromBus(connection_name);
        }
        const std::lock_guard lock(keep->mutex);
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
    }).detach();
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

bool session_bus::answers(const QString& address, std::chrono::milliseconds wait) {
#ifdef Q_OS_UNIX
    // "unix:path=/run/user/1000/bus,guid=…" or "unix:abstract=/tmp/dbus-…";
    // the first local socket of the list is the one D-Bus would use.
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
        sockaddr_un sa{};
        sa.sun_family = AF_UNIX;
        const std::size_t offset = abstract ? 1 : 0;
        if (path.isEmpty() || std::size_t(path.size()) + offset >= sizeof sa.sun_path)
            return true;
        std::memcpy(sa.sun_path + offset, path.constData(), std::size_t(path.size()));
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                                   std::size_t(path.size()) + (abstract ? 0 : 1));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return true;
        // Nothing listening there is for D-Bus itself to say; a daemon whose
        // queue of connections is full does not answer either.
        bool answered = true;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&sa), length) == 0) {
            // A bus that takes the connection answers the first word of a
            // log-in at once: "AUTH" without a mechanism is "REJECTED" with
            // the list of mechanisms.
            static const char hello[] = "\0AUTH\r\n";
            pollfd p{fd, POLLIN, 0};
            char reply[64] = {};
            answered = ::write(fd, hello, sizeof hello - 1) == ssize_t(sizeof hello - 1) &&
                       ::poll(&p, 1, static_cast<int>(wait.count())) == 1 &&
                       ::read(fd, reply, sizeof reply - 1) > 0 &&
                       std::strncmp(reply, "REJECTED", 8) == 0;
        } else if (errno == EAGAIN) {
            answered = false;
        }
        ::close(fd);
        return answered;
    }
#else
    Q_UNUSED(address);
    Q_UNUSED(wait);
#endif
    return true;
}

} // namespace notify
