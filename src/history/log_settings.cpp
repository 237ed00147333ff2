#include "history/log_settings.h"

#include "rules/alarm_settings.h"
#include "rules/log_rules.h"
#include "rules/numbers.h"
#include "settings/inifile.h"

#include <QLocale>

namespace history {

namespace {

QString key(const char* control, const char* property) {
    return QStringLiteral("frm_thermometer.%1.%2")
        .arg(QLatin1StringView(control), QLatin1StringView(property));
}

// A ".value" as the monitor's restore reads it: its leading number.
double value_of(const settings::inifile& ini, const char* control) {
    return rules::leading_number(ini.ini_read(key(control, "value"), QStringLiteral("0")));
}

// A threshold field's text, read the way the monitor's alarm lamps read it.
std::optional<double> threshold(const settings::inifile& ini, const char* control) {
    return rules::read_decimal(ini.ini_read(key(control, "text"), QString()), QLocale());
}

chart::sensor_alarm alarm_of(const settings::inifile& ini, const char* alarm_switch,
                             const char* high, const char* low) {
    return {value_of(ini, alarm_switch) == 1, threshold(ini, high), threshold(ini, low)};
}

std::array<chart::sensor_alarm, 2> alarms_of(const settings::inifile& ini) {
    return {alarm_of(ini, "Check2", "Text3", "Text4"), alarm_of(ini, "Check3", "Text6", "Text5")};
}

} // namespace

log_settings read_log_settings(const QString& dir) {
    settings::inifile ini;
    ini.set_ini_dir(dir);
    log_settings s;
    const int ms = rules::datalog::sample_period_ms(
        value_of(ini, "Option8") != 0, value_of(ini, "Option5") != 0, value_of(ini, "Option7") != 0,
        value_of(ini, "Option6") != 0);
    s.gaps.period_seconds = static_cast<std::uint32_t>(ms / 1000);
    s.limits = chart::judged_limits(alarms_of(ini));
    s.names = rules::alarms::read_alarm_settings([&ini](const QString& key) {
                  return ini.read_whole(QStringLiteral("Alarm"), key);
              }).name;
    return s;
}

std::array<chart::sensor_alarm, 2> read_alarm_settings(const QString& dir) {
    settings::inifile ini;
    ini.set_ini_dir(dir);
    return alarms_of(ini);
}

} // namespace history
