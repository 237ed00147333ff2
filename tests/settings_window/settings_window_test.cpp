// The settings window as the operator meets it: names, order, checks, the
// password warnings, "Test connection" against real brokers, and the ports.
#include "settings_window/dialog.h"

#include "serial/serial_devices.h"
#include "settings_window/notifications_page.h"
#include "support/broker.h"
#include "support/files.h"
#include "support/pty.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDBusConnection>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace {

struct settings_fixture : ::testing::Test {
    QTemporaryDir dir;
    QString ini_path = dir.filePath(QStringLiteral("Tarnwick.INI"));
    std::optional<settings::station_settings> applied;
    rules::result apply_answer; // what the apply step says
    QString in_use;             // the device the monitor holds open
    std::chrono::milliseconds trial_limit{8000};
    std::unique_ptr<settings_window::dialog> w;

    settings_window::dialog& open(settings::station_settings current = {}) {
        if (current.mqtt.station.isEmpty())
            current.mqtt.station = QStringLiteral("lab-pc-run");
        settings_window::dialog::context ctx{
            .publishing = {.ini_path = ini_path,
                           .choose_ca_file =
                               [this](QWidget*, const QString&) {
                                   return dir.filePath(QStringLiteral("chosen.pem"));
                               },
                           .trial_limit = trial_limit},
            .ports = {.device_in_use = [this] { return in_use; },
                      .by_id_dir = dir.filePath(QStringLiteral("by-id"))},
            .bus = std::nullopt,
            .station = QStringLiteral("lab-pc"),
            .apply = [this](const settings::station_settings& s) {
                applied = s;
                return apply_answer;
            }};
        w = std::make_unique<settings_window::dialog>(current, std::move(ctx));
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        return *w;
    }
    // Defaults that lead nowhere: no test opens a real serial port.
    rules::port_map no_devices() const {
        rules::port_map m;
        for (int p = 1; p <= 4; ++p)
            m.set_device(p, dir.filePath(QStringLiteral("tty%1").arg(p)));
        return m;
    }
    template <class T = QLineEdit> T* field(const char* name) const {
        return w->findChild<T*>(QString::fromLatin1(name));
    }
    QString reason(const char* name) const {
        return field<QLabel>((std::string(name) + "_reason").c_str())->text();
    }
    void retype(const char* name, const QString& text) {
        QLineEdit* e = field(name);
        e->clear();
        QTest::keyClicks(e, text);
    }
    QString test_result() const { return field<QLabel>("test_result")->text(); }
};

} // namespace

TEST_F(settings_fixture, every_field_is_named_and_tab_runs_down_the_page) {
    open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("KESTROVA Settings"));
    EXPECT_EQ(QApplication::focusWidget(), field("broker_host")) << "it opens on the host";
    const char* names[] = {"Broker host",
                           "Broker port",
                           "Use TLS (the broker's certificate and name are checked)",
                           "CA file",
                           "Username",
                           "Password",
                           "Topic",
                           "Client id",
                           "Announce the station to Home Assistant",
                           "Discovery prefix",
                           "Show alarms as desktop notifications",
                           "Port 1 device",
                           "Port 2 device",
                           "Port 3 device",
                           "Port 4 device"};
    QStringList all;
    for (QWidget* c : w->findChildren<QWidget*>())
        if (QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c))
            all << a->text(QAccessible::Name);
    for (const char* name : names)
        EXPECT_TRUE(all.contains(QString::fromLatin1(name))) << name;

    // TLS on, so that the CA file is in the order too.
    field<QCheckBox>("tls")->setChecked(true);
    const QStringList down = {
        QStringLiteral("Broker host"),
        QStringLiteral("Broker port"),
        QStringLiteral("Use TLS (the broker's certificate and name are checked)"),
        QStringLiteral("CA file"),
        QStringLiteral("Choose the CA file"),
        QStringLiteral("Username"),
        QStringLiteral("Password"),
        QStringLiteral("Topic"),
        QStringLiteral("Client id"),
        QStringLiteral("Announce the station to Home Assistant"),
        QStringLiteral("Discovery prefix")};
    field("broker_host")->setFocus();
    QStringList seen;
    for (int i = 0; i < down.size(); ++i) {
        seen << QAccessible::queryAccessibleInterface(QApplication::focusWidget())
                    ->text(QAccessible::Name);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(seen, down);
}

