#include "rules/mqtt_fields.h"

#include <QCryptographicHash>
#include <QStringList>

namespace rules::mqtt {

namespace {

// MQTT's longest string, in bytes of UTF-8.
constexpr qsizetype longest_string = 65535;

QString kept_to(QStringView text, qsizetype most) {
    QString out;
    for (const QChar c : text) {
        if (out.size() >= most)
            break;
        const bool plain = c.unicode() < 128 && (c.isLetterOrNumber() || c == u'-' || c == u'_');
        if (plain)
            out += c;
        else if (!out.isEmpty() && !out.endsWith(u'_'))
            out += u'_';
    }
    while (out.endsWith(u'_'))
        out.chop(1);
    return out;
}

// Cyrillic letters as they are usually written in Latin ones (Russian,
// Ukrainian, Belarusian); other letters lose their accents or are dropped.
QString latin(QChar c) {
    static const char* const cyrillic[] = {
        "a", "b", "v", "g", "d", "e",  "zh", "z",  "i",  "i",    "k", "l", "m", "n", "o",  "p",
        "r", "s", "t", "u", "f", "kh", "ts", "ch", "sh", "shch", "",  "y", "",  "e", "iu", "ia"};
    const char16_t u = c.toLower().unicode();
    if (u >= 0x0430 && u <= 0x044F)
        return QString::fromLatin1(cyrillic[u - 0x0430]);
    switch (u) {
    case 0x0451: // yo
        return QStringLiteral("e");
    case 0x0454: // ye
        return QStringLiteral("ie");
    case 0x0456: // i
    case 0x0457: // yi
        return QStringLiteral("i");
    case 0x0491: // ghe with upturn
        return QStringLiteral("g");
    case 0x045E: // short u
        return QStringLiteral("u");
    default:
        break;
    }
    QString plain;
    for (const QChar d : QString(c).normalized(QString::NormalizationForm_KD))
        if (d.unicode() < 128)
            plain += d;
    return plain;
}

QString transliterated(QStringView text) {
    QString out;
    for (const QChar c : text)
        out += c.unicode() < 128 ? QString(c) : latin(c);
    return out;
}

} // namespace

QString port_problem(const QString& text) {
    if (text.isEmpty())
        return {};
    bool ok = false;
    const int port = text.toInt(&ok);
    return ok && port > 0 && port < 65536 ? QString()
                                          : QStringLiteral("is not a port number (1 to 65535)");
}

QString topic_problem(const QString& topic, qsizetype suffix) {
    if (topic.contains(QChar(u'\0')))
        return QStringLiteral("holds a zero character");
    if (topic.contains(u'+') || topic.contains(u'#'))
        return QStringLiteral("holds a wildcard (+ or #)");
    if (topic.toUtf8().size() + suffix > longest_string)
        return QStringLiteral("is longer than MQTT allows (%1 bytes)").arg(longest_string - suffix);
    return {};
}

QString text_problem(const QString& text) {
    if (text.contains(QChar(u'\0')))
        return QStringLiteral("holds a zero character");
    if (text.toUtf8().size() > longest_string)
        return QStringLiteral("is longer than MQTT allows (%1 bytes)").arg(longest_string);
    return {};
}

QString make_station_id(const QString& host_name, const QString& folder_path) {
    // Each part cut to a length that still reads well in a topic list.
    QString host = kept_to(host_name, 32);
    if (host.isEmpty())
        host = QStringLiteral("station");
    // The last two folders read as where the station is; the hash of the
    // whole path tells apart folders whose names read alike
    // (/srv/fridge/kestrova and /srv/freezer/kestrova, two Cyrillic names).
    const QStringList parts = folder_path.split(u'/', Qt::SkipEmptyParts);
    const QString tail = parts.mid(std::max<qsizetype>(parts.size() - 2, 0)).join(u'-');
    const QString folder = kept_to(transliterated(tail), 32);
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(folder_path.toUtf8(), QCryptographicHash::Sha256).toHex().left(6));
    return host + u'-' + (folder.isEmpty() ? QString() : folder + u'-') + hash;
}

} // namespace rules::mqtt
