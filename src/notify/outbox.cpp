#include "notify/outbox.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace notify {

namespace {

const QString suffix = QStringLiteral(".eml.json");

// The folder's own entry, so that a rename survives a power cut.
void sync_folder([[maybe_unused]] const QString& dir) {
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
#endif
}

} // namespace

outbox::outbox(QString dir)
    : dir_(std::move(dir)) {}

rules::result outbox::put(const rules::mail::message& m, QString* name) {
    if (!QDir().mkpath(dir_))
        return rules::result::failure(QStringLiteral("cannot make the folder %1").arg(dir_));
    const QString file = QStringLiteral("%1-%2%3")
                             .arg(m.made.toMSecsSinceEpoch(), 15, 10, QLatin1Char('0'))
                             .arg(count_++, 6, 10, QLatin1Char('0'))
                             .arg(suffix);
    QSaveFile out(QDir(dir_).filePath(file));
    const QByteArray bytes = rules::mail::to_file(m);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush())
        return rules::result::failure(out.errorString());
#ifdef Q_OS_UNIX
    if (::fsync(out.handle()) != 0)
        return rules::result::failure(QStringLiteral("the message could not be synced to disk"));
#endif
    if (!out.commit())
        return rules::result::failure(out.errorString());
    sync_folder(dir_);
    if (name)
        *name = file;
    return {};
}

QStringList outbox::waiting() const {
    return QDir(dir_).entryList({QStringLiteral("*") + suffix}, QDir::Files, QDir::Name);
}

std::optional<rules::mail::message> outbox::read(const QString& name) const {
    QFile in(QDir(dir_).filePath(name));
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    return rules::mail::from_file(in.readAll());
}

void outbox::remove(const QString& name) {
    QFile::remove(QDir(dir_).filePath(name));
}

} // namespace notify
