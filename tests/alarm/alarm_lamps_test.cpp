#include "alarm/alarm_lamps.h"
#include "alarm/install.h"
#include "alarm/lamp_colors.h"
#include "app/frm_thermometer.h"
#include "controls/properties.h"
#include "controls/shape.h"
#include "controls/timer.h"
#include "support/feature_controls.h"
#include "support/recording_prompts.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QColor red(QStringLiteral("#FF0000"));
const QColor green(QStringLiteral("#008000"));
const QColor white(QStringLiteral("#FFFFFF"));

QString deg(const char* n) {
    return QString::fromLatin1(n) + QStringLiteral("\u00BAC");
}

std::string colour_name(QColor c) {
    return c == red ? "red" : c == green ? "green" : c == white ? "white" : c.name().toStdString();
}

// Lets the real timer run once, also when it rests for want of anything new;
// the lamps' handler is connected before the spy, so it has run when the spy
// sees the tick.
void wait_tick(controls::timer* t) {
    ASSERT_TRUE(t->enabled());
    t->wake();
    QSignalSpy ticks(t, &controls::timer::tick);
    ASSERT_TRUE(ticks.wait(5000));
}

QString description(QWidget* w) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Description) : QString();
}

// How often a lamp's colour changes: a lamp repaints only then.
struct colour_changes {
    QSignalSpy high, low;
    explicit colour_changes(const alarms::sensor_role& s)
        : high(s.high_lamp, &controls::shape::fill_changed)
        , low(s.low_lamp, &controls::shape::fill_changed) {}
    qsizetype count() const { return high.count() + low.count(); }
};

// Both sensors' controls with the alarm feature alone installed on them.
struct lamp_fixture : ::testing::TestWithParam<int> {
    recording_prompts ask;
    feature_controls panel;
    const alarms::sensor_role& s = panel.sensors[static_cast<std::size_t>(GetParam() - 1)];
    const alarms::sensor_role& other = panel.sensors[static_cast<std::size_t>(2 - GetParam())];

    lamp_fixture() {
        QLocale::setDefault(QLocale::c());
        alarms::install(panel.sensors, ask);
        panel.release_timers();
        panel.window.show();
    }
    ~lamp_fixture() override { QLocale::setDefault(QLocale::system()); }

    void click(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton); }
    // Named at each call: high and low swapped would still light lamps, the wrong ones.
    struct texts {
        QString reading, high, low;
    };
    void set_texts(const texts& t) {
        s.reading->setText(t.reading);
        s.high_text->setText(t.high);
        s.low_text->setText(t.low);
    }
};

} // namespace

TEST_P(lamp_fixture, lamps_follow_reading_and_thresholds_at_each_tick) {
    struct row {
        QString reading, high, low;
        QColor high_lamp, low_lamp;
    };
    const QString none = QStringLiteral(" - - ");
    const row table[] = {
        {deg("25"), "30", "10", green, green},
        {deg("25"), "20", "10", red, green}, // the high threshold moved below the reading
        {deg("30"), "30", "10", red, green},
        {deg("31"), "30", "10", red, green},
        {deg("10"), "30", "10", green, red},
        {deg("9"), "30", "10", green, red},
        {deg("100"), "30", "10", red, green},
        {deg("0"), "30", "0", green, red},
        {deg("35"), "30", "40", red, red},
        {deg("124"), "125", "0", green, green},
        // A comparison that lacks a number shows the alarm.
        {none, "30", "10", red, red},
        {"- -", "30", "10", red, red},
        {"", "30", "10", red, red},
        {"abc", "30", "10", red, red},
        {deg("25"), "30", "10", green, green},
        {deg("25"), "", "10", red, green},
        {deg("25"), "30", "abc", green, red},
        {deg("25"), "- -", " - - ", red, red},
    };

    click(s.alarm_switch);
    ASSERT_EQ(controls::check_value(s.alarm_switch), 1);
    ASSERT_TRUE(s.lamp_timer->enabled());
    for (const row& r : table) {
        SCOPED_TRACE("reading \"" + r.reading.toStdString() + "\", high \"" + r.high.toStdString() +
                     "\", low \"" + r.low.toStdString() + "\"");
        const QColor high_before = s.high_lamp->fill_color();
        const QColor low_before = s.low_lamp->fill_color();
        set_texts({.reading = r.reading, .high = r.high, .low = r.low});
        ASSERT_EQ(s.high_text->text(), r.high);
        ASSERT_EQ(s.low_text->text(), r.low);
        // Nothing changes before the tick.
        EXPECT_EQ(s.high_lamp->fill_color(), high_before);
        EXPECT_EQ(s.low_lamp->fill_color(), low_before);
        wait_tick(s.lamp_timer);
        EXPECT_EQ(colour_name(s.high_lamp->fill_color()), colour_name(r.high_lamp));
        EXPECT_EQ(colour_name(s.low_lamp->fill_color()), colour_name(r.low_lamp));
    }
    EXPECT_TRUE(ask.messages.isEmpty());
}

