#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

// A session bus that answers the log-in as a dbus-daemon does and then
// stalls: every "AUTH" line gets its answer, anything after it none. Serves
// on a thread of its own until it goes out of scope.
struct stalling_bus {
    QTemporaryDir dir;
    QString address;
    int listener = -1;
    int stop[2] = {-1, -1};
    std::thread server;

    stalling_bus() {
        const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("bus")));
        sockaddr_un sa{};
        sa.sun_family = AF_UNIX;
        if (std::size_t(path.size()) >= sizeof sa.sun_path || ::pipe(stop) != 0)
            return;
        std::memcpy(sa.sun_path, path.constData(), std::size_t(path.size()));
        listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(listener, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 ||
            ::listen(listener, 16) != 0)
            return;
        address = QStringLiteral("unix:path=") + QFile::decodeName(path);
        server = std::thread([this] { serve(); });
    }
    ~stalling_bus() {
        if (server.joinable()) {
            const char byte = 0;
            if (::write(stop[1], &byte, 1) == 1)
                server.join();
            else
                server.detach();
        }
        for (const int fd : {listener, stop[0], stop[1]})
            if (fd >= 0)
                ::close(fd);
    }
    stalling_bus(const stalling_bus&) = delete;
    stalling_bus& operator=(const stalling_bus&) = delete;

private:
    void serve() {
        std::vector<pollfd> fds{{stop[0], POLLIN, 0}, {listener, POLLIN, 0}};
        std::vector<QByteArray> pending{{}, {}};
        while (::poll(fds.data(), fds.size(), -1) >= 0 && fds[0].revents == 0) {
            if (fds[1].revents & POLLIN) {
                fds.push_back({::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC), POLLIN, 0});
                pending.emplace_back();
            }
            for (std::size_t i = 2; i < fds.size(); ++i) {
                if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                    continue;
                char buffer[512];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) {
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    continue;
                }
                pending[i].append(buffer, n);
                answer(fds[i].fd, pending[i]);
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i)
            if (fds[i].fd >= 0)
                ::close(fds[i].fd);
    }
    // "AUTH" alone lists the mechanisms; "AUTH EXTERNAL …" is let in.
    static void answer(int fd, QByteArray& pending) {
        qsizetype end = 0;
        while ((end = pending.indexOf("\r\n")) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 2);
            const QByteArray word = line.mid(line.startsWith('\0') ? 1 : 0);
            QByteArray reply;
            if (word == "AUTH")
                reply = "REJECTED EXTERNAL\r\n";
            else if (word.startsWith("AUTH "))
                reply = "OK 0123456789abcdef0123456789abcdef\r\n";
            if (!reply.isEmpty() && ::write(fd, reply.constData(), std::size_t(reply.size())) < 0)
                return;
        }
    }
};