TEST_F(settings_fixture, a_wrong_field_says_why_beside_it_and_ok_is_refused_until_it_is_right) {
    ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("notes.txt")), "no certificate\n"));
    open();
    struct row {
        const char* field;
        QString typed;
        const char* reason; // the start of it
    };
    const row rows[] = {
        {"broker_port", QStringLiteral("70000"), "is not a port number (1 to 65535)"},
        {"broker_port", QStringLiteral("abc"), "is not a port number"},
        {"topic", QStringLiteral("site/#"), "holds a wildcard (+ or #)"},
        {"topic", QStringLiteral("site/+/x"), "holds a wildcard"},
        {"discovery_prefix", QStringLiteral("ha/+"), "holds a wildcard"},
        {"password", QStringLiteral(" s3cret"), "begins or ends with a space"},
        {"client_id", QStringLiteral("a") + QChar(u'\0'), "holds a zero character"},
        {"username", QStringLiteral("\u0142ukasz"), "holds \u201C\u0142\u201D, which Tarnwick.INI"},
        {"cafile", dir.filePath(QStringLiteral("missing.pem")),
         "cannot be used: it does not exist"},
        {"cafile", dir.filePath(QStringLiteral("notes.txt")), "cannot be used: it holds no PEM"},
        {"cafile", QString(), "TLS needs the CA certificate"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.field);
        field<QCheckBox>("tls")->setChecked(QLatin1String(r.field) == QLatin1String("cafile"));
        field(r.field)->setText(r.typed);
        EXPECT_TRUE(reason(r.field).startsWith(QString::fromUtf8(r.reason)))
            << reason(r.field).toStdString();
        // Return is OK, and OK is refused: the window stays, the field has
        // the focus, nothing is applied.
        field("broker_host")->setFocus();
        QTest::keyClick(field("broker_host"), Qt::Key_Return);
        EXPECT_TRUE(w->isVisible());
        EXPECT_FALSE(applied);
        EXPECT_EQ(QApplication::focusWidget(), field(r.field));
        retype(r.field, QString());
    }
    field<QCheckBox>("tls")->setChecked(false);
    EXPECT_EQ(reason("cafile"), QString()) << "without TLS the CA file is not asked for";
    // The longest topic MQTT takes, less "/acknowledge", and one byte more
    // (three bytes of UTF-8 to the euro sign).
    field("topic")->setText(QString(21841, u'\u20AC'));
    EXPECT_EQ(reason("topic"), QString());
    field("topic")->setText(QString(21841, u'\u20AC') + QStringLiteral("a"));
    EXPECT_EQ(reason("topic"), QStringLiteral("is longer than MQTT allows (65523 bytes)"));
    field("topic")->clear();

    // Right values: OK applies them and the window closes.
    retype("broker_host", QStringLiteral("127.0.0.1"));
    retype("broker_port", QStringLiteral("1884"));
    retype("username", QStringLiteral("u"));
    retype("password", QStringLiteral("pa\u00DF word"));
    field<QCheckBox>("discovery_on")->setChecked(false);
    QTest::keyClick(field("password"), Qt::Key_Return);
    ASSERT_TRUE(applied);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(applied->mqtt.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(applied->mqtt.port, QStringLiteral("1884"));
    EXPECT_EQ(applied->mqtt.password, QStringLiteral("pa\u00DF word"));
    EXPECT_EQ(applied->mqtt.discovery, QString()) << "discovery off is an empty prefix";
    EXPECT_EQ(applied->mqtt.station, QStringLiteral("lab-pc-run"));
}