TEST_P(lamp_fixture, alarm_switch_starts_and_stops_its_own_sensor_only) {
    click(s.alarm_switch);
    click(other.alarm_switch);
    set_texts({.reading = deg("35"), .high = QStringLiteral("30"), .low = QStringLiteral("10")});
    wait_tick(s.lamp_timer);
    wait_tick(other.lamp_timer);
    ASSERT_EQ(s.high_lamp->fill_color(), red);
    ASSERT_EQ(s.low_lamp->fill_color(), green);
    const QColor other_high = other.high_lamp->fill_color();
    const colour_changes other_changes(other);

    // Off: timer stopped and both lamps white at once; the other sensor untouched.
    click(s.alarm_switch);
    EXPECT_EQ(controls::check_value(s.alarm_switch), 0);
    EXPECT_FALSE(s.lamp_timer->enabled());
    EXPECT_EQ(s.high_lamp->fill_color(), white);
    EXPECT_EQ(s.low_lamp->fill_color(), white);
    EXPECT_EQ(other_changes.count(), 0);
    EXPECT_EQ(other.high_lamp->fill_color(), other_high);
    EXPECT_TRUE(other.lamp_timer->enabled());

    // White whatever the reading does meanwhile.
    s.reading->setText(deg("5"));
    wait_tick(other.lamp_timer);
    wait_tick(other.lamp_timer);
    EXPECT_EQ(s.high_lamp->fill_color(), white);
    EXPECT_EQ(s.low_lamp->fill_color(), white);

    // On again: white until the next tick, which colours from the reading now.
    click(s.alarm_switch);
    EXPECT_TRUE(s.lamp_timer->enabled());
    EXPECT_EQ(s.high_lamp->fill_color(), white);
    EXPECT_EQ(s.low_lamp->fill_color(), white);
    wait_tick(s.lamp_timer);
    EXPECT_EQ(s.high_lamp->fill_color(), green);
    EXPECT_EQ(s.low_lamp->fill_color(), red);

    // Greyed changes nothing, whether the alarm was on or off.
    controls::set_check_value(s.alarm_switch, 2);
    EXPECT_TRUE(s.lamp_timer->enabled());
    EXPECT_EQ(s.low_lamp->fill_color(), red);
    controls::set_check_value(s.alarm_switch, 0);
    controls::set_check_value(s.alarm_switch, 2);
    EXPECT_FALSE(s.lamp_timer->enabled());
    EXPECT_EQ(s.low_lamp->fill_color(), white);
}

