#include "rules/journal_rules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QList>

namespace rules::journal {

QString time_text(const QDateTime& t) {
    return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

namespace {

QByteArray json_string(const QString& s) {
    return QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
}

} // namespace

QByteArray line(const QDateTime& time, const QString& event, const QJsonObject& fields) {
    // The time and the event first, so that a line reads from its left.
    QByteArray out =
        "{\"time\":" + json_string(time_text(time)) + ",\"event\":" + json_string(event);
    QJsonObject rest = fields;
    rest.remove(QStringLiteral("time"));
    rest.remove(QStringLiteral("event"));
    if (!rest.isEmpty())
        out += ',' + QJsonDocument(rest).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    return out + "}\n";
}

QJsonObject setting_fields(const QString& id) {
    const QChar last = id.isEmpty() ? QChar() : id.back();
    const bool numbered = last == u'1' || last == u'2';
    const QString base = numbered ? id.chopped(1) : id;
    QJsonObject f;
    if (numbered && (base == QLatin1String("high") || base == QLatin1String("low"))) {
        f.insert(QStringLiteral("key"), QStringLiteral("threshold"));
        f.insert(QStringLiteral("limit"), base);
    } else if (numbered && base == QLatin1String("alarm_switch")) {
        f.insert(QStringLiteral("key"), base);
    } else {
        // The [Alarm] keys keep their own names, numbers and all.
        f.insert(QStringLiteral("key"), id);
        return f;
    }
    f.insert(QStringLiteral("sensor"), last == u'2' ? 2 : 1);
    return f;
}

QString setting_id(const QJsonObject& l) {
    QString key = l.value(QStringLiteral("key")).toString();
    const int sensor = l.value(QStringLiteral("sensor")).toInt();
    if (key == QLatin1String("threshold"))
        return l.value(QStringLiteral("limit")).toString() + QString::number(sensor);
    if (key == QLatin1String("alarm_switch"))
        return key + QString::number(sensor);
    return key;
}

run_before read_run_before(const QByteArray& tail) {
    run_before r;
    QList<QJsonObject> lines;
    for (const QByteArray& l : tail.split('\n')) {
        const QJsonDocument d = QJsonDocument::fromJson(l);
        if (d.isObject())
            lines << d.object();
    }
    // Back from the end: later setting lines over the last snapshot.
    QJsonObject changes;
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString event = it->value(QStringLiteral("event")).toString();
        if (event == QLatin1String("setting")) {
            const QString id = setting_id(*it);
            if (!changes.contains(id))
                changes.insert(id, it->value(QStringLiteral("to")));
            continue;
        }
        if (event != QLatin1String("start") && event != QLatin1String("stop"))
            continue;
        if (!r.any)
            r.clean = event == QLatin1String("stop");
        r.any = true;
        r.settings = it->value(QStringLiteral("settings")).toObject();
        break;
    }
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it)
        r.settings.insert(it.key(), it.value());
    return r;
}

QByteArray start_lines(const QDateTime& time, const QString& version, const QJsonObject& settings,
                       const run_before& before) {
    QJsonObject start{{QStringLiteral("version"), version}, {QStringLiteral("settings"), settings}};
    if (before.any)
        start.insert(QStringLiteral("clean_before"), before.clean);
    QByteArray out = line(time, QStringLiteral("start"), start);
    for (auto it = settings.constBegin(); it != settings.constEnd(); ++it) {
        if (!before.settings.contains(it.key()) || before.settings.value(it.key()) == it.value())
            continue;
        QJsonObject change = setting_fields(it.key());
        change.insert(QStringLiteral("from"), before.settings.value(it.key()));
        change.insert(QStringLiteral("to"), it.value());
        change.insert(QStringLiteral("via"), QStringLiteral("file"));
        out += line(time, QStringLiteral("setting"), change);
    }
    return out;
}

} // namespace rules::journal
