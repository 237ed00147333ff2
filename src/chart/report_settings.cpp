#include "chart/report_settings.h"

#include "rules/journal_rules.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonValue>
#include <algorithm>

namespace chart {

namespace {

std::optional<double> number(const QJsonValue& v) {
    return v.isDouble() ? std::optional<double>(v.toDouble()) : std::nullopt;
}

QString value_text(const QJsonValue& v) {
    if (v.isBool())
        return v.toBool() ? QStringLiteral("on") : QStringLiteral("off");
    if (v.isDouble())
        return QString::number(v.toDouble());
    if (v.isString())
        return v.toString();
    return QStringLiteral("not set");
}

// One setting by its flat name; false for one that judges nothing.
bool apply(settings_state& s, const QString& id, const QJsonValue& v) {
    const QChar last = id.isEmpty() ? QChar() : id.back();
    const std::size_t n = last == u'2' ? 1 : 0;
    const QString base = last == u'1' || last == u'2' ? id.chopped(1) : id;
    if (id == QLatin1String("period") && v.toInteger() > 0)
        s.period = std::uint32_t(std::min<qint64>(v.toInteger(), 86400));
    else if (base == QLatin1String("alarm_switch"))
        s.alarms[n].on = v.toBool();
    else if (base == QLatin1String("high"))
        s.alarms[n].high = number(v);
    else if (base == QLatin1String("low"))
        s.alarms[n].low = number(v);
    else if (base == QLatin1String("delay"))
        s.delay[n] = std::max<qint64>(0, v.toInteger());
    else if (id == QLatin1String("hold"))
        s.hold = std::max<qint64>(0, v.toInteger());
    else if (base == QLatin1String("name") && !v.toString().isEmpty())
        s.name[n] = v.toString();
    else
        return false;
    return true;
}

std::optional<std::int64_t> time_of(const QJsonObject& line) {
    const QDateTime t =
        QDateTime::fromString(line.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
    return t.isValid() ? std::optional<std::int64_t>(t.toSecsSinceEpoch()) : std::nullopt;
}

alarm_note alarm_of(const QJsonObject& l, const QString& event, std::int64_t time) {
    alarm_note a;
    a.time = time;
    a.sensor = l.value(QStringLiteral("sensor")).toInt() == 2 ? 1 : 0;
    a.kind = l.value(QStringLiteral("kind")).toString();
    const auto text = [&l](const char* key) { return l.value(QLatin1String(key)).toString(); };
    if (event == QLatin1String("told")) {
        a.what = QStringLiteral("told");
        const bool ok = l.value(QStringLiteral("ok")).toBool();
        a.detail =
            QStringLiteral("%1 of %2: %3")
                .arg(text("channel"), text("phase"),
                     ok ? QStringLiteral("ok") : QStringLiteral("failed, ") + text("reason"));
        return a;
    }
    a.what = text("phase");
    if (a.what == QLatin1String("acknowledged")) {
        a.detail = QStringLiteral("by %1 (%2)").arg(text("by"), text("via"));
        if (!text("comment").isEmpty())
            a.detail += QStringLiteral(": \u201C%1\u201D").arg(text("comment"));
    } else if (l.contains(QStringLiteral("reading")) &&
               !l.value(QStringLiteral("reading")).isNull()) {
        a.detail = QStringLiteral("reading %1").arg(l.value(QStringLiteral("reading")).toInt());
    }
    if (l.value(QStringLiteral("switched_off")).toBool())
        a.detail = QStringLiteral("alarm switched off");
    return a;
}

day_seal seal_of(const QJsonObject& l) {
    day_seal s;
    s.date = QDate::fromString(l.value(QStringLiteral("date")).toString(), Qt::ISODate);
    s.first_line = l.value(QStringLiteral("first_line")).toInteger();
    s.last_line = l.value(QStringLiteral("last_line")).toInteger();
    s.first_byte = l.value(QStringLiteral("first_byte")).toInteger();
    s.end_byte = l.value(QStringLiteral("end_byte")).toInteger();
    s.sha256 = l.value(QStringLiteral("sha256")).toString().toLatin1();
    return s;
}

class journal_reader {
public:
    explicit journal_reader(const settings_state& today) { out_.stretches.push_back({{}, today}); }

    void line(const QJsonObject& l) {
        const std::optional<std::int64_t> time = time_of(l);
        if (!time)
            return;
        if (!out_.first)
            out_.first = *time;
        const QString event = l.value(QStringLiteral("event")).toString();
        if (event == QLatin1String("start") || event == QLatin1String("stop")) {
            settings_state base = out_.stretches.back().state;
            if (!base.recorded)
                base = settings_state{};
            settings_state s = settings_from(l.value(QStringLiteral("settings")).toObject(), base);
            in_force(*time, s);
        } else if (event == QLatin1String("setting")) {
            const QString id = rules::journal::setting_id(l);
            settings_state s = out_.stretches.back().state;
            s.recorded = true;
            const QJsonValue to = l.value(QStringLiteral("to"));
            if (!apply(s, id, to))
                return;
            out_.changes.push_back({*time, id, value_text(l.value(QStringLiteral("from"))),
                                    value_text(to), l.value(QStringLiteral("via")).toString()});
            in_force(*time, s);
        } else if (event == QLatin1String("alarm") || event == QLatin1String("told")) {
            out_.alarms.push_back(alarm_of(l, event, *time));
        } else if (event == QLatin1String("seal")) {
            out_.seals.push_back(seal_of(l));
        }
    }

    journal_record take() {
        // The latest seal of a day counts.
        std::stable_sort(out_.seals.begin(), out_.seals.end(),
                         [](const day_seal& a, const day_seal& b) { return a.date < b.date; });
        std::vector<day_seal> last;
        for (const day_seal& s : out_.seals) {
            if (!last.empty() && last.back().date == s.date)
                last.back() = s;
            else
                last.push_back(s);
        }
        out_.seals = std::move(last);
        return std::move(out_);
    }

private:
    // A clock set back in the journal does not reorder the stretches.
    void in_force(std::int64_t time, const settings_state& s) {
        const std::int64_t from = std::max(time, out_.stretches.back().from);
        if (from == out_.stretches.back().from && out_.stretches.size() > 1)
            out_.stretches.back().state = s;
        else
            out_.stretches.push_back({from, s});
    }

    journal_record out_;
};

} // namespace

settings_state settings_from(const QJsonObject& settings, settings_state base) {
    for (auto it = settings.constBegin(); it != settings.constEnd(); ++it)
        apply(base, it.key(), it.value());
    base.recorded = true;
    return base;
}

journal_record read_journal(QByteArrayView bytes, const settings_state& today) {
    journal_reader reader(today);
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            end = bytes.size(); // a last line without its end is not yet whole
        else {
            const QJsonDocument d =
                QJsonDocument::fromJson(bytes.sliced(at, end - at).toByteArray());
            if (d.isObject())
                reader.line(d.object());
        }
        at = end + 1;
    }
    return reader.take();
}

const settings_state& state_at(const journal_record& j, std::int64_t time, std::size_t& hint) {
    const auto& s = j.stretches;
    if (hint >= s.size() || s[hint].from > time)
        hint = 0;
    while (hint + 1 < s.size() && s[hint + 1].from <= time)
        ++hint;
    return s[hint].state;
}

} // namespace chart
