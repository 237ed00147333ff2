#include "app/frm_thermometer.h"
#include "controls/properties.h"
#include "controls/shape.h"
#include "serial/comm_control.h"
#include "support/pty.h"
#include "support/recording_prompts.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

TEST(alarm_end_to_end, lamps_follow_the_loggers_readings) {
    pty_pair pty;
    ASSERT_TRUE(pty.ok());
    recording_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    const auto& ui = w.ui();
    w.release_timers();
    rules::port_map m;
    m.set_device(1, pty.slave_path());
    ui.MSComm1->set_port_map(m);
    ASSERT_TRUE(ui.MSComm1->set_port_open(true));

    QTest::keyClicks(ui.Text3, QStringLiteral("30"));
    QTest::keyClicks(ui.Text4, QStringLiteral("10"));
    QTest::keyClicks(ui.Text6, QStringLiteral("50"));
    QTest::keyClicks(ui.Text5, QStringLiteral("20"));
    controls::set_check_value(ui.Check2, 1);
    controls::set_check_value(ui.Check3, 1);

    const QColor red(QStringLiteral("#FF0000"));
    const QColor green(QStringLiteral("#008000"));
    const auto lamps_become = [](controls::shape* high, controls::shape* low, QColor h, QColor l) {
        return QTest::qWaitFor([&] { return high->fill_color() == h && low->fill_color() == l; },
                               5000);
    };

    // 254 25 253 60: sensor 1 between its thresholds, sensor 2 above its high one.
    ASSERT_TRUE(pty.write(QByteArray("\xFE\x19\xFD\x3C", 4)));
    EXPECT_TRUE(lamps_become(ui.Shape3, ui.Shape4, green, green));
    EXPECT_TRUE(lamps_become(ui.Shape9, ui.Shape10, red, green));

    // Sensor 1 falls to its low threshold, then loses its reading.
    ASSERT_TRUE(pty.write(QByteArray("\xFE\x0A", 2)));
    EXPECT_TRUE(lamps_become(ui.Shape3, ui.Shape4, green, red));
    ASSERT_TRUE(pty.write(QByteArray("\xFE\xFF", 2)));
    EXPECT_TRUE(lamps_become(ui.Shape3, ui.Shape4, red, red));
    EXPECT_EQ(ui.Text2->text(), QStringLiteral(" - - "));
    EXPECT_TRUE(ask.messages.isEmpty());
}
