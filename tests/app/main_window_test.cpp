#include "app/frm_thermometer.h"
#include "controls/properties.h"
#include "controls/shape.h"
#include "controls/thermometer_icon.h"
#include "controls/updown.h"
#include "support/recording_prompts.h"

#include "controls/timer.h"
#include "serial/comm_control.h"
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct window_fixture : ::testing::Test {
    recording_prompts ask;
    frm_thermometer w{window_seams{ask}};
};

const char* const inventory[] = {
    "Text8",    "Command5", "Text7",   "Timer3",  "Timer2",  "Option6", "Check1",
    "Command7", "Option8",  "Option7", "Option5", "Timer1",  "UpDown1", "MSComm1",
    "Frame2",   "Check3",   "Text6",   "Text5",   "Text1",   "UpDown3", "UpDown4",
    "Shape10",  "Shape9",   "Label17", "Label16", "Label15", "Label14", "Shape8",
    "Label2",   "Frame1",   "Check2",  "Text4",   "Text3",   "Text2",   "UpDown2",
    "Shape4",   "Label6",   "Label5",  "Shape3",  "Label4",  "Label3",  "Shape1",
    "Label1",   "Label8",   "Label9",  "Shape2",  "Shape6",  "Label7",  "Shape5"};

} // namespace

TEST_F(window_fixture, enumerates_49_controls_in_window_order) {
    ASSERT_EQ(w.controls().size(), 49u);
    for (std::size_t i = 0; i < 49; ++i)
        EXPECT_EQ(w.controls()[i]->objectName(), QLatin1String(inventory[i]))
            << "position " << i + 1;
    EXPECT_EQ(w.controls()[12]->objectName(), QLatin1String("UpDown1"));
    for (const char* name : inventory)
        EXPECT_EQ(w.control(QString::fromLatin1(name))->objectName(), QLatin1String(name));
    EXPECT_EQ(w.control(u"text8"), nullptr) << "names are matched with their letter case";
}

TEST_F(window_fixture, kinds_and_containers_are_as_laid_out) {
    using controls::control_kind;
    const auto& ui = w.ui();
    EXPECT_EQ(controls::kind_of(ui.Text8), control_kind::text_box);
    // What the settings walk finds on the kinds it neither saves nor types.
    for (const QObject* c :
         {static_cast<const QObject*>(ui.MSComm1), static_cast<const QObject*>(ui.Shape5),
          static_cast<const QObject*>(ui.Timer2)}) {
        EXPECT_EQ(controls::kind_of(c), control_kind::other) << c->objectName().toStdString();
        EXPECT_FALSE(controls::caption_of(c) || controls::value_of(c));
    }
    EXPECT_EQ(controls::value_of(ui.UpDown4), 0);
    EXPECT_FALSE(controls::caption_of(ui.UpDown4));
    EXPECT_EQ(controls::caption_of(ui.Frame1), QStringLiteral("Temperature Sensor 1"));
    EXPECT_FALSE(controls::value_of(ui.Frame1));
    EXPECT_EQ(ui.UpDown1->parent(), &w);
    EXPECT_EQ(ui.UpDown2->parent(), ui.Frame1);
    EXPECT_EQ(ui.Text1->parent(), ui.Frame2);
    EXPECT_EQ(ui.Check1->parent(), &w);
    // UpDown1 sits directly left of Text3, in window coordinates.
    const QPoint text3 = ui.Text3->mapTo(&w, QPoint(0, 0));
    EXPECT_EQ(ui.UpDown1->geometry().right() + 1, text3.x());
    EXPECT_EQ(ui.UpDown1->y(), text3.y());
    EXPECT_EQ(w.size(), QSize(792, 554));
    EXPECT_EQ(ui.Text2->geometry(), QRect(56, 88, 105, 49));
    EXPECT_EQ(ui.Command5->geometry(), QRect(636, 400, 113, 25));
}