TEST_F(settings_fixture, every_text_fits_its_label_and_runs_under_no_field_at_any_size) {
    ASSERT_TRUE(write_file(ini_path, "[MQTT]\r\n"));
    ASSERT_TRUE(QFile::setPermissions(ini_path, QFile::ReadOwner | QFile::WriteOwner |
                                                    QFile::ReadGroup | QFile::ReadOther));
    // Whether the label shows all its lines, and none of them under a field.
    const auto fits = [this](QLabel* label) {
        if (label->height() < label->heightForWidth(label->width()))
            return false;
        const QRect at(label->mapTo(w.get(), QPoint()), label->size());
        for (QWidget* field : w->findChildren<QWidget*>())
            if (field->isVisible() && field != label &&
                (qobject_cast<QLineEdit*>(field) || qobject_cast<QAbstractButton*>(field)) &&
                at.intersects(QRect(field->mapTo(w.get(), QPoint()), field->size())))
                return false;
        return true;
    };
    for (const double scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        open();
        QFont font = w->font();
        font.setPointSizeF(font.pointSizeF() * scale);
        w->setFont(font);
        w->show_link_status(QStringLiteral(
            "Publishing to mqtts://broker.cold-room-2.lab:8883 as site/cold-room-2/station-7: "
            "the broker stopped answering (tried again in 60 s)"));
        retype("broker_host", QStringLiteral("broker.cold-room-2.lab"));
        retype("username", QStringLiteral("station7"));
        retype("password", QStringLiteral("secret"));
        retype("topic", QStringLiteral("site/#"));
        ASSERT_FALSE(field<QLabel>("password_warnings")->text().isEmpty());
        QList<QLabel*> shown;
        for (QLabel* l : w->findChildren<QLabel*>())
            if (l->isVisible() && l->wordWrap())
                shown << l;
        (void)QTest::qWaitFor([&] { return std::all_of(shown.begin(), shown.end(), fits); }, 2000);
        for (QLabel* label : shown)
            EXPECT_TRUE(fits(label))
                << label->objectName().toStdString() << ": " << label->text().toStdString();
    }
}

TEST_F(settings_fixture, a_file_that_cannot_be_written_keeps_the_window_open_with_the_reason) {
    apply_answer = rules::result::failure(QStringLiteral("the file is read-only"));
    open();
    QTest::keyClick(field("broker_host"), Qt::Key_Return);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(field<QLabel>("not_saved")->text(),
              QStringLiteral("Not saved: the file is read-only"));
    // Escape is Cancel.
    QTest::keyClick(field("broker_host"), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->result(), QDialog::Rejected);
}

TEST_F(settings_fixture, placeholders_show_the_defaults_of_this_station) {
    open();
    EXPECT_EQ(field("broker_port")->placeholderText(), QStringLiteral("1883"));
    field<QCheckBox>("tls")->setChecked(true);
    EXPECT_EQ(field("broker_port")->placeholderText(), QStringLiteral("8883"));
    EXPECT_EQ(field("topic")->placeholderText(), QStringLiteral("kestrova/lab-pc-run"));
    EXPECT_EQ(field("client_id")->placeholderText(), QStringLiteral("kestrova-lab-pc-run"));
    EXPECT_EQ(field("discovery_prefix")->placeholderText(), QStringLiteral("homeassistant"));
    QTest::mouseClick(field<QPushButton>("choose_cafile"), Qt::LeftButton);
    EXPECT_EQ(field("cafile")->text(), dir.filePath(QStringLiteral("chosen.pem")));
}