TEST_P(lamp_fixture, lamps_repaint_on_change_only_and_say_what_they_show) {
    click(s.alarm_switch);
    set_texts({.reading = deg("35"), .high = QStringLiteral("30"), .low = QStringLiteral("10")});
    wait_tick(s.lamp_timer);
    ASSERT_EQ(s.high_lamp->fill_color(), red);
    const colour_changes changes(s);
    for (int i = 0; i < 3; ++i)
        wait_tick(s.lamp_timer);
    EXPECT_EQ(changes.count(), 0);

    // What reaches the screen is #FF0000, not the platform value's byte order.
    const QImage high_img = s.high_lamp->grab().toImage();
    EXPECT_EQ(high_img.pixelColor(high_img.rect().center()), red);

    EXPECT_EQ(description(s.high_lamp), QStringLiteral("High alarm"));
    EXPECT_EQ(s.high_lamp->toolTip(), QStringLiteral("High alarm"));
    EXPECT_EQ(description(s.low_lamp), QStringLiteral("Normal"));
    EXPECT_TRUE(s.high_lamp->accessibleName().contains(QString::number(GetParam())));
    // The lamp itself is under the mouse, so its tooltip can show.
    const QPoint centre = s.high_lamp->mapTo(&panel.window, s.high_lamp->rect().center());
    EXPECT_EQ(panel.window.childAt(centre), s.high_lamp);

    s.reading->setText(deg("10"));
    wait_tick(s.lamp_timer);
    EXPECT_EQ(description(s.high_lamp), QStringLiteral("Normal"));
    EXPECT_EQ(description(s.low_lamp), QStringLiteral("Low alarm"));
    EXPECT_EQ(s.low_lamp->toolTip(), QStringLiteral("Low alarm"));

    click(s.alarm_switch);
    EXPECT_EQ(description(s.high_lamp), QStringLiteral("Alarm off"));
    EXPECT_EQ(s.low_lamp->toolTip(), QStringLiteral("Alarm off"));
}

INSTANTIATE_TEST_SUITE_P(both_sensors, lamp_fixture, ::testing::Values(1, 2),
                         [](const auto& info) { return "sensor" + std::to_string(info.param); });

TEST(alarm_start_up, switches_set_timers_and_lamps_as_a_click_would) {
    recording_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    const auto& ui = w.ui();
    // A first start: both alarms off, Timer3 still running as designed.
    ASSERT_TRUE(ui.Timer3->enabled());
    EXPECT_EQ(description(ui.Shape10), QStringLiteral("Normal"));
    alarms::apply_alarm_switches(w.sensors());
    EXPECT_FALSE(ui.Timer2->enabled());
    EXPECT_FALSE(ui.Timer3->enabled());
    for (controls::shape* lamp : {ui.Shape3, ui.Shape4, ui.Shape9, ui.Shape10}) {
        EXPECT_EQ(lamp->fill_color(), white) << lamp->objectName().toStdString();
        EXPECT_EQ(description(lamp), QStringLiteral("Alarm off"));
    }

    // Restored as on and greyed: Timer2 runs and the lamps wait for its
    // first tick; sensor 2 is left exactly as it was.
    recording_prompts ask2;
    app::frm_thermometer w2{app::window_seams{ask2}};
    const auto& ui2 = w2.ui();
    controls::set_check_value(ui2.Check2, 1);
    controls::set_check_value(ui2.Check3, 2);
    alarms::apply_alarm_switches(w2.sensors());
    EXPECT_TRUE(ui2.Timer2->enabled());
    EXPECT_TRUE(ui2.Timer3->enabled());
    for (controls::shape* lamp : {ui2.Shape3, ui2.Shape4, ui2.Shape9, ui2.Shape10})
        EXPECT_EQ(lamp->fill_color(), green) << lamp->objectName().toStdString();
}

TEST_P(lamp_fixture, an_idle_alarm_timer_rests_until_a_text_changes) {
    click(s.alarm_switch);
    set_texts({.reading = deg("25"), .high = QStringLiteral("30"), .low = QStringLiteral("10")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.lamp_timer->ticking(); }, 5000));
    EXPECT_TRUE(s.lamp_timer->enabled());
    EXPECT_EQ(s.high_lamp->fill_color(), green);
    // A new reading shows within a tick.
    s.reading->setText(deg("31"));
    EXPECT_TRUE(s.lamp_timer->ticking());
    EXPECT_TRUE(QTest::qWaitFor([&] { return s.high_lamp->fill_color() == red; }, 5000));
    // So does a threshold.
    s.low_text->setText(QStringLiteral("40"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return s.low_lamp->fill_color() == red; }, 5000));
}

TEST(alarm_colours, the_platform_value_keeps_red_in_its_low_byte) {
    EXPECT_EQ(alarms::from_platform_value(0x00C0FFEE), QColor(0xEE, 0xFF, 0xC0));
}
