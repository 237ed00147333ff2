#include "mqtt/mqtt_link.h"

#include "support/broker.h"
#include "support/build_paths.h"
#include "support/files.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <set>

namespace {

constexpr int stations = 3;

QString topic_of(int station) {
    return QStringLiteral("kestrova/station%1").arg(station);
}

rules::mqtt::settings settings_for(int station, int port) {
    rules::mqtt::settings s;
    s.host = QStringLiteral("127.0.0.1");
    s.port = port;
    s.topic = topic_of(station);
    s.client_id = QStringLiteral("station%1").arg(station);
    s.discovery = QStringLiteral("homeassistant");
    return s;
}

// The states a subscriber saw, by station: their numbers (sensor 1).
std::map<QString, std::multiset<int>> states_seen(const test_subscriber& sub) {
    std::map<QString, std::multiset<int>> seen;
    for (const auto& m : sub.messages())
        if (m.topic.endsWith(QLatin1String("/state")))
            seen[m.topic.chopped(6)].insert(QJsonDocument::fromJson(m.payload)
                                                .object()
                                                .value(QLatin1String("sensor1"))
                                                .toInt());
    return seen;
}

bool every_state_up_to(const test_subscriber& sub, int last) {
    const auto seen = states_seen(sub);
    for (int i = 0; i < stations; ++i) {
        const auto it = seen.find(topic_of(i));
        if (it == seen.end())
            return false;
        for (int n = 1; n <= last; ++n)
            if (!it->second.contains(n))
                return false;
    }
    return true;
}

// What a subscriber got first on `topic`: what the broker retained, if it
// holds anything there; copies still on their way may follow.
test_subscriber::message first_on(const test_subscriber& sub, const QString& topic) {
    for (const auto& m : sub.messages())
        if (m.topic == topic)
            return m;
    return {};
}

int configs_seen(const test_subscriber& sub) {
    int n = 0;
    for (const auto& m : sub.messages())
        n += m.topic.endsWith(QLatin1String("/config"));
    return n;
}

} // namespace

// The shipped example, pointed at a central broker on loopback, between a
// site broker that the stations use and the central one.
TEST(mqtt_bridge, a_central_outage_loses_no_state_and_the_centre_ends_with_every_station) {
    test_broker central;
    // A central broker keeps its subscribers' sessions across a restart.
    central.add_config("persistence true\npersistence_location " +
                       QDir(central.path(QStringLiteral("."))).absolutePath().toLocal8Bit() + "/");
    ASSERT_TRUE(central.start());
    QByteArray bridge =
        read_file(QDir(QString::fromLocal8Bit(build_paths::source_dir))
                      .filePath(QStringLiteral("data/examples/mosquitto-bridge.conf")));
    ASSERT_TRUE(bridge.contains("\naddress "));
    bridge = QString::fromUtf8(bridge)
                 .replace(QRegularExpression(QStringLiteral("\naddress [^\n]*")),
                          QStringLiteral("\naddress 127.0.0.1:%1").arg(central.port()))
                 .toUtf8();
    test_broker site;
    site.add_config(bridge);
    ASSERT_TRUE(site.start());

    test_subscriber at_centre(central.port(), QStringLiteral("central-observer"));
    test_subscriber at_site(site.port());
    std::vector<std::unique_ptr<mqtt::mqtt_link>> links;
    int number = 0;
    // The next numbered state from every station.
    const auto publish_all = [&] {
        ++number;
        for (int i = 0; i < stations; ++i) {
            rules::mqtt::snapshot s;
            s.sensor1 = number;
            s.sensor2 = 20 + i;
            s.alarm1 = s.alarm2 = QStringLiteral("normal");
            s.link = rules::mqtt::link_state::open;
            s.port = 1;
            s.time = QDateTime::currentDateTime();
            links[static_cast<std::size_t>(i)]->publish_state(rules::mqtt::state_json(s));
        }
    };
    for (int i = 0; i < stations; ++i) {
        const rules::mqtt::settings s = settings_for(i, site.port());
        links.push_back(std::make_unique<mqtt::mqtt_link>(
            s, rules::mqtt::discovery_configs(s, QStringLiteral("site-pc%1").arg(i),
                                              QStringLiteral("1"))));
    }
    publish_all();
    // Every station at the centre: online, its configs, its first state.
    ASSERT_TRUE(at_centre.wait(
        [&](const auto&) {
            for (int i = 0; i < stations; ++i)
                if (at_centre.last(topic_of(i) + QStringLiteral("/status")).payload != "online")
                    return false;
            return configs_seen(at_centre) >= stations * 4 && every_state_up_to(at_centre, 1);
        },
        20000));

    // The states of the outage reach the site broker and wait there.
    central.stop();
    for (int round = 0; round < 5; ++round) {
        publish_all();
        ASSERT_TRUE(at_site.wait([&](const auto&) { return every_state_up_to(at_site, number); }));
    }
    ASSERT_TRUE(central.start());
    EXPECT_TRUE(
        at_centre.wait([&](const auto&) { return every_state_up_to(at_centre, number); }, 30000));

    // What Home Assistant finds when it starts at the centre: every station
    // online, its configs and its latest state, retained.
    test_subscriber newcomer(central.port());
    EXPECT_TRUE(newcomer.wait([&](const auto& m) {
        return m.size() >= stations * 6 && configs_seen(newcomer) >= stations * 4;
    }));
    for (int i = 0; i < stations; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(first_on(newcomer, topic_of(i) + QStringLiteral("/status")).payload, "online");
        const auto state = first_on(newcomer, topic_of(i) + QStringLiteral("/state"));
        EXPECT_TRUE(state.retained);
        EXPECT_EQ(QJsonDocument::fromJson(state.payload).object().value(QLatin1String("sensor1")),
                  number);
    }

    // Its birth message crosses the bridge the other way and brings the
    // configs again.
    newcomer.clear();
    newcomer.publish(QStringLiteral("homeassistant/status"), "online");
    EXPECT_TRUE(newcomer.wait([&](const auto&) { return configs_seen(newcomer) >= stations * 4; }));
}