TEST_F(settings_fixture,
       the_password_warnings_appear_where_they_apply_and_the_file_can_be_made_private) {
    ASSERT_TRUE(write_file(ini_path, "[VEZ]\r\n"));
    ASSERT_TRUE(QFile::setPermissions(ini_path, QFile::ReadOwner | QFile::WriteOwner |
                                                    QFile::ReadGroup | QFile::ReadOther));
    open();
    const auto warnings = [&] {
        QLabel* l = field<QLabel>("password_warnings");
        return l->isVisible() ? l->text() : QString();
    };
    QPushButton* make_private = field<QPushButton>("make_private");
    retype("broker_host", QStringLiteral("broker.lab"));
    EXPECT_EQ(warnings(), QString()) << "nothing to warn about without a password";
    retype("password", QStringLiteral("s3cret"));
    EXPECT_TRUE(warnings().contains(QLatin1String("Without a username the password is not sent")));
    retype("username", QStringLiteral("station7"));
    EXPECT_TRUE(warnings().contains(QLatin1String(
        "The password goes to broker.lab without TLS: anyone on the way can read it")));
    EXPECT_TRUE(warnings().contains(QLatin1String("Others on this machine can read Tarnwick.INI")));
    ASSERT_TRUE(make_private->isVisible());

    QTest::mouseClick(make_private, Qt::LeftButton);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(ini_path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(warnings().contains(QLatin1String("Others on this machine")));
    EXPECT_FALSE(make_private->isVisible());
    retype("broker_host", QStringLiteral("127.0.0.1"));
    EXPECT_EQ(warnings(), QString()) << "a password that stays on this machine";
}

TEST_F(settings_fixture, test_connection_names_what_came_of_it_against_real_brokers) {
    QTemporaryDir certs;
    ASSERT_TRUE(make_test_certificates(certs.path()));
    test_broker plain;
    test_broker locked;
    const QString passwords = locked.path(QStringLiteral("passwords"));
    ASSERT_TRUE(write_file(passwords, ""));
    QProcess add;
    add.start(
        QStringLiteral("mosquitto_passwd"),
        {QStringLiteral("-b"), passwords, QStringLiteral("station7"), QStringLiteral("right")});
    ASSERT_TRUE(add.waitForFinished(10000) && add.exitCode() == 0);
    locked.add_config("allow_anonymous false\npassword_file " + passwords.toLocal8Bit());
    test_broker read_only; // lets a client read, not publish
    ASSERT_TRUE(write_file(read_only.path(QStringLiteral("acl")), "topic read #\n"));
    read_only.add_config("acl_file " + read_only.path(QStringLiteral("acl")).toLocal8Bit());
    test_broker tls({certs.filePath(QStringLiteral("ca.crt")),
                     certs.filePath(QStringLiteral("server.crt")),
                     certs.filePath(QStringLiteral("server.key"))});
    for (test_broker* b : {&plain, &locked, &tls, &read_only})
        ASSERT_TRUE(b->start());
    QTcpServer silent; // takes the connection and never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const int closed_port = closed.serverPort();
    closed.close();

    trial_limit = std::chrono::milliseconds(1500);
    open();
    struct row {
        const char* what;
        QString host;
        int port;
        QString cafile;
        const char* said; // the start of the result
    };
    const QString local = QStringLiteral("127.0.0.1");
    const row rows[] = {
        {"accepted", local, plain.port(), {}, "Connected: the broker accepts these settings."},
        {"a wrong password", local, locked.port(), {}, "Refused by the broker: "},
        {"a broker that lets the station read only",
         local,
         read_only.port(),
         {},
         "Connected, but the broker refuses to publish on `kestrova/"},
        {"a TLS broker with another CA", QStringLiteral("localhost"), tls.port(),
         certs.filePath(QStringLiteral("other_ca.crt")),
         "The broker's certificate is not signed by the CA file's."},
        {"a closed port", local, closed_port, {}, "Nothing answers on port"},
        {"a name that does not exist",
         QStringLiteral("broker.kestrova.invalid"),
         1883,
         {},
         "The name broker.kestrova.invalid was not found."},
        {"a broker that never answers", local, silent.serverPort(), {}, "Timed out"},
    };
    retype("username", QStringLiteral("station7"));
    retype("password", QStringLiteral("wrong"));
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        retype("broker_host", r.host);
        retype("broker_port", QString::number(r.port));
        field<QCheckBox>("tls")->setChecked(!r.cafile.isEmpty());
        retype("cafile", r.cafile);
        QTest::mouseClick(field<QPushButton>("test_connection"), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return test_result().startsWith(QString::fromUtf8(r.said)); }, 10000))
            << test_result().toStdString();
    }
    // The right password is let in.
    retype("broker_port", QString::number(locked.port()));
    retype("password", QStringLiteral("right"));
    QTest::mouseClick(field<QPushButton>("test_connection"), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return test_result().startsWith(QLatin1String("Connected")); }, 10000))
        << test_result().toStdString();
}

TEST_F(settings_fixture, a_test_connection_no_longer_wanted_closes_its_connection_at_once) {
    QTcpServer silent; // takes each connection and never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    trial_limit = std::chrono::seconds(60);
    open();
    retype("broker_host", QStringLiteral("127.0.0.1"));
    retype("broker_port", QString::number(silent.serverPort()));
    // The broker's side of the test's connection, once its CONNECT is in.
    const auto connected = [&]() -> QTcpSocket* {
        QTcpSocket* c = nullptr;
        if (!QTest::qWaitFor([&] { return silent.hasPendingConnections(); }, 5000))
            return nullptr;
        c = silent.nextPendingConnection();
        return QTest::qWaitFor([&] { return c->bytesAvailable() > 0; }, 5000) ? c : nullptr;
    };
    const auto closed = [](QTcpSocket* c) {
        return QTest::qWaitFor([&] { return c->state() == QAbstractSocket::UnconnectedState; },
                               2000);
    };
    QPushButton* test = field<QPushButton>("test_connection");
    QTest::mouseClick(test, Qt::LeftButton);
    QTcpSocket* first = connected();
    ASSERT_NE(first, nullptr);
    // A second test in its place.
    QTest::mouseClick(test, Qt::LeftButton);
    QTcpSocket* second = connected();
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(closed(first)) << "the first test goes on in the background";
    // The window closed while a test waits.
    w.reset();
    EXPECT_TRUE(closed(second)) << "the test outlives its window";
}

