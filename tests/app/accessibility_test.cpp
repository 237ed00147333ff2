// What a screen reader learns about the main window's controls, through the
// same accessibility interfaces the platform's bridge reads.
#include "app/frm_thermometer.h"
#include "controls/display_box.h"
#include "controls/shape.h"
#include "controls/updown.h"
#include "settings_window/dialog.h"
#include "support/recording_prompts.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QAccessibleInterface* accessible(const app::frm_thermometer& w, const QString& path) {
    QObject* o = w.control(path.section(u'/', 0, 0));
    if (o && path.contains(u'/'))
        o = o->findChild<QWidget*>(path.section(u'/', 1));
    return o ? QAccessible::queryAccessibleInterface(o) : nullptr;
}

} // namespace

TEST(accessibility, controls_that_show_or_take_a_value_have_a_name_and_a_spoken_value) {
    recording_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    const app::thermometer_controls& ui = w.ui();
    ui.Text2->setText(QStringLiteral("25\u00BAC"));
    ui.Text1->setText(QStringLiteral(" - - "));
    const std::pair<QLineEdit*, const char*> typed[] = {
        {ui.Text3, "40"}, {ui.Text4, "15"}, {ui.Text6, "35"}, {ui.Text5, "10"}};
    for (const auto& [field, text] : typed)
        QTest::keyClicks(field, QString::fromLatin1(text));

    const struct {
        const char* path;
        QAccessible::Role role;
        const char* name;
        const char* value; // null: not looked at
    } rows[] = {
        {"Text2", QAccessible::StaticText, "Sensor 1 temperature", "25 \u00BAC"},
        {"Text1", QAccessible::StaticText, "Sensor 2 temperature", "no reading"},
        {"Text3", QAccessible::EditableText, "Sensor 1 high threshold", "40"},
        {"Text4", QAccessible::EditableText, "Sensor 1 low threshold", "15"},
        {"Text6", QAccessible::EditableText, "Sensor 2 high threshold", "35"},
        {"Text5", QAccessible::EditableText, "Sensor 2 low threshold", "10"},
        {"UpDown1", QAccessible::SpinBox, "Sensor 1 high threshold", "40"},
        {"UpDown2", QAccessible::SpinBox, "Sensor 1 low threshold", "15"},
        {"UpDown3", QAccessible::SpinBox, "Sensor 2 high threshold", "35"},
        {"UpDown4", QAccessible::SpinBox, "Sensor 2 low threshold", "10"},
        {"UpDown1/up", QAccessible::Button, "Raise sensor 1 high threshold", nullptr},
        {"UpDown1/down", QAccessible::Button, "Lower sensor 1 high threshold", nullptr},
        {"UpDown2/up", QAccessible::Button, "Raise sensor 1 low threshold", nullptr},
        {"UpDown2/down", QAccessible::Button, "Lower sensor 1 low threshold", nullptr},
        {"UpDown3/up", QAccessible::Button, "Raise sensor 2 high threshold", nullptr},
        {"UpDown3/down", QAccessible::Button, "Lower sensor 2 high threshold", nullptr},
        {"UpDown4/up", QAccessible::Button, "Raise sensor 2 low threshold", nullptr},
        {"UpDown4/down", QAccessible::Button, "Lower sensor 2 low threshold", nullptr},
        {"Shape3", QAccessible::StaticText, "Sensor 1 high threshold alarm", "Normal"},
        {"Shape4", QAccessible::StaticText, "Sensor 1 low threshold alarm", "Normal"},
        {"Shape9", QAccessible::StaticText, "Sensor 2 high threshold alarm", "Normal"},
        {"Shape10", QAccessible::StaticText, "Sensor 2 low threshold alarm", "Normal"},
        {"Check2", QAccessible::CheckBox, "Enable sensor 1 alarm", nullptr},
        {"Check3", QAccessible::CheckBox, "Enable sensor 2 alarm", nullptr},
        {"Check1", QAccessible::CheckBox, "Log data to File", nullptr},
        {"Option8", QAccessible::RadioButton, "5 Sec", nullptr},
        {"Option6", QAccessible::RadioButton, "1 Min", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        QAccessibleInterface* a = accessible(w, QString::fromLatin1(row.path));
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->role(), row.role);
        EXPECT_EQ(a->text(QAccessible::Name), QString::fromUtf8(row.name));
        if (!row.value)
            continue;
        EXPECT_EQ(a->text(QAccessible::Value), QString::fromUtf8(row.value));
        // The platform bridge reads a static text through its text interface.
        if (row.role == QAccessible::StaticText) {
            ASSERT_NE(a->textInterface(), nullptr);
            EXPECT_EQ(a->textInterface()->text(0, -1), QString::fromUtf8(row.value));
        }
    }
    // The reading boxes still show what the logger sent.
    EXPECT_EQ(ui.Text2->text(), QStringLiteral("25\u00BAC"));

    // A lamp speaks what it shows.
    w.release_timers();
    ui.Text2->setText(QStringLiteral("45\u00BAC"));
    ui.Check2->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui.Shape3->fill_color() == QColor(Qt::red); }));
    QAccessibleInterface* lamp = accessible(w, QStringLiteral("Shape3"));
    EXPECT_EQ(lamp->text(QAccessible::Value), QStringLiteral("High alarm"));
    ui.Check2->click();
    EXPECT_EQ(lamp->text(QAccessible::Value), QStringLiteral("Alarm off"));
}

