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
    app::frm_thermometer w{app::window_seams{ask}};
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
    EXPECT_EQ(ui.Shape10->shape_kind(), controls::shape::kind::circle);
    EXPECT_EQ(ui.Shape1->shape_kind(), controls::shape::kind::rounded_rectangle);
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

namespace {

// Place and size in twips within the container, the font's face, size in
// points and style, and the caption or text a control shows at design time.
// Controls that draw no text have no face; timers and the serial control
// are not drawn at all.
enum style { plain = 0, bold = 1, underline = 2 };
struct layout_row {
    const char* name;
    const char* container;
    QRect twips;
    const char* face;
    double points;
    int style;
    const char* shown;
};

const QRect not_drawn;
const char* const win = "frm_thermometer";
const char* const g1 = "Frame1";
const char* const g2 = "Frame2";
const char* const ms = "MS Sans Serif";
const char* const times = "Times New Roman";
const char* const tw_cen = "Tw Cen MT Condensed Extra Bold";
const char* const arial_black = "Arial Black";
const char* const univers = "Univers";
const char* const schoolbook = "New Century Schoolbook";
const char* const high_heading = "Temperature High Threshold [\u00BAC]";
const char* const low_heading = "Temperature Low Threshold [\u00BAC]";
const char* const reading_heading = "TEMPERATURE [\u00BAC]";
const layout_row layout[] = {
    {"Text8", win, {0, 0, 1215, 285}, ms, 8.25, plain, "first"},
    {"Command5", win, {9540, 6000, 1695, 375}, schoolbook, 12, plain, "Change Port"},
    {"Text7", win, {0, 300, 1215, 285}, ms, 8.25, plain, "select"},
    {"Timer3", win, not_drawn, nullptr, 0, plain, ""},
    {"Timer2", win, not_drawn, nullptr, 0, plain, ""},
    {"Option6", win, {9720, 4080, 1335, 375}, times, 12, bold, "1 Min"},
    {"Check1", win, {9480, 1200, 1935, 375}, tw_cen, 12, bold, "Log data to File"},
    {"Command7", win, {9600, 6900, 1455, 495}, times, 14.25, bold, "Exit"},
    {"Option8", win, {9720, 2640, 1335, 375}, times, 12, bold, "5 Sec"},
    {"Option7", win, {9720, 3600, 1335, 375}, times, 12, bold, "30 Sec"},
    {"Option5", win, {9720, 3120, 1335, 375}, times, 12, bold, "10 Sec"},
    {"Timer1", win, not_drawn, nullptr, 0, plain, ""},
    {"UpDown1", win, {4440, 1680, 240, 375}, nullptr, 0, plain, ""},
    {"MSComm1", win, not_drawn, nullptr, 0, plain, ""},
    {"Frame2", win, {240, 4440, 8295, 3375}, ms, 13.5, plain, "Temperature Sensor 2"},
    {"Check3", g2, {960, 2520, 1935, 375}, times, 12, plain, "Enable Alarm"},
    {"Text6", g2, {4440, 1200, 855, 375}, times, 14.25, plain, ""},
    {"Text5", g2, {4440, 2280, 855, 375}, times, 14.25, plain, ""},
    {"Text1", g2, {960, 1440, 1575, 735}, arial_black, 24, bold, ""},
    {"UpDown3", g2, {4200, 1200, 240, 375}, nullptr, 0, plain, ""},
    {"UpDown4", g2, {4200, 2280, 240, 375}, nullptr, 0, plain, ""},
    {"Shape10", g2, {5520, 2280, 375, 375}, nullptr, 0, plain, ""},
    {"Shape9", g2, {5520, 1200, 375, 375}, nullptr, 0, plain, ""},
    {"Label17", g2, {4200, 720, 3600, 375}, tw_cen, 12, bold, high_heading},
    {"Label16", g2, {4200, 1800, 3600, 375}, tw_cen, 12, bold, low_heading},
    {"Label15", g2, {6000, 1200, 975, 375}, tw_cen, 12, bold, "Alarm"},
    {"Label14", g2, {6000, 2280, 975, 375}, tw_cen, 12, bold, "Alarm"},
    {"Shape8", g2, {3960, 480, 4095, 2535}, nullptr, 0, plain, ""},
    {"Label2", g2, {240, 840, 3000, 375}, times, 14.25, bold, reading_heading},
    {"Frame1", win, {360, 480, 8175, 3255}, ms, 13.5, plain, "Temperature Sensor 1"},
    {"Check2", g1, {600, 2400, 1935, 375}, times, 12, plain, "Enable Alarm"},
    {"Text4", g1, {4320, 2280, 855, 375}, times, 14.25, plain, ""},
    {"Text3", g1, {4320, 1200, 855, 375}, times, 14.25, plain, ""},
    {"Text2", g1, {840, 1320, 1575, 735}, arial_black, 24, bold, ""},
    {"UpDown2", g1, {4080, 2280, 240, 375}, nullptr, 0, plain, ""},
    {"Shape4", g1, {5520, 2280, 375, 375}, nullptr, 0, plain, ""},
    {"Label6", g1, {6000, 2280, 975, 375}, tw_cen, 12, bold, "Alarm"},
    {"Label5", g1, {6000, 1200, 975, 375}, tw_cen, 12, bold, "Alarm"},
    {"Shape3", g1, {5520, 1200, 375, 375}, nullptr, 0, plain, ""},
    {"Label4", g1, {4080, 1800, 3600, 375}, tw_cen, 12, bold, low_heading},
    {"Label3", g1, {4080, 720, 3600, 375}, tw_cen, 12, bold, high_heading},
    {"Shape1", g1, {3840, 480, 4095, 2535}, nullptr, 0, plain, ""},
    {"Label1", g1, {120, 720, 3000, 375}, times, 14.25, bold, reading_heading},
    {"Label8", win, {10560, 5520, 855, 375}, univers, 14.25, bold, ""},
    {"Label9", win, {9720, 5520, 855, 375}, univers, 14.25, bold, "PORT "},
    {"Shape2", win, {9240, 5400, 2295, 1095}, nullptr, 0, plain, ""},
    {"Shape6", win, {9180, 6600, 2295, 1095}, nullptr, 0, plain, ""},
    {"Label7", win, {9720, 2040, 1575, 375}, tw_cen, 12, bold | underline, "Sample Time"},
    {"Shape5", win, {9240, 960, 2295, 4095}, nullptr, 0, plain, ""},
};

} // namespace

