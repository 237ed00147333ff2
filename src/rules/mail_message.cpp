#include "rules/mail_message.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

namespace rules::mail {

namespace {

// "=?UTF-8?B?…?=" words of at most 45 bytes of text each, split between
// characters, for a header that is not plain ASCII.
QString encoded(const QString& text) {
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() >= 0x20 && c.unicode() < 0x7f;
    if (ascii)
        return text;
    QStringList words;
    QByteArray chunk;
    const auto flush = [&] {
        if (!chunk.isEmpty())
            words << QStringLiteral("=?UTF-8?B?%1?=").arg(QString::fromLatin1(chunk.toBase64()));
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray c = text.mid(i, n).toUtf8();
        if (chunk.size() + c.size() > 45)
            flush();
        chunk += c;
        i += n - 1;
    }
    flush();
    return words.join(u' ');
}

QString one_line(const QString& text) {
    QString t = text;
    t.replace(u'\r', u' ').replace(u'\n', u' ');
    return t;
}

} // namespace

QString make_id(const QString& host, const QDateTime& made, quint64 count) {
    QString h;
    for (const QChar c : host)
        if ((c.isLetterOrNumber() && c.unicode() < 0x80) || c == u'-' || c == u'.')
            h += c;
    return QStringLiteral("kestrova.%1.%2.%3@%4")
        .arg(made.toMSecsSinceEpoch())
        .arg(count)
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))
        .arg(h.isEmpty() ? QStringLiteral("localhost") : h);
}

QByteArray to_file(const message& m) {
    const QJsonObject o{{QStringLiteral("id"), m.id},
                        {QStringLiteral("thread"), m.thread},
                        {QStringLiteral("subject"), m.subject},
                        {QStringLiteral("body"), m.body},
                        {QStringLiteral("png"), QString::fromLatin1(m.png.toBase64())},
                        {QStringLiteral("png_name"), m.png_name},
                        {QStringLiteral("made"), m.made.toString(Qt::ISODateWithMs)},
                        {QStringLiteral("sensor"), m.sensor},
                        {QStringLiteral("phase"), m.phase}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<message> from_file(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    message m;
    m.id = o.value(QStringLiteral("id")).toString();
    m.thread = o.value(QStringLiteral("thread")).toString();
    m.subject = o.value(QStringLiteral("subject")).toString();
    m.body = o.value(QStringLiteral("body")).toString();
    m.png = QByteArray::fromBase64(o.value(QStringLiteral("png")).toString().toLatin1());
    m.png_name = o.value(QStringLiteral("png_name")).toString();
    m.made = QDateTime::fromString(o.value(QStringLiteral("made")).toString(), Qt::ISODateWithMs);
    m.sensor = o.value(QStringLiteral("sensor")).toInt();
    m.phase = o.value(QStringLiteral("phase")).toString();
    if (m.id.isEmpty() || !m.made.isValid())
        return std::nullopt;
    return m;
}

QString late_note(std::chrono::seconds late, const QString& why) {
    using namespace std::chrono;
    if (late < minutes(1))
        return {};
    const auto s = late.count();
    const QString how = late < hours(1)    ? QStringLiteral("%1 min").arg(s / 60)
                        : late < hours(48) ? QStringLiteral("%1 h").arg(s / 3600)
                                           : QStringLiteral("%1 days").arg(s / 86400);
    return QStringLiteral("Sent %1 late: %2.").arg(how, why);
}

QString mail_date(const QDateTime& t) {
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int offset = t.offsetFromUtc() / 60;
    const QDate d = t.date();
    return QStringLiteral("%1, %2 %3 %4 %5 %6%7%8")
        .arg(QString::fromLatin1(days[d.dayOfWeek() - 1]))
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(QString::fromLatin1(months[d.month() - 1]))
        .arg(d.year())
        .arg(t.time().toString(QStringLiteral("HH:mm:ss")))
        .arg(offset < 0 ? QStringLiteral("-") : QStringLiteral("+"))
        .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
        .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
}

QStringList headers(const message& m, const mail_settings& s) {
    QStringList h{QStringLiteral("Date: ") + mail_date(m.made), QStringLiteral("From: ") + s.from,
                  QStringLiteral("To: ") + s.to.join(QStringLiteral(", ")),
                  QStringLiteral("Subject: ") + encoded(one_line(m.subject)),
                  QStringLiteral("Message-ID: <%1>").arg(m.id)};
    if (!m.thread.isEmpty() && m.thread != m.id) {
        h << QStringLiteral("In-Reply-To: <%1>").arg(m.thread);
        h << QStringLiteral("References: <%1>").arg(m.thread);
    }
    h << QStringLiteral("Auto-Submitted: auto-generated");
    return h;
}

} // namespace rules::mail
