#pragma once

#include "rules/result.h"

#include <QByteArray>
#include <QString>

namespace datalog {

// Appends whole lines to the log. The file is open only within one append,
// and a line goes in with a single write; a write that the file system cuts
// short is taken back, so the file never holds half a line of ours. Only a
// regular file is written, and the open never waits (a FIFO would).
class data_log {
public:
    explicit data_log(QString dir);

    // Done, or the system's reason why not.
    rules::result append(const QByteArray& line);
    QString path() const;

private:
    QString dir_;
};

} // namespace datalog
