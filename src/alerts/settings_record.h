#pragma once

#include "alarm/sensor_role.h"
#include "rules/alarm_settings.h"

#include <QJsonObject>
#include <QMap>
#include <QObject>

class QCheckBox;

namespace controls {
class timer;
} // namespace controls

namespace alerts {

class alarm_judge;
class journal;

// Records in the journal every change of a setting that judges the
// readings: the sampling period, logging, each alarm switch, each settled
// threshold (typed, stepped or restored), and the [Alarm] keys, each with
// what it was, what it is, and where it was changed.
class settings_record : public QObject {
    Q_OBJECT
public:
    settings_record(const alarms::sensor_roles& sensors, const alarm_judge& judge,
                    QCheckBox* log_switch, const controls::timer& sample_timer, journal& out,
                    const rules::alarms::alarm_settings& alarm, QObject* parent = nullptr);

    // The settings in force now, as the journal's start and stop lines hold them.
    QJsonObject snapshot() const;
    // [Alarm] as the settings window wrote it.
    void alarm_settings_changed(const rules::alarms::alarm_settings& alarm);
    // [Mail] as written (the password only as whether there is one): as it
    // stood at the start, and as the settings window changed it.
    void set_mail(const QMap<QString, QString>& mail);
    void mail_settings_changed(const QMap<QString, QString>& mail);

private:
    void record(const QString& via);

    alarms::sensor_roles sensors_;
    const alarm_judge& judge_;
    QCheckBox* log_switch_;
    const controls::timer& sample_timer_;
    journal& out_;
    rules::alarms::alarm_settings alarm_;
    QMap<QString, QString> mail_;
    QJsonObject last_;
};

} // namespace alerts
