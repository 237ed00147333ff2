#include "history/report_target.h"

#include "history/exports.h"
#include "rules/text.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace history {

namespace {

#ifdef Q_OS_UNIX
rules::result write_all(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return rules::result::failure(rules::system_reason(n < 0 ? errno : ENOSPC));
        done += n;
    }
    return {};
}

// A device or a FIFO, opened without creating or truncating anything. A
// FIFO is opened without waiting: one nobody reads from is said, not
// waited on for ever.
rules::result write_into(const QByteArray& name, bool fifo, const QByteArray& bytes) {
    const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC | (fifo ? O_NONBLOCK : 0));
    if (fd < 0)
        return rules::result::failure(fifo && errno == ENXIO
                                          ? QStringLiteral("no program reads from the FIFO")
                                          : rules::system_reason(errno));
    if (fifo)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    rules::result written = write_all(fd, bytes);
    if (::close(fd) != 0 && written)
        written = rules::result::failure(rules::system_reason(errno));
    return written;
}

QString refusal(mode_t mode) {
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder");
    if (S_ISSOCK(mode))
        return QStringLiteral("it is a socket, which is not written to");
    if (S_ISBLK(mode))
        return QStringLiteral("it is a block device (a disk), which is not written to");
    return QStringLiteral("it is not a file, a device or a FIFO");
}
#endif

} // namespace

rules::result write_to_target(const QString& path, const QByteArray& bytes) {
#ifdef Q_OS_UNIX
    if (path == QLatin1String("-"))
        return write_all(STDOUT_FILENO, bytes);
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0) {
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))
            return write_into(name, S_ISFIFO(st.st_mode), bytes);
        if (!S_ISREG(st.st_mode))
            return rules::result::failure(refusal(st.st_mode));
        // Root may write anything; a file nobody may write is still meant
        // to stay as it is.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
            ::access(name.constData(), W_OK) != 0)
            return rules::result::failure(QStringLiteral("it is read-only, and is not replaced"));
        // The link stays; the file it points to is replaced.
        return replace_file(QFileInfo(path).canonicalFilePath(), bytes);
    }
#endif
    return replace_file(path, bytes);
}

} // namespace history
