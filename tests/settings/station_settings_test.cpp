#include "rules/mqtt_fields.h"
#include "settings/inifile.h"
#include "settings/station_settings.h"
#include "support/files.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct station_settings_fixture : ::testing::Test {
    QTemporaryDir dir;
    settings::inifile ini;
    QString file;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ini.set_ini_dir(dir.path());
        file = dir.filePath(QStringLiteral("Tarnwick.INI"));
    }
};

} // namespace

TEST_F(station_settings_fixture, the_window_s_sections_are_written_and_every_other_byte_kept) {
    // [VEZ] with LF line ends and no final line end, a section of someone
    // else's, a key the window does not know, a comment inside [MQTT].
    const QByteArray vez = "[VEZ]\nfrm_thermometer.Text7.text=1\nfrm_thermometer.Text2.text=25\xBA"
                           "C";
    const QByteArray other = "[Site]\r\n; kept\r\nroom=cold 2\r\n";
    ASSERT_TRUE(write_file(file, "[MQTT]\r\nport=1884\r\n; the lab's broker\r\nkeepalive=30\r\n"
                                 "topic=site/s1\r\n" +
                                     other + vez));
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);

    settings::station_settings s =
        settings::read_station_settings(ini, QStringLiteral("lab-pc-run"));
    EXPECT_EQ(s.mqtt.port, QStringLiteral("1884"));
    EXPECT_EQ(s.mqtt.topic, QStringLiteral("site/s1"));
    EXPECT_EQ(s.mqtt.station, QStringLiteral("lab-pc-run"));
    EXPECT_FALSE(s.mqtt.discovery) << "no key: the default prefix";
    EXPECT_TRUE(s.desktop_notifications);

    s.mqtt.host = QStringLiteral("127.0.0.1");
    s.mqtt.topic.clear();
    s.mqtt.discovery = QString(); // off
    s.mqtt.password = QStringLiteral("pa\u00DFword");
    s.ports[2] = QStringLiteral("/dev/serial/by-id/usb-FTDI_logger-if00-port0");
    s.desktop_notifications = false;
    ASSERT_EQ(settings::write_station_settings(ini, s).why(), QString());

    const QByteArray after = read_file(file);
    EXPECT_EQ(after,
              "[MQTT]\r\nhost=127.0.0.1\r\nport=1884\r\npassword=pa\xDFword\r\ndiscovery=\r\n"
              "station=lab-pc-run\r\nkeepalive=30\r\n" +
                  other +
                  "[Ports]\r\n3=/dev/serial/by-id/usb-FTDI_logger-if00-port0\r\n"
                  "[Notify]\r\ndesktop=0\r\n" +
                  vez);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the mode is kept";

    const settings::station_settings back =
        settings::read_station_settings(ini, QStringLiteral("other"));
    EXPECT_EQ(back, s) << "what was written reads back the same";
    EXPECT_EQ(back.mqtt.discovery, QString());

    // Written again unchanged: the file is not touched.
    const QDateTime written = QFileInfo(file).lastModified();
    EXPECT_EQ(settings::write_station_settings(ini, back).why(), QString());
    EXPECT_EQ(read_file(file), after);
    EXPECT_EQ(QFileInfo(file).lastModified(), written);
}

TEST_F(station_settings_fixture, a_station_id_is_made_once_and_kept_while_the_station_publishes) {
    const QString made =
        rules::mqtt::make_station_id(QStringLiteral("lab-pc"), QDir(dir.path()).absolutePath());
    // Not publishing: the id is made for the window, nothing is written.
    ASSERT_TRUE(write_file(file, "[VEZ]\r\nk=v\r\n"));
    EXPECT_EQ(settings::keep_station_id(ini, QStringLiteral("lab-pc")), made);
    EXPECT_EQ(read_file(file), "[VEZ]\r\nk=v\r\n");

    ASSERT_TRUE(write_file(file, "[MQTT]\r\n; ours\r\nhost=broker\r\n[VEZ]\r\nk=v\r\n"));
    EXPECT_EQ(settings::keep_station_id(ini, QStringLiteral("lab-pc")), made);
    EXPECT_EQ(read_file(file), "[MQTT]\r\n; ours\r\nhost=broker\r\nstation=" + made.toLatin1() +
                                   "\r\n[VEZ]\r\nk=v\r\n");
    // Another host name later (a renamed machine) keeps the id.
    EXPECT_EQ(settings::keep_station_id(ini, QStringLiteral("renamed")), made);
}
