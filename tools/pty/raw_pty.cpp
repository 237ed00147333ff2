#include "raw_pty.h"

#include <cerrno>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

raw_pty open_raw_pty() {
    raw_pty p;
    char name[256] = {};
    if (openpty(&p.master, &p.slave, name, nullptr, nullptr) != 0)
        return {};
    termios t{};
    tcgetattr(p.slave, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B9600);
    tcsetattr(p.slave, TCSANOW, &t);
    p.slave_path = QString::fromLocal8Bit(name);
    return p;
}

bool write_all(int fd, const char* p, std::size_t n, const volatile std::sig_atomic_t* stop) {
    while (n > 0 && !(stop && *stop)) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return n == 0;
}
