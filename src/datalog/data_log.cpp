#include "datalog/data_log.h"

#include "rules/log_rules.h"
#include "rules/text.h"

#include <QDir>
#include <QFile>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace datalog {

data_log::data_log(QString dir)
    : dir_(std::move(dir)) {}

QString data_log::path() const {
    return QDir(dir_).filePath(rules::datalog::log_file_name);
}

#ifdef Q_OS_UNIX

rules::result data_log::append(const QByteArray& line) {
    // Opened without blocking: a FIFO by the log's name would otherwise stop
    // the program at its open. Only a regular file is written.
    const int fd = ::open(QFile::encodeName(path()).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    const QString not_regular = QStringLiteral("not a regular file");
    // ENXIO: a FIFO without a reader, or a device without its hardware.
    if (fd < 0)
        return rules::result::failure(errno == ENXIO ? not_regular : rules::system_reason(errno));
    QString error;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = rules::system_reason(errno);
    } else if (!S_ISREG(st.st_mode)) {
        error = not_regular;
    } else {
        // One write takes the whole line; only when the file system takes
        // part of it does a second call say why it took no more.
        qsizetype written = 0;
        while (written < line.size()) {
            const ssize_t n = ::write(fd, line.constData() + written,
                                      static_cast<std::size_t>(line.size() - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = rules::system_reason(errno);
                break;
            }
            if (n == 0) {
                error = QStringLiteral("the line was not written whole");
                break;
            }
            written += n;
        }
        if (!error.isEmpty() && written > 0 && ::ftruncate(fd, st.st_size) != 0)
            error += QStringLiteral("; part of the line is left in the file");
    }
    ::close(fd);
    return error.isEmpty() ? rules::result() : rules::result::failure(error);
}

#else

rules::result data_log::append(const QByteArray& line) {
    QFile f(path());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return rules::result::failure(f.errorString());
    const qint64 size_before = f.size();
    // A write that the file system cuts short sets no error on the file,
    // only errno.
    errno = 0;
    const qint64 written = f.write(line);
    if (written == line.size())
        return {};
    const QString error =
        f.error() != QFileDevice::NoError ? f.errorString() : rules::system_reason(errno);
    if (written > 0)
        f.resize(size_before);
    return rules::result::failure(error);
}

#endif

} // namespace datalog
