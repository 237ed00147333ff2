#include "mqtt/mqtt_publisher.h"

#include "alerts/alarm_judge.h"
#include "alerts/alarm_state.h"
#include "alerts/link_watch.h"
#include "controls/display_box.h"
#include "controls/timer.h"
#include "logging/logging.h"
#include "settings/inifile.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace mqtt {

mqtt_publisher::mqtt_publisher(alerts::alarm_state& alarms, const controls::timer& sample_timer,
                               controls::display_box* port_text, const alerts::link_watch& link,
                               const rules::mqtt::settings& settings, const QString& host_name,
                               mqtt_link::resolver resolve, std::function<QDateTime()> clock,
                               QObject* parent)
    : QObject(parent)
    , alarms_(alarms)
    , port_text_(port_text)
    , watch_(link)
    , settings_(settings)
    , clock_(clock ? std::move(clock) : [] { return QDateTime::currentDateTime(); })
    , link_(settings,
            rules::mqtt::discovery_configs(settings, host_name,
                                           QCoreApplication::applicationVersion()),
            std::move(resolve)) {
    coalesce_.setSingleShot(true);
    coalesce_.setInterval(0);
    connect(&coalesce_, &QTimer::timeout, this, &mqtt_publisher::publish_now);
    connect(&alarms_.judge(), &alerts::alarm_judge::changed, this, &mqtt_publisher::schedule);
    connect(&alarms_, &alerts::alarm_state::changed, this, &mqtt_publisher::schedule);
    connect(&link_, &mqtt_link::acknowledge_received, this, &mqtt_publisher::on_acknowledge);
    connect(port_text_, &controls::display_box::textChanged, this, &mqtt_publisher::schedule);
    connect(&watch_, &alerts::link_watch::changed, this, &mqtt_publisher::schedule);
    connect(&sample_timer, &controls::timer::tick, this, &mqtt_publisher::publish_now);
    connect(&link_, &mqtt_link::status_changed, this, &mqtt_publisher::on_status);
    on_status(QStringLiteral("connecting"));
    publish_now();
}

rules::mqtt::settings mqtt_publisher::read_settings(const settings::inifile& ini,
                                                    const QString& host_name) {
    // Paths, topics and passwords are not window state: read whole, so that
    // what cannot be used is refused rather than cut.
    rules::mqtt::settings s = rules::mqtt::read_settings(
        [&](const QString& key) { return ini.read_whole(QStringLiteral("MQTT"), key); }, host_name);
    if (!s.enabled() || s.password.isEmpty())
        return s;
    if (s.username.isEmpty())
        qCWarning(logging::log_mqtt).noquote()
            << QStringLiteral("warning: the MQTT password is not used without a username (set "
                              "username=)");
    else if (!s.tls() && !rules::mqtt::is_local_host(s.host))
        qCWarning(logging::log_mqtt).noquote()
            << QStringLiteral("warning: the MQTT password goes to %1 without TLS; anyone on the "
                              "way can read it (set cafile= to use TLS)")
                   .arg(s.host);
    const QFileInfo file(ini.path());
    if (file.permissions() & (QFile::ReadGroup | QFile::ReadOther))
        qCWarning(logging::log_mqtt).noquote()
            << QStringLiteral("warning: %1 holds the MQTT password and others can read it (chmod "
                              "600 it; saves keep the mode)")
                   .arg(file.filePath());
    return s;
}

void mqtt_publisher::schedule() {
    if (!coalesce_.isActive())
        coalesce_.start();
}

void mqtt_publisher::publish_now() {
    coalesce_.stop();
    rules::mqtt::snapshot snap;
    snap.sensor1 = alarms_.judge().report(1).reading;
    snap.sensor2 = alarms_.judge().report(2).reading;
    snap.alarm1 = rules::mqtt::alarm_name(alarms_.published(1));
    snap.alarm2 = rules::mqtt::alarm_name(alarms_.published(2));
    snap.link = watch_.state();
    bool ok = false;
    const int port = port_text_->text().toInt(&ok);
    if (ok)
        snap.port = port;
    snap.time = clock_();
    link_.publish_state(rules::mqtt::state_json(snap));
}

void mqtt_publisher::on_acknowledge(const QByteArray& payload) {
    const auto ack = rules::mqtt::read_acknowledgement(payload);
    if (!ack) {
        qCWarning(logging::log_mqtt).noquote()
            << QStringLiteral("%1 is not an acknowledgement (\"1\" or \"2\", or "
                              "{\"sensor\":1,\"by\":…,\"comment\":…})")
                   .arg(QString::fromUtf8(payload.left(80)));
        return;
    }
    alarms_.acknowledge(ack->sensor, alerts::answer_via::mqtt,
                        ack->by.isEmpty() ? QStringLiteral("MQTT") : ack->by, ack->comment);
}

void mqtt_publisher::on_status(const QString& status) {
    const QString line =
        QStringLiteral("Publishing to %1 as %2: %3").arg(settings_.url(), settings_.topic, status);
    if (line == status_line_)
        return;
    status_line_ = line;
    // Connecting and connected are news; anything else wants a look.
    if (status == QLatin1String("connected") || status == QLatin1String("connecting"))
        qCInfo(logging::log_mqtt).noquote() << line;
    else
        qCWarning(logging::log_mqtt).noquote() << line;
    Q_EMIT status_line_changed(line);
}

} // namespace mqtt
