#pragma once

// A station in the test's process, publishing on a real broker: the window,
// its link watch, judge and alarm state, and a publisher made on demand.
#include "alarm/install.h"
#include "alerts/alarm_judge.h"
#include "alerts/alarm_state.h"
#include "alerts/link_watch.h"
#include "app/frm_thermometer.h"
#include "controls/properties.h"
#include "controls/timer.h"
#include "mqtt/mqtt_publisher.h"
#include "support/broker.h"
#include "support/recording_prompts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

inline QString deg(const char* n) {
    return QString::fromLatin1(n) + QStringLiteral("\u00BAC");
}

inline QJsonObject json(const QByteArray& payload) {
    return QJsonDocument::fromJson(payload).object();
}

// A window whose alarms are on with thresholds 30 and 10 for both sensors,
// publishing to `port`.
struct station_fixture : ::testing::Test {
    recording_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    const app::thermometer_controls& ui = w.ui();
    std::chrono::milliseconds lifetime{30000};
    alerts::link_watch link{[this] { return lifetime; }};
    alerts::alarm_judge judge{w.sensors(), link};
    // Without a clear hold, so that a reading back within limits is
    // "normal" at once.
    alerts::alarm_state alarms{judge, [] {
                                   rules::alarms::alarm_settings s;
                                   s.hold = std::chrono::seconds(0);
                                   return s;
                               }()};

    station_fixture() {
        // As at the end of start-up, but without sampling ticks, so that
        // every state message comes from a change.
        ui.Timer1->set_enabled(false);
        alarms::apply_alarm_switches(w.sensors());
        w.release_timers();
        for (QLineEdit* high : {ui.Text3, ui.Text6})
            high->setText(QStringLiteral("30"));
        for (QLineEdit* low : {ui.Text4, ui.Text5})
            low->setText(QStringLiteral("10"));
        ui.Text7->setText(QStringLiteral("2"));
        link.port_changed(true);
    }
    // A reading as the logger's byte brings it: text and arrival.
    void read(controls::display_box* box, const QString& text) {
        box->setText(text);
        link.received(box == ui.Text2 ? 1 : 2);
    }

    rules::mqtt::settings settings_for(int port,
                                       const QString& host = QStringLiteral("127.0.0.1")) {
        rules::mqtt::settings s;
        s.host = host;
        s.port = port;
        s.topic = QStringLiteral("kestrova/test");
        s.client_id = QStringLiteral("kestrova-test");
        s.discovery = QStringLiteral("homeassistant");
        return s;
    }
    // `record`: the settings file that keeps what was announced, and whose
    // folder is the station's.
    std::unique_ptr<mqtt::mqtt_publisher> publish(const rules::mqtt::settings& s,
                                                  settings::inifile* record = nullptr) {
        return std::make_unique<mqtt::mqtt_publisher>(
            alarms, *ui.Timer1, ui.Text7, link, s, QStringLiteral("lab-pc"),
            mqtt::mqtt_link::resolver{}, std::function<QDateTime()>{}, record);
    }
    bool connected(const mqtt::mqtt_publisher& p) {
        return QTest::qWaitFor(
            [&] { return p.status_line().endsWith(QLatin1String(": connected")); }, 20000);
    }
};

inline bool state_is(const test_subscriber& sub, const char* key, const QJsonValue& want) {
    return sub.wait([&](const auto&) {
        return json(sub.last(QStringLiteral("kestrova/test/state")).payload)
                   .value(QLatin1String(key)) == want;
    });
}
