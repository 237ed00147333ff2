#include "support/pty.h"

#include "pty/raw_pty.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

pty_pair::pty_pair() {
    const raw_pty p = open_raw_pty();
    if (p.master < 0)
        return;
    master_ = p.master;
    // A program the test starts must not inherit the master: hang_up() would
    // then not reach the slave.
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    // Keeping no slave descriptor open here: the program's open is the only one.
    ::close(p.slave);
    const QString link = dir_.filePath(QStringLiteral("tty"));
    slave_path_ = QFile::link(p.slave_path, link) ? link : p.slave_path;
}

pty_pair::~pty_pair() {
    hang_up();
}

bool pty_pair::write(const QByteArray& bytes) {
    return write_all(master_, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void pty_pair::hang_up() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}
