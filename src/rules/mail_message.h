#pragma once

#include "rules/mail_settings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

// One e-mail of an alarm, as it waits in the outbox and as it goes out.
namespace rules::mail {

struct message {
    QString id;     // the Message-ID, without its angle brackets
    QString thread; // the id of the alarm's first message; empty: this one is it
    QString subject;
    QString body;
    QByteArray png; // the chart attached; empty: none
    QString png_name;
    QDateTime made; // when what it tells happened
    int sensor = 0; // 0: not of one sensor (a test message)
    QString phase;  // what it tells: raised, reminded, acknowledged, ended
    friend bool operator==(const message&, const message&) = default;
};

// A Message-ID unique to this station: the time in milliseconds, a count
// and a random part, at the station's host.
QString make_id(const QString& host, const QDateTime& made, quint64 count);

// The outbox file of a message, and back; nullopt for a file that is not one.
QByteArray to_file(const message& m);
std::optional<message> from_file(const QByteArray& bytes);

// "Sent 2 h late: the mail server did not answer." for a message that waited
// `late`; empty when it did not wait long enough to matter (a minute).
QString late_note(std::chrono::seconds late, const QString& why);

// The headers of `m` as they go to the server, "Name: value" each: Date,
// From, To, Subject (encoded where it is not ASCII), Message-ID, and for a
// message of an alarm begun earlier In-Reply-To and References.
QStringList headers(const message& m, const mail_settings& s);

// RFC 5322's date: "Wed, 09 Dec 2026 03:12:05 +0100".
QString mail_date(const QDateTime& t);

} // namespace rules::mail
