#include "mqtt/mqtt_publisher.h"

#include "alerts/alarm_judge.h"
#include "alerts/alarm_state.h"
#include "alerts/alarm_texts.h"
#include "alerts/link_watch.h"
#include "controls/display_box.h"
#include "controls/timer.h"
#include "logging/logging.h"
#include "rules/alarm_settings.h"
#include "settings/inifile.h"
#include "settings/station_settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace mqtt {

namespace {

rules::mqtt::announced read_announced(const settings::inifile* ini) {
    return ini ? settings::read_announced(*ini) : rules::mqtt::announced{};
}

mqtt_link::announcement announcement_for(const rules::mqtt::settings& s, const QString& host_name,
                                         const settings::inifile* ini) {
    const QString folder =
        ini ? QFileInfo(ini->path()).absoluteDir().absolutePath() : QDir::currentPath();
    return {rules::mqtt::discovery_configs(s, host_name, QCoreApplication::applicationVersion()),
            rules::mqtt::take_back(read_announced(ini), s),
            rules::mqtt::owner{s.station.isEmpty() ? s.client_id : s.station, host_name, folder}};
}

QString phase_name(rules::alarms::alarm_phase p) {
    using rules::alarms::alarm_phase;
    switch (p) {
    case alarm_phase::pending:
        return QStringLiteral("pending");
    case alarm_phase::alarm:
        return QStringLiteral("alarm");
    case alarm_phase::acknowledged:
        return QStringLiteral("acknowledged");
    case alarm_phase::clearing:
        return QStringLiteral("clearing");
    case alarm_phase::normal:
        break;
    }
    return QStringLiteral("normal");
}

} // namespace

mqtt_publisher::mqtt_publisher(alerts::alarm_state& alarms, const controls::timer& sample_timer,
                               controls::display_box* port_text, const alerts::link_watch& link,
                               const rules::mqtt::settings& settings, const QString& host_name,
                               mqtt_link::resolver resolve, std::function<QDateTime()> clock,
                               settings::inifile* record)
    : alarms_(alarms)
    , sample_timer_(sample_timer)
    , port_text_(port_text)
    , watch_(link)
    , settings_(settings)
    , clock_(clock ? std::move(clock) : [] { return QDateTime::currentDateTime(); })
    , record_(record)
    , link_(settings, announcement_for(settings, host_name, record), std::move(resolve)) {
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
    connect(&link_, &mqtt_link::announcement_sent, this, &mqtt_publisher::remember);
    on_status(QStringLiteral("connecting"));
    publish_now();
}

rules::mqtt::settings mqtt_publisher::read_settings(const settings::inifile& ini,
                                                    const QString& host_name) {
    // Paths, topics and passwords are not window state: read whole, so that
    // what cannot be used is refused rather than cut.
    rules::mqtt::settings s = rules::mqtt::read_settings(
        [&](const QString& key) { return ini.read_whole(QStringLiteral("MQTT"), key); }, host_name);
    s.names = rules::alarms::read_alarm_settings([&](const QString& key) {
                  return ini.read_whole(QStringLiteral("Alarm"), key);
              }).name;
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

rules::mqtt::snapshot mqtt_publisher::snapshot() const {
    rules::mqtt::snapshot snap;
    snap.sensor1 = alarms_.judge().report(1).reading;
    snap.sensor2 = alarms_.judge().report(2).reading;
    snap.alarm1 = rules::mqtt::alarm_name(alarms_.published(1));
    snap.alarm2 = rules::mqtt::alarm_name(alarms_.published(2));
    const auto lifetime = rules::mqtt::reading_lifetime(sample_timer_.interval());
    for (int n = 1; n <= 2; ++n) {
        rules::mqtt::alarm_detail& d = snap.detail[static_cast<std::size_t>(n - 1)];
        d.phase = phase_name(alarms_.status(n).phase);
        if (const std::optional<alerts::alarm_event> e = alarms_.standing(n)) {
            d.reason = alerts::alarm_text(*e, lifetime);
            d.acknowledged_by = e->by;
        }
    }
    snap.link = watch_.state();
    bool ok = false;
    const int port = port_text_->text().toInt(&ok);
    if (ok)
        snap.port = port;
    snap.time = clock_();
    return snap;
}

void mqtt_publisher::publish_now() {
    coalesce_.stop();
    link_.publish_state(rules::mqtt::state_json(snapshot()));
}

void mqtt_publisher::finish() {
    coalesce_.stop();
    rules::mqtt::snapshot last = snapshot();
    last.sensor1.reset();
    last.sensor2.reset();
    last.link = rules::mqtt::link_state::stopped;
    link_.publish_state(rules::mqtt::state_json(last));
    link_.finish();
    // The announcement may have gone out just now, its word still queued.
    if (link_.announced())
        remember();
}

void mqtt_publisher::remember() {
    const rules::mqtt::announced now = rules::mqtt::announced_by(settings_);
    if (!record_ || read_announced(record_) == now)
        return;
    // Said on standard error when the file cannot keep it; the old entities
    // then stay until a later run takes them back.
    static_cast<void>(settings::keep_announced(*record_, now));
}

QJsonObject mqtt_publisher::journal_fields() const {
    return {{QStringLiteral("url"), settings_.url()},
            {QStringLiteral("topic"), settings_.topic},
            {QStringLiteral("status"), status_}};
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
    status_ = status;
    // Connecting and connected are news; anything else wants a look.
    if (status == QLatin1String("connected") || status == QLatin1String("connecting"))
        qCInfo(logging::log_mqtt).noquote() << line;
    else
        qCWarning(logging::log_mqtt).noquote() << line;
    Q_EMIT status_line_changed(line);
    Q_EMIT status_changed(status);
}

} // namespace mqtt
