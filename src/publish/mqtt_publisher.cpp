#include "publish/mqtt_publisher.h"

#include "controls/display_box.h"
#include "controls/lamp_colors.h"
#include "controls/shape.h"
#include "controls/timer.h"
#include "settings/inifile.h"

#include <QFileInfo>
#include <cstdio>

namespace {

// Paths and passwords are not window state: read them whole.
constexpr qsizetype long_value = 4095;

std::optional<int> reading_number(const QString& text) {
    const auto v = alarms::reading_value(text);
    if (!v || *v > 124)
        return std::nullopt;
    return static_cast<int>(*v);
}

QString sensor_alarm(const sensor_role& s) {
    return mqtt::alarm_name(alarms::lamp_state_of(s.high_lamp->fill_color()),
                            alarms::lamp_state_of(s.low_lamp->fill_color()));
}

} // namespace

mqtt_publisher::mqtt_publisher(const sensor_roles& sensors, const logging_role& log,
                               display_box* port_text, const mqtt::settings& settings,
                               const QString& host_name, mqtt_link::resolver resolve,
                               std::function<QDateTime()> clock, QObject* parent)
    : QObject(parent)
    , sensors_(sensors)
    , port_text_(port_text)
    , settings_(settings)
    , clock_(clock ? std::move(clock) : [] { return QDateTime::currentDateTime(); })
    , link_(settings, mqtt::discovery_configs(settings, host_name), std::move(resolve)) {
    coalesce_.setSingleShot(true);
    coalesce_.setInterval(0);
    connect(&coalesce_, &QTimer::timeout, this, &mqtt_publisher::publish_now);
    for (const sensor_role& s : sensors_) {
        connect(s.reading, &display_box::textChanged, this, &mqtt_publisher::schedule);
        connect(s.high_lamp, &shape::fill_changed, this, &mqtt_publisher::schedule);
        connect(s.low_lamp, &shape::fill_changed, this, &mqtt_publisher::schedule);
    }
    connect(port_text_, &display_box::textChanged, this, &mqtt_publisher::schedule);
    connect(log.sample_timer, &timer::tick, this, &mqtt_publisher::publish_now);
    connect(&link_, &mqtt_link::status_changed, this, &mqtt_publisher::on_status);
    on_status(QStringLiteral("connecting"));
    publish_now();
}

mqtt::settings mqtt_publisher::read_settings(const inifile& ini, const QString& host_name) {
    // Anything the file cannot hold marks a key that is not there.
    const QString missing = QStringLiteral("\u0001");
    mqtt::settings s = mqtt::read_settings(
        [&](const QString& key) -> std::optional<QString> {
            const QString v = ini.read_key(QStringLiteral("MQTT"), key, missing, long_value);
            return v == missing ? std::nullopt : std::optional<QString>(v);
        },
        host_name);
    if (!s.enabled() || s.password.isEmpty())
        return s;
    if (!s.tls() && !mqtt::is_local_host(s.host))
        std::fprintf(stderr,
                     "kestrova: warning: the MQTT password goes to %s without TLS; anyone on the "
                     "way can read it (set cafile= to use TLS)\n",
                     qPrintable(s.host));
    const QFileInfo file(ini.path());
    if (file.permissions() & (QFile::ReadGroup | QFile::ReadOther))
        std::fprintf(stderr,
                     "kestrova: warning: %s holds the MQTT password and others can read it "
                     "(chmod 600 it; saves keep the mode)\n",
                     qPrintable(file.filePath()));
    return s;
}

void mqtt_publisher::schedule() {
    if (!coalesce_.isActive())
        coalesce_.start();
}

void mqtt_publisher::publish_now() {
    coalesce_.stop();
    mqtt::snapshot snap;
    snap.sensor1 = reading_number(sensors_[0].reading->text());
    snap.sensor2 = reading_number(sensors_[1].reading->text());
    snap.alarm1 = sensor_alarm(sensors_[0]);
    snap.alarm2 = sensor_alarm(sensors_[1]);
    bool ok = false;
    const int port = port_text_->text().toInt(&ok);
    if (ok)
        snap.port = port;
    snap.time = clock_();
    link_.publish_state(mqtt::state_json(snap));
}

void mqtt_publisher::on_status(const QString& status) {
    const QString line =
        QStringLiteral("Publishing to %1 as %2: %3").arg(settings_.url(), settings_.topic, status);
    if (line == status_line_)
        return;
    status_line_ = line;
    std::fprintf(stderr, "kestrova: %s\n", qPrintable(line));
    Q_EMIT status_line_changed(line);
}
