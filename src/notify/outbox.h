#pragma once

#include "rules/mail_message.h"
#include "rules/result.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace notify {

// The messages that wait to be sent, one file each in a folder of their own
// beside the data log, named so that their order is the order they were
// made. A file is written under a temporary name, synced, then renamed: a
// message is either whole or absent, also after a crash.
class outbox {
public:
    explicit outbox(QString dir);

    const QString& dir() const { return dir_; }
    // Keeps `m`; the name of its file, or why it could not be kept.
    rules::result put(const rules::mail::message& m, QString* name);
    // The files that wait, oldest first.
    QStringList waiting() const;
    std::optional<rules::mail::message> read(const QString& name) const;
    void remove(const QString& name);

private:
    QString dir_;
    quint64 count_ = 0;
};

} // namespace notify
