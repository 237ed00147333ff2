#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A pseudo-terminal pair: the program opens the slave as its serial port,
// the test plays the logger on the master. The slave is reached through a
// link of its own in a temporary folder, as a logger's /dev/serial/by-id
// name is: the serial port's lock file is named after it, so a stale lock
// that another user left for a /dev/pts number never stands in the way.
class pty_pair {
public:
    pty_pair();
    ~pty_pair();
    pty_pair(const pty_pair&) = delete;
    pty_pair& operator=(const pty_pair&) = delete;

    bool ok() const { return master_ >= 0; }
    int master_fd() const { return master_; }
    const QString& slave_path() const { return slave_path_; }
    // Writes all bytes to the master side.
    bool write(const QByteArray& bytes);
    // Closes the master, as when the logger's cable is pulled.
    void hang_up();

private:
    QTemporaryDir dir_;
    int master_ = -1;
    QString slave_path_;
};
