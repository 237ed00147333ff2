#pragma once

#include "rules/result.h"

#include <QByteArray>
#include <QString>

// Where a report goes. "-" is standard output. A character device or a FIFO
// is written into as it is, never replaced by a file of the same name; a
// FIFO without a reader, a socket, a block device or a folder is refused
// with the reason. A regular file is replaced whole (written beside it and
// renamed over it), through a symbolic link to its target, but only when it
// may be written: a read-only file is refused, even where the folder would
// allow it to be replaced, and even for root.
namespace history {

rules::result write_to_target(const QString& path, const QByteArray& bytes);

} // namespace history