TEST_F(window_fixture, every_control_has_its_place_font_and_caption) {
    ASSERT_EQ(std::size(layout), w.controls().size());
    for (std::size_t i = 0; i < std::size(layout); ++i) {
        const layout_row& row = layout[i];
        SCOPED_TRACE(row.name);
        QObject* c = w.controls()[i];
        ASSERT_EQ(c->objectName(), QLatin1String(row.name));
        EXPECT_EQ(c->parent()->objectName(), QLatin1String(row.container));
        auto* drawn = qobject_cast<QWidget*>(c);
        ASSERT_EQ(drawn != nullptr, !row.twips.isNull());
        if (!drawn)
            continue;
        const QRect& t = row.twips;
        EXPECT_EQ(drawn->geometry(),
                  QRect(t.x() / 15, t.y() / 15, t.width() / 15, t.height() / 15));
        const QString shown = controls::caption_of(c).value_or(controls::text_of(c).value_or(""));
        EXPECT_EQ(shown, QString::fromUtf8(row.shown));
        if (!row.face)
            continue;
        const QFont f = drawn->font();
        EXPECT_EQ(f.families().value(0), QLatin1String(row.face));
        EXPECT_EQ(f.pixelSize(), qRound(row.points * 96 / 72));
        EXPECT_EQ(f.bold(), (row.style & bold) != 0);
        EXPECT_EQ(f.underline(), (row.style & underline) != 0);
    }
}

TEST_F(window_fixture, tab_order_runs_as_laid_out_and_tab_follows_it) {
    const char* const tab_order[] = {
        "Frame1",  "Frame2",  "Label1",   "Label2",   "Text1",   "Text2",   "Label3",  "Label4",
        "Text3",   "Label5",  "Text4",    "Label6",   "Check2",  "Text5",   "Text6",   "Label14",
        "Label15", "Label16", "Label17",  "Check3",   "UpDown1", "UpDown2", "UpDown3", "Option5",
        "Option7", "Option8", "Label7",   "Command7", "Check1",  "Option6", "Text7",   "UpDown4",
        "Label9",  "Label8",  "Command5", "Text8"};
    // Labels and group boxes are in the order but never take the focus.
    QStringList takes_focus;
    for (const char* name : tab_order) {
        auto* c = qobject_cast<QWidget*>(w.control(QString::fromLatin1(name)));
        ASSERT_NE(c, nullptr) << name;
        const bool passive =
            QByteArray(name).startsWith("Label") || QByteArray(name).startsWith("Frame");
        EXPECT_EQ(c->focusPolicy() == Qt::NoFocus, passive) << name;
        if (!passive)
            takes_focus << c->objectName();
    }
    // The chain is a ring through the window; it is read from the first control.
    QStringList chain;
    for (QWidget* x = w.nextInFocusChain(); x != &w; x = x->nextInFocusChain())
        if (takes_focus.contains(x->objectName()))
            chain << x->objectName();
    const qsizetype first = chain.indexOf(takes_focus.front());
    chain = chain.mid(first) + chain.first(first);
    EXPECT_EQ(chain.join(u' ').toStdString(), takes_focus.join(u' ').toStdString());

    // Tab skips the hidden boxes, and the four sample-time options, one
    // group, are one stop (the arrow keys move within them); the window
    // opens on the first control and Tab goes round.
    QStringList expected;
    bool options_seen = false;
    for (const QString& name : takes_focus) {
        auto* c = qobject_cast<QWidget*>(w.control(name));
        const bool option = qobject_cast<QRadioButton*>(c) != nullptr;
        if (c->isHidden() || (option && options_seen))
            continue;
        options_seen = options_seen || option;
        expected << name;
    }
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QStringList tabbed;
    for (qsizetype i = 0; i <= expected.size(); ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << tabbed.join(u' ').toStdString();
        tabbed << focus->objectName();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    EXPECT_EQ(tabbed.join(u' ').toStdString(),
              (expected.join(u' ') + u' ' + expected.front()).toStdString());
}

TEST(updown_control, steps_within_range_and_notifies_only_real_changes) {
    controls::updown u;
    int notes = 0;
    QObject::connect(&u, &controls::updown::value_changed, &u, [&] { ++notes; });
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
    const QImage icon = controls::thermometer_image();
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