TEST_F(settings_fixture, the_ports_page_lists_by_id_names_and_never_opens_the_port_in_use) {
    pty_pair logger, spare;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("by-id")));
    const QString by_id = dir.filePath(QStringLiteral("by-id/usb-FTDI_logger-if00-port0"));
    ASSERT_TRUE(QFile::link(spare.slave_path(), by_id));
    EXPECT_EQ(serial::by_id_name(spare.slave_path(), dir.filePath(QStringLiteral("by-id"))), by_id);
    EXPECT_EQ(serial::by_id_name(logger.slave_path(), dir.filePath(QStringLiteral("by-id"))),
              QString());

    in_use = logger.slave_path();
    settings::station_settings current;
    current.ports[0] = logger.slave_path();
    current.ports[1] = by_id;
    current.ports[2] = dir.filePath(QStringLiteral("no-such-tty"));
    open(current);
    const auto state = [&](int p) {
        return field<QLabel>(QStringLiteral("port%1_state").arg(p).toLatin1().constData())->text();
    };
    EXPECT_EQ(state(1), QStringLiteral("in use by KESTROVA"));
    EXPECT_EQ(state(2), QStringLiteral("opens now"));
    EXPECT_EQ(state(3), QStringLiteral("no such device"));

    // Another device typed for port 3 is tried once the typing pauses.
    QLineEdit* port3 = w->ports()->device_field(3);
    port3->setFocus();
    port3->clear();
    QTest::keyClicks(port3, spare.slave_path());
    EXPECT_TRUE(QTest::qWaitFor([&] { return state(3) == QLatin1String("opens now"); }, 5000));
    QTest::keyClick(port3, Qt::Key_Return);
    ASSERT_TRUE(applied) << "Return in a device field is OK";
    EXPECT_EQ(applied->ports[2], spare.slave_path());
    EXPECT_EQ(applied->ports[3], QString()) << "the default stays unwritten";
}

TEST(notifications_page, says_whether_a_notification_service_is_there_now) {
    // A bus of the test's own that starts no service of this machine's.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("bus.conf"));
    ASSERT_TRUE(write_file(
        config, "<busconfig><type>session</type>"
                "<listen>unix:tmpdir=" +
                    dir.path().toLocal8Bit() +
                    "</listen><auth>EXTERNAL</auth>"
                    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                    "<allow eavesdrop=\"true\"/>"
                    "<allow own=\"*\"/></policy></busconfig>"));
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return daemon.canReadLine(); }, 5000));
    const QString address = QString::fromLatin1(daemon.readLine().trimmed());
    const auto said = [&](std::optional<QDBusConnection> bus) {
        settings_window::notifications_page page(true, std::move(bus));
        auto* state = page.findChild<QLabel*>(QStringLiteral("notification_service"));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !state->text().startsWith(QLatin1String("Looking")); }, 5000));
        return state->text();
    };
    EXPECT_EQ(said(std::nullopt),
              QStringLiteral("No desktop session bus here: notifications cannot be shown."));
    {
        const QDBusConnection monitor =
            QDBusConnection::connectToBus(address, QStringLiteral("settings-test-monitor"));
        EXPECT_TRUE(
            said(monitor).startsWith(QLatin1String("No notification service is running now")));
        QDBusConnection desktop =
            QDBusConnection::connectToBus(address, QStringLiteral("settings-test-desktop"));
        ASSERT_TRUE(desktop.registerService(QStringLiteral("org.freedesktop.Notifications")));
        EXPECT_EQ(said(monitor), QStringLiteral("A notification service is running now."));
    }
    daemon.kill();
    daemon.waitForFinished(5000);
}
