#include "settings/inifile.h"

#include "logging/logging.h"
#include "rules/profile_text.h"
#include "rules/text.h"
#include "rules/windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <functional>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace settings {

namespace {

const QString vez = QStringLiteral("VEZ");

struct loaded_file {
    inifile::file_state state = inifile::file_state::missing;
    QByteArray bytes;
    QString problem; // why an unreadable file cannot be read
};

loaded_file unreadable(const QString& problem) {
    return {inifile::file_state::unreadable, {}, problem};
}

QString too_large() {
    return QStringLiteral("larger than %1 bytes").arg(inifile::max_file_size);
}

// The whole file, or why not. Only regular files are opened: a FIFO or a
// device would block or never end.
loaded_file load(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (!info.isFile())
        return unreadable(QStringLiteral("not a regular file"));
    if (info.size() > inifile::max_file_size)
        return unreadable(too_large());
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QFileInfo::exists(path) ? unreadable(f.errorString()) : loaded_file{};
    // Read one byte past the size seen so that a file that grew since the
    // check is still caught; asking for the whole limit would allocate it.
    QByteArray bytes = f.read(info.size() + 1);
    if (bytes.size() > info.size() && !f.atEnd())
        bytes += f.read(inifile::max_file_size + 1 - bytes.size());
    if (f.error() != QFileDevice::NoError)
        return unreadable(f.errorString());
    if (bytes.size() > inifile::max_file_size)
        return unreadable(too_large());
    return {inifile::file_state::readable, std::move(bytes), {}};
}

// The platform's functions take zero-terminated text: nothing after a zero
// character reaches the file or the result.
QStringView before_zero(QStringView s) {
    const qsizetype z = s.indexOf(QChar(u'\0'));
    return z < 0 ? s : s.first(z);
}

QString cut_and_trim(QStringView s, qsizetype max_length) {
    s = before_zero(s);
    if (s.size() > max_length) {
        s.truncate(max_length);
        if (!s.isEmpty() && s.back().isHighSurrogate())
            s.chop(1);
    }
    return rules::trimmed(s, [](QChar c) { return c == u' '; }).toString();
}

// A value must stay on its line: line breaks would start new lines (or
// sections) in the file, so they are written as "?" like any other
// character that the file cannot hold.
QByteArray encode_value(QStringView value) {
    QByteArray bytes = rules::to_windows1252(before_zero(value));
    bytes.replace('\r', '?').replace('\n', '?');
    return bytes;
}

bool sync_to_disk(QFileDevice& file) {
#ifdef Q_OS_WIN
    return ::_commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

// The new content from the old; nullopt when there is nothing to save.
using edit = std::function<std::optional<QByteArray>(QByteArray content)>;

// Done when saved or when nothing was to be saved, else why the file was
// left as it was.
rules::result save(const QString& file_path, const edit& change) {
    loaded_file file = load(file_path);
    // A file that cannot be read is never replaced: what it holds would be
    // lost. Neither is one that was made read-only.
    if (file.state == inifile::file_state::unreadable)
        return rules::result::failure(
            QStringLiteral("it cannot be read (%1), so it is kept as it is").arg(file.problem));
    if (file.state == inifile::file_state::readable && !QFileInfo(file_path).isWritable())
        return rules::result::failure(QStringLiteral("the file is read-only"));

    const std::optional<QByteArray> changed = change(std::move(file.bytes));
    if (!changed)
        return {};
    const QByteArray& content = *changed;
    // The file must stay readable by the next start.
    if (content.size() > inifile::max_file_size)
        return rules::result::failure(QStringLiteral("the file would become %1").arg(too_large()));

#ifdef Q_OS_UNIX
    struct stat old {};
    const bool replacing = file.state == inifile::file_state::readable &&
                           ::stat(QFile::encodeName(file_path).constData(), &old) == 0;
#endif
    // Temporary file beside the old one, synced, renamed over it: a crash
    // leaves the old file or the new one, never a mix. Unbuffered, because
    // QSaveFile (Qt 6.4) renames even after the flush of its buffer failed,
    // and it does not sync the file itself. An uncommitted QSaveFile
    // removes its temporary file.
    QSaveFile out(file_path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return rules::result::failure(out.errorString());
#ifdef Q_OS_UNIX
    // The new file is created by whoever saves: root saving another user's
    // file must hand it back. Without the right to, the file is ours anyway.
    if (replacing && ((::fchown(out.handle(), old.st_uid, old.st_gid) != 0 && errno != EPERM) ||
                      ::fchmod(out.handle(), old.st_mode & 07777) != 0))
        return rules::result::failure(rules::system_reason(errno));
#endif
    // A write that the file system cuts short sets no error on the file,
    // only errno.
    errno = 0;
    if (out.write(content) != content.size())
        return rules::result::failure(
            out.error() != QFileDevice::NoError ? out.errorString() : rules::system_reason(errno));
    if (!sync_to_disk(out))
        return rules::result::failure(rules::system_reason(errno));
    if (!out.commit())
        return rules::result::failure(out.errorString());
    return {};
}

} // namespace

QString inifile::path() const {
    const QString dir = ini_dir_.isEmpty() ? QDir::currentPath() : ini_dir_;
    return dir + QDir::separator() + QStringLiteral("Tarnwick.INI");
}

QString inifile::ini_read(const QString& key, const QString& default_value) const {
    return read_key(vez, key, default_value, value_limit);
}

QString inifile::read_key(const QString& section, const QString& key,
                          const QString& default_value) const {
    return read_key(section, key, default_value, value_limit);
}

QString inifile::read_key(const QString& section, const QString& key, const QString& default_value,
                          qsizetype max_length) const {
    const loaded_file file = load(path());
    if (file.state == file_state::readable) {
        const auto value =
            rules::profile::find_value(file.bytes, {.section = rules::to_windows1252(section),
                                                    .key = rules::to_windows1252(key)});
        if (value)
            return cut_and_trim(rules::from_windows1252(*value), max_length);
    }
    return cut_and_trim(default_value, max_length);
}

std::optional<QString> inifile::read_whole(const QString& section, const QString& key) const {
    const loaded_file file = load(path());
    if (file.state != file_state::readable)
        return std::nullopt;
    const auto value = rules::profile::find_value(
        file.bytes, {.section = rules::to_windows1252(section), .key = rules::to_windows1252(key)});
    if (!value)
        return std::nullopt;
    return rules::trimmed(QStringView(rules::from_windows1252(*value)),
                          [](QChar c) { return c == u' '; })
        .toString();
}

rules::result inifile::ini_write(const QString& key, const QString& value) {
    return ini_write_all({{key, value}});
}

rules::result inifile::ini_write_all(const entries& key_values) {
    return write_keys(vez, key_values);
}

rules::result inifile::write_keys(const QString& section, const entries& key_values) {
    return save_reported([&](QByteArray content) -> std::optional<QByteArray> {
        bool changed = false;
        for (const auto& [key, value] : key_values) {
            const QByteArray k = rules::to_windows1252(key);
            if (!rules::profile::is_storable_key(k))
                continue;
            content = rules::profile::with_value(
                content, {.section = rules::to_windows1252(section), .key = k},
                encode_value(value));
            changed = true;
        }
        return changed ? std::optional<QByteArray>(std::move(content)) : std::nullopt;
    });
}

rules::result inifile::write_sections(const std::vector<section_values>& sections) {
    return save_reported([&](QByteArray content) -> std::optional<QByteArray> {
        const QByteArray before = content;
        for (const section_values& section : sections) {
            std::vector<QByteArray> known;
            for (const QString& k : section.known)
                known.push_back(rules::to_windows1252(k));
            rules::profile::key_values values;
            for (const auto& [key, value] : section.values) {
                const QByteArray k = rules::to_windows1252(key);
                if (rules::profile::is_storable_key(k))
                    values.emplace_back(k, encode_value(value));
            }
            content = rules::profile::with_section(content, rules::to_windows1252(section.name),
                                                   known, values, rules::to_windows1252(vez));
        }
        return content == before ? std::nullopt : std::optional<QByteArray>(std::move(content));
    });
}

rules::result
inifile::save_reported(const std::function<std::optional<QByteArray>(QByteArray)>& change) {
    const QString file_path = path();
    rules::result saved = save(file_path, change);
    if (!saved)
        qCCritical(logging::log_settings).noquote()
            << QStringLiteral("settings not saved: %1: %2")
                   .arg(QDir::toNativeSeparators(file_path), saved.why());
    else
        qCDebug(logging::log_settings).noquote()
            << QStringLiteral("saved %1").arg(QDir::toNativeSeparators(file_path));
    return saved;
}

inifile::file_state inifile::state() const {
    return load(path()).state;
}

} // namespace settings
