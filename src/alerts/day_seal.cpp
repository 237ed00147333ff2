#include "alerts/day_seal.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QList>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace alerts {

namespace {

constexpr qint64 first_window = qint64(1) << 20;
constexpr qint64 piece = qint64(4) << 20;

#ifdef Q_OS_UNIX
class read_only_file {
public:
    explicit read_only_file(const QByteArray& path)
        : fd_(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~read_only_file() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    read_only_file(const read_only_file&) = delete;
    read_only_file& operator=(const read_only_file&) = delete;

    // The size of a regular file; -1 for anything else.
    qint64 size() const {
        struct stat st {};
        return fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) ? qint64(st.st_size) : -1;
    }
    bool read(qint64 at, QByteArray& out, qint64 length) const {
        out.resize(qsizetype(length));
        qint64 got = 0;
        while (got < length) {
            const ssize_t n = ::pread(fd_, out.data() + got, std::size_t(length - got), at + got);
            if (n <= 0)
                return false;
            got += n;
        }
        return true;
    }
    // Line ends in [begin, end); -1 when the file comes up short.
    std::int64_t count_lines(qint64 begin, qint64 end) const {
        std::int64_t n = 0;
        QByteArray buffer;
        for (qint64 at = begin; at < end; at += piece) {
            if (!read(at, buffer, std::min(piece, end - at)))
                return -1;
            n += buffer.count('\n');
        }
        return n;
    }

private:
    int fd_;
};
#endif

// The date a line of the log begins with.
QDate date_of(QByteArrayView line) {
    return line.size() >= 10 ? QDate::fromString(QString::fromLatin1(line.first(10)),
                                                 QStringLiteral("MM-dd-yyyy"))
                             : QDate();
}

struct found {
    qsizetype first = -1;  // the start of the day's first line in the window
    qsizetype end = -1;    // after the end of its last whole line
    bool complete = false; // the window reaches back before the day
};

// The day's lines in a window of the log that ends at the log's end.
found find_day(QByteArrayView window, bool from_start, const QByteArray& prefix, QDate date) {
    found f;
    qsizetype at = 0;
    if (!from_start) {
        at = window.indexOf('\n') + 1;
        if (at == 0)
            return f;
    }
    const QDate first_date = date_of(window.sliced(at));
    f.complete = from_start || (first_date.isValid() && first_date < date);
    for (qsizetype line = at; line < window.size();) {
        const qsizetype nl = window.indexOf('\n', line);
        if (nl < 0)
            break; // a line still being written
        if (window.sliced(line).startsWith(prefix)) {
            if (f.first < 0)
                f.first = line;
            f.end = nl + 1;
        }
        line = nl + 1;
    }
    return f;
}

} // namespace

QJsonObject day_seal(const QByteArray& log_path, QDate date, seal_place& known) {
#ifdef Q_OS_UNIX
    const read_only_file log(log_path);
    const qint64 size = log.size();
    if (size <= 0 || !date.isValid())
        return {};
    const QByteArray prefix = date.toString(QStringLiteral("MM-dd-yyyy")).toLatin1() + '\t';
    QByteArray window;
    found f;
    qint64 from = 0;
    for (qint64 length = first_window;; length *= 2) {
        from = std::max<qint64>(0, size - length);
        if (!log.read(from, window, size - from))
            return {};
        f = find_day(window, from == 0, prefix, date);
        if (f.complete || from == 0)
            break;
    }
    if (f.first < 0)
        return {};
    const qint64 first_byte = from + f.first;
    const qint64 end_byte = from + f.end;
    const QByteArrayView lines = QByteArrayView(window).sliced(f.first, f.end - f.first);
    // Line numbers counted on from the last seal where it still ends a line.
    QByteArray last_byte;
    const bool on = known.end_byte > 0 && known.end_byte <= first_byte &&
                    log.read(known.end_byte - 1, last_byte, 1) && last_byte == "\n";
    const std::int64_t before = log.count_lines(on ? known.end_byte : 0, first_byte);
    if (before < 0)
        return {};
    const std::int64_t first_line = (on ? known.last_line : 0) + before + 1;
    const std::int64_t count = lines.count('\n');
    known = {end_byte, first_line + count - 1};
    return {
        {QStringLiteral("date"), date.toString(Qt::ISODate)},
        {QStringLiteral("first_line"), qint64(first_line)},
        {QStringLiteral("last_line"), qint64(first_line + count - 1)},
        {QStringLiteral("first_byte"), first_byte},
        {QStringLiteral("end_byte"), end_byte},
        {QStringLiteral("lines"), qint64(count)},
        {QStringLiteral("sha256"),
         QString::fromLatin1(QCryptographicHash::hash(lines, QCryptographicHash::Sha256).toHex())}};
#else
    Q_UNUSED(log_path);
    Q_UNUSED(date);
    Q_UNUSED(known);
    return {};
#endif
}

seal_place last_seal(const QByteArray& journal_tail) {
    const QList<QByteArray> lines = journal_tail.split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (!it->contains("\"event\":\"seal\""))
            continue;
        const QJsonObject o = QJsonDocument::fromJson(*it).object();
        return {o.value(QStringLiteral("end_byte")).toInteger(),
                o.value(QStringLiteral("last_line")).toInteger()};
    }
    return {};
}

} // namespace alerts
