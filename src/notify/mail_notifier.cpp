#include "notify/mail_notifier.h"

#include "alerts/alarm_texts.h"
#include "alerts/link_watch.h"
#include "notify/mail_courier.h"
#include "rules/journal_rules.h"

namespace notify {

using what = rules::alarms::episode_event::what;

namespace {

// The program's own ºC, as people read it in a mail: " °C".
QString degrees(QString text) {
    return text.replace(QStringLiteral("\u00BAC"), QStringLiteral(" \u00B0C"));
}

QString when(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss t")) : QStringLiteral("-");
}

} // namespace

mail_notifier::mail_notifier(const alerts::alarm_state& alarms, const alerts::link_watch& link,
                             mail_courier& courier, QString station, QString topic, QObject* parent)
    : QObject(parent)
    , alarms_(alarms)
    , link_(link)
    , courier_(courier)
    , station_(std::move(station))
    , topic_(std::move(topic)) {
    connect(&alarms_, &alerts::alarm_state::happened, this, &mail_notifier::on_alarm);
}

QString mail_notifier::subject(const alerts::alarm_event& e) const {
    const QString prefix = QStringLiteral("[KESTROVA %1] ").arg(station_);
    switch (e.step.event) {
    case what::reminded:
        return prefix + QStringLiteral("Reminder: ") +
               degrees(alerts::alarm_text(e, link_.limit()));
    case what::acknowledged:
        return prefix + QStringLiteral("%1 alarm acknowledged by %2").arg(e.name, e.by);
    case what::ended:
        return prefix + (e.step.switched_off ? QStringLiteral("%1 alarm switched off").arg(e.name)
                                             : degrees(alerts::normal_text(e)));
    default:
        return prefix + degrees(alerts::alarm_text(e, link_.limit()));
    }
}

QString mail_notifier::body(const alerts::alarm_event& e) const {
    const auto number = [](const std::optional<int>& v) {
        return v ? QStringLiteral("%1 \u00B0C").arg(*v) : QStringLiteral("no reading");
    };
    QStringList lines;
    lines << QStringLiteral("Station: %1").arg(station_)
          << QStringLiteral("Sensor: %1 (sensor %2)").arg(e.name).arg(e.sensor)
          << QStringLiteral("Reading: %1").arg(number(e.step.reading))
          << QStringLiteral("Threshold: %1")
                 .arg(e.threshold.isEmpty() ? QStringLiteral("none")
                                            : e.threshold + QStringLiteral(" \u00B0C"))
          << QStringLiteral("Since: %1").arg(when(e.since))
          << QStringLiteral("Peak: %1").arg(number(e.step.peak))
          << QStringLiteral("At: %1").arg(when(e.at));
    if (e.step.event == what::acknowledged) {
        lines << QStringLiteral("Acknowledged by: %1 (%2)").arg(e.by, alerts::via_name(e.via));
        lines << QStringLiteral("Corrective action: %1")
                     .arg(e.comment.isEmpty() ? QStringLiteral("none given") : e.comment);
    }
    if (e.step.event == what::raised || e.step.event == what::reminded) {
        QString how = QStringLiteral("To acknowledge it: in KESTROVA's Alarms window on %1 "
                                     "(Ctrl+L), or with the \"Acknowledge\" button of its desktop "
                                     "notification")
                          .arg(station_);
        if (!topic_.isEmpty())
            how += QStringLiteral(", or from anywhere by publishing %1 on %2/acknowledge")
                       .arg(e.sensor)
                       .arg(topic_);
        lines << QString() << how + u'.'
              << QStringLiteral("Reminders stop once it is acknowledged.");
    }
    lines << QString() << QStringLiteral("-- ")
          << QStringLiteral("KESTROVA on %1, %2").arg(station_, rules::journal::time_text(e.at));
    return lines.join(u'\n') + u'\n';
}

void mail_notifier::post(const alerts::alarm_event& e, const QString& subject, const QString& body,
                         bool chart, const QString& phase) {
    const QDateTime made = e.at.isValid() ? e.at : QDateTime::currentDateTime();
    rules::mail::message m;
    m.id = rules::mail::make_id(station_, made, ++count_);
    // A raise opens the alarm's thread; all that follows it (the last word
    // at a stop too, whose event is the standing raise) replies to it.
    QString& first = thread_[e.sensor == 2 ? 1 : 0];
    if ((e.step.event == what::raised && phase.isEmpty()) || first.isEmpty())
        first = m.id;
    m.thread = first;
    m.subject = subject;
    m.body = body;
    m.png_name = QStringLiteral("%1-last-6-hours.png")
                     .arg(e.name.isEmpty() ? QStringLiteral("chart") : e.name);
    m.made = made;
    m.sensor = e.sensor;
    m.phase = phase.isEmpty() ? alerts::phase_name(e.step.event) : phase;
    courier_.post({m, chart});
    if (e.step.event == what::ended)
        first.clear();
}

void mail_notifier::on_alarm(const alerts::alarm_event& e) {
    switch (e.step.event) {
    case what::raised:
    case what::reminded:
    case what::ended:
        post(e, subject(e), body(e), true);
        break;
    case what::acknowledged:
        post(e, subject(e), body(e), false);
        break;
    default:
        break;
    }
}

void mail_notifier::finish() {
    for (int sensor : {1, 2})
        if (const auto e = alarms_.standing(sensor))
            post(*e, QStringLiteral("[KESTROVA %1] ").arg(station_) + alerts::stopped_text(*e),
                 QStringLiteral("KESTROVA stopped on %1: nobody is told of %2 until it runs "
                                "again.\n\n")
                         .arg(station_, e->name) +
                     body(*e),
                 false, QStringLiteral("stopped"));
}

} // namespace notify
