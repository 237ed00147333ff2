#pragma once

#include <QString>
#include <csignal>
#include <cstddef>

// Pseudo-terminals for playing the logger: the virtual logger and the tests
// write on the master side, the monitor opens the slave as its serial port.

struct raw_pty {
    int master = -1;
    int slave = -1;
    QString slave_path;
};

// Opens a pty whose slave passes every byte value unchanged (raw mode, 9600
// baud). Both descriptors are the caller's; master is -1 on failure.
raw_pty open_raw_pty();

// Writes all n bytes, going on after interruptions and a full buffer; gives
// up early when *stop becomes nonzero.
bool write_all(int fd, const char* p, std::size_t n,
               const volatile std::sig_atomic_t* stop = nullptr);
