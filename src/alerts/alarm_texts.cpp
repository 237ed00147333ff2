#include "alerts/alarm_texts.h"

#include "rules/journal_rules.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace alerts {

using rules::alarms::alarm_kind;
using what = rules::alarms::episode_event::what;

namespace {

const QString deg = QStringLiteral("\u00BAC");

QString why_name(absence a) {
    switch (a) {
    case absence::silent:
        return QStringLiteral("silent");
    case absence::port_closed:
        return QStringLiteral("port_closed");
    case absence::no_reading:
        return QStringLiteral("no_reading");
    case absence::none:
        break;
    }
    return {};
}

} // namespace

QString phase_name(what w) {
    static const char* const names[] = {"pending",  "cancelled",    "raised",
                                        "reminded", "acknowledged", "changed",
                                        "clearing", "resumed",      "ended"};
    return QString::fromLatin1(names[static_cast<int>(w)]);
}

QString kind_name(alarm_kind k) {
    return k == alarm_kind::high  ? QStringLiteral("high")
           : k == alarm_kind::low ? QStringLiteral("low")
                                  : QStringLiteral("no_reading");
}

QString alarm_text(const alarm_event& e, std::chrono::milliseconds silent_for) {
    if (e.step.kind == alarm_kind::no_reading) {
        if (e.why == absence::silent)
            return QStringLiteral("%1: no reading for %2 s")
                .arg(e.name)
                .arg(std::chrono::duration_cast<std::chrono::seconds>(silent_for).count());
        if (e.why == absence::port_closed)
            return QStringLiteral("%1: no reading, the logger's port is closed").arg(e.name);
        return QStringLiteral("%1: no reading").arg(e.name);
    }
    const bool high = e.step.kind == alarm_kind::high;
    return QStringLiteral("%1 %2 alarm: %3%4 (threshold %5)")
        .arg(e.name, high ? QStringLiteral("high") : QStringLiteral("low"))
        .arg(e.step.reading.value_or(0))
        .arg(deg, e.threshold.isEmpty() ? QStringLiteral("none") : e.threshold + deg);
}

QString normal_text(const alarm_event& e) {
    return QStringLiteral("%1 back to normal: %2%3")
        .arg(e.name)
        .arg(e.step.reading.value_or(0))
        .arg(deg);
}

QString stopped_text(const alarm_event& e) {
    const QString was = e.step.kind == alarm_kind::high  ? QStringLiteral("was in high alarm")
                        : e.step.kind == alarm_kind::low ? QStringLiteral("was in low alarm")
                                                         : QStringLiteral("had no reading");
    return QStringLiteral("KESTROVA stopped; %1 %2").arg(e.name, was);
}

QJsonObject journal_fields(const alarm_event& e) {
    QJsonObject f{{QStringLiteral("sensor"), e.sensor},
                  {QStringLiteral("name"), e.name},
                  {QStringLiteral("phase"), phase_name(e.step.event)},
                  {QStringLiteral("kind"), kind_name(e.step.kind)}};
    f.insert(QStringLiteral("reading"),
             e.step.reading ? QJsonValue(*e.step.reading) : QJsonValue(QJsonValue::Null));
    f.insert(QStringLiteral("threshold"),
             e.step.threshold ? QJsonValue(*e.step.threshold) : QJsonValue(QJsonValue::Null));
    if (e.step.peak)
        f.insert(QStringLiteral("peak"), *e.step.peak);
    if (e.why != absence::none)
        f.insert(QStringLiteral("why"), why_name(e.why));
    if (e.since.isValid())
        f.insert(QStringLiteral("since"), rules::journal::time_text(e.since));
    if (e.step.switched_off)
        f.insert(QStringLiteral("switched_off"), true);
    if (e.step.event == what::acknowledged) {
        f.insert(QStringLiteral("via"), via_name(e.via));
        f.insert(QStringLiteral("by"), e.by);
        f.insert(QStringLiteral("comment"), e.comment);
    }
    return f;
}

QString local_user() {
#ifdef Q_OS_UNIX
    // The account, not what the environment claims (a service has no USER).
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
#endif
    const QString user = qEnvironmentVariable("USERNAME"); // Windows
    return user.isEmpty() ? QStringLiteral("operator") : user;
}

} // namespace alerts
