#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Raw bytes in and out of files, for the settings tests.
namespace settings_test {

inline QByteArray read_bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool write_bytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A byte literal with its NUL bytes.
template <std::size_t n> QByteArray bytes(const char (&s)[n]) {
    return QByteArray(s, n - 1);
}

} // namespace settings_test
