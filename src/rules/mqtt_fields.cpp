#include "rules/mqtt_fields.h"

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

QString make_station_id(const QString& host_name, const QString& folder_name) {
    // Each part cut to a length that still reads well in a topic list.
    QString host = kept_to(host_name, 32);
    if (host.isEmpty())
        host = QStringLiteral("station");
    const QString folder = kept_to(folder_name, 32);
    return folder.isEmpty() ? host : host + u'-' + folder;
}

} // namespace rules::mqtt
