#include "rules/alarm_settings.h"

namespace rules::alarms {

namespace {

constexpr int day_seconds = 24 * 60 * 60;
constexpr int week_minutes = 7 * 24 * 60;
constexpr int name_length = 64;

bool is_name(const QString& key) {
    return key == QLatin1String("name1") || key == QLatin1String("name2");
}

} // namespace

episode_settings alarm_settings::episode(int sensor) const {
    episode_settings e;
    e.delay = delay[sensor == 2 ? 1 : 0];
    e.hold = hold;
    e.remind = remind;
    e.kind_spacing = kind_spacing;
    return e;
}

const QStringList& alarm_keys() {
    static const QStringList keys = {QStringLiteral("delay1"), QStringLiteral("delay2"),
                                     QStringLiteral("hold"),   QStringLiteral("remind"),
                                     QStringLiteral("name1"),  QStringLiteral("name2"),
                                     QStringLiteral("command")};
    return keys;
}

QString alarm_setting_problem(const QString& key, const QString& text) {
    if (text.isEmpty())
        return {};
    if (is_name(key))
        return text.size() > name_length
                   ? QStringLiteral("a name of at most %1 characters").arg(name_length)
                   : QString();
    if (key == QLatin1String("command"))
        return {};
    const bool minutes = key == QLatin1String("remind");
    const int most = minutes ? week_minutes : day_seconds;
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < 0 || n > most)
        return QStringLiteral("a whole number of %1 from 0 to %2")
            .arg(minutes ? QStringLiteral("minutes") : QStringLiteral("seconds"))
            .arg(most);
    return {};
}

alarm_settings read_alarm_settings(const std::function<std::optional<QString>(const QString&)>& key,
                                   QStringList* problems) {
    alarm_settings s;
    for (const QString& k : alarm_keys()) {
        const QString text = key(k).value_or(QString());
        if (const QString problem = alarm_setting_problem(k, text); !problem.isEmpty()) {
            if (problems)
                *problems << QStringLiteral("[Alarm] %1=%2 is not %3; the default stands")
                                 .arg(k, text, problem);
            continue;
        }
        if (text.trimmed().isEmpty())
            continue;
        const int n = text.trimmed().toInt();
        if (k == QLatin1String("delay1"))
            s.delay[0] = std::chrono::seconds(n);
        else if (k == QLatin1String("delay2"))
            s.delay[1] = std::chrono::seconds(n);
        else if (k == QLatin1String("hold"))
            s.hold = std::chrono::seconds(n);
        else if (k == QLatin1String("remind"))
            s.remind = std::chrono::minutes(n);
        else if (k == QLatin1String("name1"))
            s.name[0] = text.trimmed();
        else if (k == QLatin1String("name2"))
            s.name[1] = text.trimmed();
        else
            s.command = text.trimmed();
    }
    return s;
}

} // namespace rules::alarms
