#include "mqtt/mqtt_wait.h"

#include <QtGlobal>
#include <cerrno>
#include <mosquitto.h>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace mqtt {

mqtt_wait::mqtt_wait() {
#ifdef Q_OS_UNIX
    int fds[2];
    if (::pipe(fds) == 0) {
        for (const int fd : fds) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        wake_read_ = fds[0];
        wake_write_ = fds[1];
    }
#endif
}

mqtt_wait::~mqtt_wait() {
#ifdef Q_OS_UNIX
    for (const int fd : {wake_read_, wake_write_})
        if (fd >= 0)
            ::close(fd);
#endif
}

void mqtt_wait::poke() {
#ifdef Q_OS_UNIX
    // A full pipe is awake already.
    const char byte = 0;
    if (wake_write_ >= 0 && ::write(wake_write_, &byte, 1) < 0) {
    }
#endif
}

int mqtt_wait::loop_once(mosquitto* mosq, int timeout_ms) {
#ifdef Q_OS_UNIX
    if (wake_read_ >= 0) {
        const int sock = mosquitto_socket(mosq);
        if (sock < 0)
            return MOSQ_ERR_NO_CONN;
        pollfd fds[2] = {
            {sock, static_cast<short>(POLLIN | (mosquitto_want_write(mosq) ? POLLOUT : 0)), 0},
            {wake_read_, POLLIN, 0}};
        if (::poll(fds, 2, timeout_ms) < 0)
            return errno == EINTR ? MOSQ_ERR_SUCCESS : MOSQ_ERR_ERRNO;
        char drain[64];
        while ((fds[1].revents & POLLIN) && ::read(wake_read_, drain, sizeof drain) > 0) {
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const int rc = mosquitto_loop_read(mosq, 1);
            if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq) < 0)
                return rc;
        }
        if (mosquitto_want_write(mosq)) {
            const int rc = mosquitto_loop_write(mosq, 1);
            if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq) < 0)
                return rc;
        }
        return mosquitto_loop_misc(mosq);
    }
#endif
    return mosquitto_loop(mosq, timeout_ms, 1);
}

} // namespace mqtt
