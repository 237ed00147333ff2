#pragma once

#include "rules/result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace settings {

// The settings module: one private-profile file "Tarnwick.INI" in the
// directory captured at start-up, section "VEZ", Windows-1252 text. Every
// operation is one complete access to the file; nothing is cached and no
// file stays open.
class inifile {
public:
    enum class file_state { missing, readable, unreadable };
    using entries = std::vector<std::pair<QString, QString>>;

    // Longest value a read gives back, in characters.
    static constexpr qsizetype value_limit = 127;
    // A settings file up to this size can always be written back, whatever
    // a save adds to it: the window's keys, and CR LF for each LF line end.
    static constexpr qsizetype max_settings_size = 1 << 20;
    // The largest file that is read, and the largest a save writes, so that
    // a saved file is read at the next start. A larger file is not a
    // settings file of ours; it is neither read nor replaced.
    static constexpr qsizetype max_file_size = 2 * max_settings_size + (64 << 10);

    inifile() = default;

    const QString& ini_dir() const { return ini_dir_; }
    void set_ini_dir(const QString& dir) { ini_dir_ = dir; }
    // ini_dir, the platform separator and "Tarnwick.INI". Before ini_dir is
    // set the current directory stands in for it: an empty ini_dir would
    // otherwise put the file in the filesystem root.
    QString path() const;

    // Section "VEZ". The stored value, or the default when file, section or
    // key is missing; cut to 127 characters, spaces removed at both ends.
    QString ini_read(const QString& key, const QString& default_value) const;
    rules::result ini_write(const QString& key, const QString& value);
    // Stores the entries in order with one replacement of the file; the
    // result is that of one ini_write per entry. The replacement keeps the
    // file's owner, group and permission bits. A save that cannot be made
    // leaves the file as it was, says why in one line on standard error and
    // answers it (done when saved or when nothing was to be saved).
    rules::result ini_write_all(const entries& key_values);
    // The same for any section.
    rules::result write_keys(const QString& section, const entries& key_values);

    // One section as a window writes it whole: the keys it knows, and the
    // values to store (in order; a key of `known` without a value goes).
    struct section_values {
        QString name;
        QStringList known;
        entries values;
    };
    // Rewrites the sections with one replacement of the file, as
    // ini_write_all does: keys the window does not know stay, comments
    // inside the sections go, and every other byte of the file stays as it
    // is; a new section goes before [VEZ]. Done when saved or when nothing
    // changed.
    rules::result write_sections(const std::vector<section_values>& sections);

    // Any section, with the rules of ini_read.
    QString read_key(const QString& section, const QString& key,
                     const QString& default_value) const;
    // As above with another length limit, for values that are not window
    // state (a device path must not be cut).
    QString read_key(const QString& section, const QString& key, const QString& default_value,
                     qsizetype max_length) const;
    // A value whole, blanks around it trimmed, for settings that must not be
    // cut silently: nothing is cut at a zero character or at any length, so
    // that the caller can refuse what it cannot take. Nullopt when the key is
    // not there or the file cannot be read.
    std::optional<QString> read_whole(const QString& section, const QString& key) const;

    file_state state() const;

private:
    rules::result save_reported(const std::function<std::optional<QByteArray>(QByteArray)>& change);

    QString ini_dir_;
};

} // namespace settings
