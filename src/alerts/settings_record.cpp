#include "alerts/settings_record.h"

#include "alerts/alarm_judge.h"
#include "alerts/journal.h"
#include "controls/timer.h"
#include "rules/journal_rules.h"
#include "rules/mail_settings.h"

#include <QCheckBox>

namespace alerts {

namespace {

QJsonValue number(std::optional<double> n) {
    return n ? QJsonValue(*n) : QJsonValue(QJsonValue::Null);
}

} // namespace

settings_record::settings_record(const alarms::sensor_roles& sensors, const alarm_judge& judge,
                                 QCheckBox* log_switch, const controls::timer& sample_timer,
                                 journal& out, const rules::alarms::alarm_settings& alarm,
                                 QObject* parent)
    : QObject(parent)
    , sensors_(sensors)
    , judge_(judge)
    , log_switch_(log_switch)
    , sample_timer_(sample_timer)
    , out_(out)
    , alarm_(alarm)
    , last_(snapshot()) {
    const auto in_window = [this] { record(QStringLiteral("window")); };
    for (const alarms::sensor_role& s : sensors_) {
        connect(&judge_.high(s.number), &settled_text::settled, this, in_window);
        connect(&judge_.low(s.number), &settled_text::settled, this, in_window);
        connect(s.alarm_switch, &QCheckBox::stateChanged, this, in_window);
    }
    connect(log_switch_, &QCheckBox::stateChanged, this, in_window);
    connect(&sample_timer_, &controls::timer::interval_changed, this, in_window);
}

QJsonObject settings_record::snapshot() const {
    using std::chrono::duration_cast;
    using std::chrono::minutes;
    using std::chrono::seconds;
    QJsonObject s;
    s.insert(QStringLiteral("period"), sample_timer_.interval() / 1000);
    s.insert(QStringLiteral("logging"), log_switch_->isChecked());
    for (const alarms::sensor_role& r : sensors_) {
        const QString n = QString::number(r.number);
        s.insert(QStringLiteral("alarm_switch") + n, r.lamp_timer->enabled());
        s.insert(QStringLiteral("high") + n, number(judge_.high(r.number).number()));
        s.insert(QStringLiteral("low") + n, number(judge_.low(r.number).number()));
    }
    for (int i : {0, 1}) {
        const QString n = QString::number(i + 1);
        s.insert(QStringLiteral("delay") + n,
                 qint64(duration_cast<seconds>(alarm_.delay[std::size_t(i)]).count()));
        s.insert(QStringLiteral("name") + n, alarm_.name[std::size_t(i)]);
    }
    s.insert(QStringLiteral("hold"), qint64(duration_cast<seconds>(alarm_.hold).count()));
    s.insert(QStringLiteral("remind"), qint64(duration_cast<minutes>(alarm_.remind).count()));
    s.insert(QStringLiteral("command"), alarm_.command);
    for (const QString& key : rules::mail::mail_keys()) {
        const QString value = mail_.value(key).trimmed();
        s.insert(QStringLiteral("mail_") + key, key == QLatin1String("password")
                                                    ? QJsonValue(!mail_.value(key).isEmpty())
                                                    : QJsonValue(value));
    }
    return s;
}

void settings_record::alarm_settings_changed(const rules::alarms::alarm_settings& alarm) {
    alarm_ = alarm;
    record(QStringLiteral("settings"));
}

void settings_record::set_mail(const QMap<QString, QString>& mail) {
    mail_ = mail;
    last_ = snapshot();
}

void settings_record::mail_settings_changed(const QMap<QString, QString>& mail) {
    mail_ = mail;
    record(QStringLiteral("settings"));
}

void settings_record::record(const QString& via) {
    const QJsonObject now = snapshot();
    for (auto it = now.constBegin(); it != now.constEnd(); ++it) {
        if (last_.value(it.key()) == it.value())
            continue;
        QJsonObject change = rules::journal::setting_fields(it.key());
        change.insert(QStringLiteral("from"), last_.value(it.key()));
        change.insert(QStringLiteral("to"), it.value());
        change.insert(QStringLiteral("via"), via);
        out_.write(QStringLiteral("setting"), change);
    }
    last_ = now;
}

} // namespace alerts
