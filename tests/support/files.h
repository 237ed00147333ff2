#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstddef>

// Raw bytes in and out of files, for the tests and benchmarks.

// The whole file, or nothing when it cannot be read.
inline QByteArray read_file(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool write_file(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A byte literal with its NUL bytes.
template <std::size_t n> QByteArray bytes_of(const char (&s)[n]) {
    return QByteArray(s, n - 1);
}