TEST_F(window_fixture, design_time_defaults) {
    const auto& ui = w.ui();
    EXPECT_EQ(ui.Text8->text(), QLatin1String("first"));
    EXPECT_EQ(ui.Text7->text(), QLatin1String("select"));
    EXPECT_TRUE(ui.Text7->isHidden());
    EXPECT_TRUE(ui.Text8->isHidden());
    EXPECT_TRUE(ui.Timer3->enabled());
    EXPECT_FALSE(ui.Timer2->enabled());
    EXPECT_TRUE(ui.Timer1->enabled());
    EXPECT_EQ(ui.Timer1->interval(), 1000);
    EXPECT_EQ(ui.Timer2->interval(), 100);
    EXPECT_TRUE(ui.Option8->isChecked());
    EXPECT_FALSE(ui.Option5->isChecked() || ui.Option6->isChecked() || ui.Option7->isChecked());
    EXPECT_EQ(ui.Label9->text(), QLatin1String("PORT "));
    EXPECT_EQ(ui.Label8->text(), QString());
    EXPECT_EQ(ui.Label3->text(), QString::fromUtf8("Temperature High Threshold [\u00BAC]"));
    EXPECT_EQ(ui.Frame2->title(), QLatin1String("Temperature Sensor 2"));
    EXPECT_EQ(ui.Shape3->fill_color(), QColor(0x00, 0x80, 0x00));
    EXPECT_EQ(ui.Shape10->shape_kind(), shape::kind::circle);
    EXPECT_EQ(ui.Shape1->shape_kind(), shape::kind::rounded_rectangle);
    EXPECT_EQ(ui.Shape2->fill_color(), QColor(0xFF, 0xFF, 0xC0));
    EXPECT_EQ(controls::check_value(ui.Check2), 0);
    EXPECT_EQ(ui.UpDown3->value(), 0);
    EXPECT_EQ(w.windowTitle(), QLatin1String("KESTROVA"));
    EXPECT_EQ(ui.Timer3->interval(), 100);
    EXPECT_TRUE(ui.Label7->font().underline());
    // 9 pt and 24 pt at 96 dots per inch.
    EXPECT_EQ(w.font().pixelSize(), 12);
    EXPECT_EQ(ui.Text1->font().pixelSize(), 32);
    // Sample times top to bottom: 5 s, 10 s, 30 s, 1 min.
    EXPECT_LT(ui.Option8->y(), ui.Option5->y());
    EXPECT_LT(ui.Option5->y(), ui.Option7->y());
    EXPECT_LT(ui.Option7->y(), ui.Option6->y());
    for (QWidget* c : {static_cast<QWidget*>(ui.Check1), static_cast<QWidget*>(ui.Option6)})
        EXPECT_EQ(c->palette().color(QPalette::Window), QColor(0xE0, 0xE0, 0xE0));
    // The window's own colour is #0000C0; its controls keep the standard text colour.
    EXPECT_EQ(w.palette().color(QPalette::WindowText), QColor(0x00, 0x00, 0xC0));
    for (QWidget* c : {static_cast<QWidget*>(ui.Label9), static_cast<QWidget*>(ui.Label3),
                       static_cast<QWidget*>(ui.Check2)})
        EXPECT_EQ(c->palette().color(QPalette::WindowText),
                  QApplication::palette().color(QPalette::WindowText))
            << c->objectName().toStdString();
    EXPECT_EQ(w.windowIcon().availableSizes().value(0), QSize(32, 32));
}

TEST_F(window_fixture, keyboard_order_follows_the_layout) {
    const auto& ui = w.ui();
    EXPECT_EQ(ui.Text1->nextInFocusChain(), ui.Text2);
    EXPECT_EQ(ui.Check3->nextInFocusChain(), ui.UpDown1);
    EXPECT_EQ(ui.Command7->nextInFocusChain(), ui.Check1);
}

TEST(updown_control, steps_within_range_and_notifies_only_real_changes) {
    updown u;
    int notes = 0;
    QObject::connect(&u, &updown::value_changed, &u, [&] { ++notes; });
    EXPECT_TRUE(u.set_value(0));
    EXPECT_EQ(notes, 0);
    u.step_by(1);
    EXPECT_EQ(u.value(), 1);
    EXPECT_FALSE(u.set_value(126));
    EXPECT_FALSE(u.set_value(-1));
    EXPECT_EQ(u.value(), 1);
    EXPECT_TRUE(u.set_value(125));
    u.step_by(1);
    EXPECT_EQ(u.value(), 125);
    EXPECT_EQ(notes, 2);
}

TEST(thermometer_icon, is_drawn_in_colours_of_the_16_colour_palette) {
    const QImage icon = thermometer_image();
    ASSERT_EQ(icon.size(), QSize(32, 32));
    const QSet<QRgb> vga = {0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
                            0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
                            0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};
    QSet<QRgb> used;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            used.insert(icon.pixel(x, y));
    for (QRgb c : used)
        EXPECT_TRUE(vga.contains(c)) << std::hex << c;
    EXPECT_TRUE(used.contains(0xFFFFFF00) && used.contains(0xFFFF0000))
        << "yellow ground, red bulb";
}
