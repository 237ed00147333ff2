#include "support/pty.h"

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

pty_pair::pty_pair() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
        master_ = -1;
        return;
    }
    // Raw mode, so every byte value passes unchanged.
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    // Keeping no slave descriptor open here: the program's open is the only one.
    ::close(slave);
    slave_path_ = QString::fromLocal8Bit(name);
}

pty_pair::~pty_pair() {
    hang_up();
}

bool pty_pair::write(const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(master_, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

void pty_pair::hang_up() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}