TEST(accessibility, a_screen_reader_can_set_a_threshold_by_the_arrows_and_by_value) {
    recording_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    const app::thermometer_controls& ui = w.ui();
    QTest::keyClicks(ui.Text3, QStringLiteral("40"));
    QAccessibleInterface* raise = accessible(w, QStringLiteral("UpDown1/up"));
    ASSERT_NE(raise->actionInterface(), nullptr);
    raise->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(ui.UpDown1->value(), 41);
    EXPECT_EQ(ui.Text3->text(), QStringLiteral("41"));

    QAccessibleValueInterface* spin = accessible(w, QStringLiteral("UpDown2"))->valueInterface();
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->minimumValue().toInt(), 0);
    EXPECT_EQ(spin->maximumValue().toInt(), 125);
    spin->setCurrentValue(12);
    EXPECT_EQ(ui.Text4->text(), QStringLiteral("12"));
    spin->setCurrentValue(130);
    EXPECT_EQ(spin->currentValue().toInt(), 12) << "beyond the range is refused";
}

TEST(accessibility, every_field_of_the_settings_window_has_its_name) {
    settings::station_settings current;
    current.mqtt.station = QStringLiteral("lab-pc-run");
    rules::port_map nowhere;
    for (int p = 1; p <= 4; ++p)
        nowhere.set_device(p, QStringLiteral("/nonexistent/tty%1").arg(p));
    settings_window::dialog::context ctx;
    ctx.ports.defaults = nowhere;
    settings_window::dialog w(current, ctx);
    const struct {
        const char* object;
        QAccessible::Role role;
        const char* name;
    } rows[] = {
        {"broker_host", QAccessible::EditableText, "Broker host"},
        {"broker_port", QAccessible::EditableText, "Broker port"},
        {"tls", QAccessible::CheckBox, "Use TLS (the broker's certificate and name are checked)"},
        {"cafile", QAccessible::EditableText, "CA file"},
        {"choose_cafile", QAccessible::Button, "Choose the CA file"},
        {"username", QAccessible::EditableText, "Username"},
        {"password", QAccessible::EditableText, "Password"},
        {"make_private", QAccessible::Button, "Make Tarnwick.INI private"},
        {"topic", QAccessible::EditableText, "Topic"},
        {"client_id", QAccessible::EditableText, "Client id"},
        {"discovery_on", QAccessible::CheckBox, "Announce the station to Home Assistant"},
        {"discovery_prefix", QAccessible::EditableText, "Discovery prefix"},
        {"test_connection", QAccessible::Button, "Test connection"},
        {"desktop_notifications", QAccessible::CheckBox, "Show alarms as desktop notifications"},
        {"port1_device", QAccessible::EditableText, "Port 1 device"},
        {"port1_list", QAccessible::Button, "Serial devices for port 1"},
        {"port2_device", QAccessible::EditableText, "Port 2 device"},
        {"port3_device", QAccessible::EditableText, "Port 3 device"},
        {"port4_device", QAccessible::EditableText, "Port 4 device"},
        {"look_again", QAccessible::Button, "Look again"},
        // Labels are read by what they show.
        {"link_status", QAccessible::StaticText, "Now: not publishing (no broker host)"},
        {"station_id", QAccessible::StaticText, "Station id: lab-pc-run"},
        {"port1_state", QAccessible::StaticText, "no such device"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.object);
        auto* o = w.findChild<QWidget*>(QString::fromLatin1(row.object));
        ASSERT_NE(o, nullptr);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(o);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->role(), row.role);
        EXPECT_EQ(a->text(QAccessible::Name), QString::fromLatin1(row.name));
    }
    // Voice control clicks by the words on the screen: a box or button is
    // named by what it shows.
    for (QAbstractButton* b : w.findChildren<QAbstractButton*>()) {
        const QString shown = b->text().remove(u'&').remove(QChar(0x2026));
        if (shown.isEmpty())
            continue;
        EXPECT_TRUE(
            QAccessible::queryAccessibleInterface(b)->text(QAccessible::Name).startsWith(shown))
            << shown.toStdString();
    }
    // A wrong field is heard with its reason.
    auto* port = w.findChild<QLineEdit*>(QStringLiteral("broker_port"));
    port->setText(QStringLiteral("0"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(port)->text(QAccessible::Description),
              QStringLiteral("is not a port number (1 to 65535)"));
    // The warnings below the password are heard with it.
    w.findChild<QLineEdit*>(QStringLiteral("broker_host"))->setText(QStringLiteral("broker.lab"));
    w.findChild<QLineEdit*>(QStringLiteral("username"))->setText(QStringLiteral("station7"));
    auto* password = w.findChild<QLineEdit*>(QStringLiteral("password"));
    password->setText(QStringLiteral("secret"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(password)->text(QAccessible::Description),
              QStringLiteral("The password goes to broker.lab without TLS: anyone on the way can "
                             "read it."));
}
