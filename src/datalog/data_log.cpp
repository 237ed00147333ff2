#include "datalog/data_log.h"

#include "controls/display_box.h"
#include "controls/properties.h"
#include "rules/text.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <cerrno>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace datalog {

data_log::data_log(QString dir)
    : dir_(std::move(dir)) {}

QString data_log::path() const {
    return QDir(dir_).filePath(log_file_name);
}

#ifdef Q_OS_UNIX

QString data_log::append(const QByteArray& line) {
    // Opened without blocking: a FIFO by the log's name would otherwise stop
    // the program at its open. Only a regular file is written.
    const int fd = ::open(QFile::encodeName(path()).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    const QString not_regular = QStringLiteral("not a regular file");
    // ENXIO: a FIFO without a reader, or a device without its hardware.
    if (fd < 0)
        return errno == ENXIO ? not_regular : rules::system_reason(errno);
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
    return error;
}

#else

QString data_log::append(const QByteArray& line) {
    QFile f(path());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return f.errorString();
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
    return error;
}

#endif

log_writer::log_writer(const logging_role& log, QString dir, std::function<QDateTime()> clock,
                       QObject* parent)
    : QObject(parent)
    , log_role_(log)
    , log_(std::move(dir))
    , clock_(std::move(clock))
    , normal_text_(log.log_switch->palette().color(QPalette::WindowText)) {}

namespace {

void set_text_colour(QCheckBox* box, QColor c) {
    QPalette p = box->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::ButtonText, c);
    box->setPalette(p);
}

} // namespace

void log_writer::write_log_line() {
    if (controls::check_value(log_role_.log_switch) == 0)
        return;
    const QDateTime now = clock_();
    report(log_.append(log_line(now, log_role_.sensor1->text(), log_role_.sensor2->text())));
}

void log_writer::report(const QString& error) {
    QCheckBox* box = log_role_.log_switch;
    if (error.isEmpty()) {
        if (failing_) {
            failing_ = false;
            box->setToolTip(QString());
            set_text_colour(box, normal_text_);
            std::fprintf(stderr, "kestrova: the data log %s is written again\n",
                         qPrintable(QDir::toNativeSeparators(log_.path())));
        }
        return;
    }
    const QString tip = QStringLiteral("Logging is failing: %1 cannot be written (%2)")
                            .arg(QDir::toNativeSeparators(log_.path()), error);
    if (box->toolTip() != tip) {
        box->setToolTip(tip);
        set_text_colour(box, QColor(0xC0, 0x00, 0x00));
    }
    if (!failing_) {
        failing_ = true;
        std::fprintf(stderr, "kestrova: %s\n", qPrintable(tip));
    }
}

} // namespace datalog
