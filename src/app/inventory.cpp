#include "app/inventory.h"

#include "app/frm_thermometer.h"
#include "controls/check_box.h"
#include "controls/display_box.h"
#include "controls/shape.h"
#include "controls/timer.h"
#include "controls/updown.h"
#include "controls/window_font.h"
#include "serial/comm_control.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace app {

namespace {

// Positions and sizes are kept in twips, as the window was laid out; 15
// twips make a pixel.
QRect twips(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

const QStringList times = {QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif")};
const QStringList arial_black = {QStringLiteral("Arial Black"), QStringLiteral("Liberation Sans")};
const QStringList ms_sans = {QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")};
const QStringList tw_cen = {QStringLiteral("Tw Cen MT Condensed Extra Bold"),
                            QStringLiteral("Liberation Sans Narrow")};
const QStringList univers = {QStringLiteral("Univers"), QStringLiteral("Nimbus Sans")};
const QStringList schoolbook = {QStringLiteral("New Century Schoolbook"), QStringLiteral("C059")};

const QColor panel_grey(0xE0, 0xE0, 0xE0);
const QColor lamp_green(0x00, 0x80, 0x00);

class builder {
public:
    explicit builder(std::vector<QObject*>& order)
        : order_(order) {}

    template <class T> T* add(T* c, const char* name) {
        c->setObjectName(QString::fromLatin1(name));
        order_.push_back(c);
        return c;
    }

    template <class Box = QLineEdit>
    Box* text_box(QWidget* parent, const char* name, QRect r, const QFont& f,
                  const QString& text = {}) {
        auto* e = add(new Box(parent), name);
        e->setGeometry(r);
        e->setFont(f);
        e->setText(text);
        return e;
    }

    QLabel* label(QWidget* parent, const char* name, QRect r, const QFont& f, const QString& text) {
        auto* l = add(new QLabel(text, parent), name);
        l->setGeometry(r);
        l->setFont(f);
        return l;
    }

    controls::shape* lamp(QWidget* parent, const char* name, QRect r) {
        auto* s =
            add(new controls::shape(controls::shape::kind::circle, lamp_green, lamp_green, parent),
                name);
        s->setGeometry(r);
        return s;
    }

    controls::shape* panel(QWidget* parent, const char* name, QRect r, QColor fill) {
        auto* s = add(new controls::shape(controls::shape::kind::rounded_rectangle, fill,
                                          fill.darker(140), parent),
                      name);
        s->setGeometry(r);
        return s;
    }

    controls::updown* spin(QWidget* parent, const char* name, int left, int top) {
        auto* u = add(new controls::updown(parent), name);
        u->setGeometry(twips(left, top, 240, 375));
        return u;
    }

    // Enabled as designed; no timer ticks before the window's start-up is over.
    controls::timer* clock(QObject* parent, const char* name, int interval, bool enabled) {
        return add(new controls::timer(interval, enabled, parent), name);
    }

    QCheckBox* check(QWidget* parent, const char* name, QRect r, const QFont& f,
                     const QString& caption) {
        auto* c = add(new controls::check_box(caption, parent), name);
        c->setGeometry(r);
        c->setFont(f);
        return c;
    }

    QRadioButton* option(QWidget* parent, const char* name, int top, const QString& caption) {
        auto* o = add(new QRadioButton(caption, parent), name);
        o->setGeometry(twips(9720, top, 1335, 375));
        o->setFont(controls::window_font(times, 12, true));
        on_panel(o);
        return o;
    }

    static void on_panel(QWidget* w) {
        QPalette p = w->palette();
        p.setColor(QPalette::Window, panel_grey);
        w->setPalette(p);
        w->setAutoFillBackground(true);
    }

private:
    std::vector<QObject*>& order_;
};

QGroupBox* group(builder& b, QWidget* parent, const char* name, QRect r, const QString& caption,
                 const char* colour) {
    auto* g = b.add(new QGroupBox(caption, parent), name);
    g->setGeometry(r);
    g->setFont(controls::window_font(ms_sans, 13.5));
    g->setStyleSheet(QStringLiteral("QGroupBox::title { color: %1; }").arg(QLatin1String(colour)));
    return g;
}

// The window's fonts, made once.
struct fonts {
    QFont hidden = controls::window_font(ms_sans, 8.25);
    QFont threshold = controls::window_font(times, 14.25);
    QFont heading = controls::window_font(times, 14.25, true);
    QFont condensed = controls::window_font(tw_cen, 12, true);
    QFont reading = controls::window_font(arial_black, 24, true);
    QFont port = controls::window_font(univers, 14.25, true);
};

const QString deg = QStringLiteral("\u00BA");

// The controls that belong to the window itself, up to the serial control.
void build_window_controls(builder& b, QWidget* w, thermometer_controls& ui, const fonts& f) {
    ui.Text8 = b.text_box<controls::display_box>(w, "Text8", twips(0, 0, 1215, 285), f.hidden,
                                                 QStringLiteral("first"));
    ui.Text8->hide();
    ui.Command5 = b.add(new QPushButton(QStringLiteral("Change Port"), w), "Command5");
    ui.Command5->setGeometry(twips(9540, 6000, 1695, 375));
    ui.Command5->setFont(controls::window_font(schoolbook, 12));
    ui.Text7 = b.text_box<controls::display_box>(w, "Text7", twips(0, 300, 1215, 285), f.hidden,
                                                 QStringLiteral("select"));
    ui.Text7->hide();
    ui.Timer3 = b.clock(w, "Timer3", 100, true);
    ui.Timer2 = b.clock(w, "Timer2", 100, false);
    ui.Option6 = b.option(w, "Option6", 4080, QStringLiteral("1 Min"));
    ui.Check1 = b.check(w, "Check1", twips(9480, 1200, 1935, 375), f.condensed,
                        QStringLiteral("Log data to File"));
    builder::on_panel(ui.Check1);
    ui.Command7 = b.add(new QPushButton(QStringLiteral("Exit"), w), "Command7");
    ui.Command7->setGeometry(twips(9600, 6900, 1455, 495));
    ui.Command7->setFont(controls::window_font(times, 14.25, true));
    ui.Option8 = b.option(w, "Option8", 2640, QStringLiteral("5 Sec"));
    ui.Option8->setChecked(true);
    ui.Option7 = b.option(w, "Option7", 3600, QStringLiteral("30 Sec"));
    ui.Option5 = b.option(w, "Option5", 3120, QStringLiteral("10 Sec"));
    ui.Timer1 = b.clock(w, "Timer1", 1000, true);
    // UpDown1 belongs to the window, drawn over group 1 beside Text3.
    ui.UpDown1 = b.spin(w, "UpDown1", 4440, 1680);
    ui.MSComm1 = b.add(new serial::comm_control(w), "MSComm1");
}

void build_frame2(builder& b, QWidget* w, thermometer_controls& ui, const fonts& f) {
    QGroupBox* g2 = ui.Frame2 = group(b, w, "Frame2", twips(240, 4440, 8295, 3375),
                                      QStringLiteral("Temperature Sensor 2"), "#800000");
    ui.Check3 = b.check(g2, "Check3", twips(960, 2520, 1935, 375), controls::window_font(times, 12),
                        QStringLiteral("Enable Alarm"));
    ui.Text6 = b.text_box(g2, "Text6", twips(4440, 1200, 855, 375), f.threshold);
    ui.Text5 = b.text_box(g2, "Text5", twips(4440, 2280, 855, 375), f.threshold);
    ui.Text1 =
        b.text_box<controls::display_box>(g2, "Text1", twips(960, 1440, 1575, 735), f.reading);
    ui.UpDown3 = b.spin(g2, "UpDown3", 4200, 1200);
    ui.UpDown4 = b.spin(g2, "UpDown4", 4200, 2280);
    ui.Shape10 = b.lamp(g2, "Shape10", twips(5520, 2280, 375, 375));
    ui.Shape9 = b.lamp(g2, "Shape9", twips(5520, 1200, 375, 375));
    ui.Label17 = b.label(g2, "Label17", twips(4200, 720, 3600, 375), f.condensed,
                         QStringLiteral("Temperature High Threshold [%1C]").arg(deg));
    ui.Label16 = b.label(g2, "Label16", twips(4200, 1800, 3600, 375), f.condensed,
                         QStringLiteral("Temperature Low Threshold [%1C]").arg(deg));
    ui.Label15 =
        b.label(g2, "Label15", twips(6000, 1200, 975, 375), f.condensed, QStringLiteral("Alarm"));
    ui.Label14 =
        b.label(g2, "Label14", twips(6000, 2280, 975, 375), f.condensed, QStringLiteral("Alarm"));
    ui.Shape8 = b.panel(g2, "Shape8", twips(3960, 480, 4095, 2535), panel_grey);
    ui.Label2 = b.label(g2, "Label2", twips(240, 840, 3000, 375), f.heading,
                        QStringLiteral("TEMPERATURE [%1C]").arg(deg));
    ui.Label2->setAutoFillBackground(true);
}

void build_frame1(builder& b, QWidget* w, thermometer_controls& ui, const fonts& f) {
    QGroupBox* g1 = ui.Frame1 = group(b, w, "Frame1", twips(360, 480, 8175, 3255),
                                      QStringLiteral("Temperature Sensor 1"), "#0000C0");
    ui.Check2 = b.check(g1, "Check2", twips(600, 2400, 1935, 375), controls::window_font(times, 12),
                        QStringLiteral("Enable Alarm"));
    ui.Text4 = b.text_box(g1, "Text4", twips(4320, 2280, 855, 375), f.threshold);
    ui.Text3 = b.text_box(g1, "Text3", twips(4320, 1200, 855, 375), f.threshold);
    ui.Text2 =
        b.text_box<controls::display_box>(g1, "Text2", twips(840, 1320, 1575, 735), f.reading);
    ui.UpDown2 = b.spin(g1, "UpDown2", 4080, 2280);
    ui.Shape4 = b.lamp(g1, "Shape4", twips(5520, 2280, 375, 375));
    ui.Label6 =
        b.label(g1, "Label6", twips(6000, 2280, 975, 375), f.condensed, QStringLiteral("Alarm"));
    ui.Label5 =
        b.label(g1, "Label5", twips(6000, 1200, 975, 375), f.condensed, QStringLiteral("Alarm"));
    ui.Shape3 = b.lamp(g1, "Shape3", twips(5520, 1200, 375, 375));
    ui.Label4 = b.label(g1, "Label4", twips(4080, 1800, 3600, 375), f.condensed,
                        QStringLiteral("Temperature Low Threshold [%1C]").arg(deg));
    ui.Label3 = b.label(g1, "Label3", twips(4080, 720, 3600, 375), f.condensed,
                        QStringLiteral("Temperature High Threshold [%1C]").arg(deg));
    ui.Shape1 = b.panel(g1, "Shape1", twips(3840, 480, 4095, 2535), panel_grey);
    ui.Label1 = b.label(g1, "Label1", twips(120, 720, 3000, 375), f.heading,
                        QStringLiteral("TEMPERATURE [%1C]").arg(deg));
    ui.Label1->setAutoFillBackground(true);
}

// The port panel, the sample time panel and the stacking and keyboard order.
void build_panels(builder& b, QWidget* w, thermometer_controls& ui, const fonts& f) {
    ui.Label8 = b.label(w, "Label8", twips(10560, 5520, 855, 375), f.port, QString());
    ui.Label9 = b.label(w, "Label9", twips(9720, 5520, 855, 375), f.port, QStringLiteral("PORT "));
    ui.Shape2 = b.panel(w, "Shape2", twips(9240, 5400, 2295, 1095), QColor(0xFF, 0xFF, 0xC0));
    ui.Shape6 = b.panel(w, "Shape6", twips(9180, 6600, 2295, 1095), panel_grey);
    ui.Label7 =
        b.label(w, "Label7", twips(9720, 2040, 1575, 375),
                controls::window_font(tw_cen, 12, true, true), QStringLiteral("Sample Time"));
    ui.Shape5 = b.panel(w, "Shape5", twips(9240, 960, 2295, 4095), panel_grey);

    // Shapes are drawn beneath the other controls of their container.
    for (controls::shape* s : {ui.Shape8, ui.Shape1, ui.Shape2, ui.Shape6, ui.Shape5})
        s->lower();
    // UpDown1 is the window's own, drawn over group 1, which was made later.
    ui.UpDown1->raise();

    // Keyboard order; labels, group boxes and hidden boxes take no focus.
    const QList<QWidget*> tab_order = {
        ui.Text1,    ui.Text2,   ui.Text3,   ui.Text4,   ui.Check2,  ui.Text5,    ui.Text6,
        ui.Check3,   ui.UpDown1, ui.UpDown2, ui.UpDown3, ui.Option5, ui.Option7,  ui.Option8,
        ui.Command7, ui.Check1,  ui.Option6, ui.Text7,   ui.UpDown4, ui.Command5, ui.Text8};
    for (qsizetype i = 1; i < tab_order.size(); ++i)
        QWidget::setTabOrder(tab_order[i - 1], tab_order[i]);
}

} // namespace

void build_inventory(QWidget* w, thermometer_controls& ui, std::vector<QObject*>& order) {
    builder b(order);
    const fonts f;
    // The window's control order is the order of creation: the parts follow it.
    build_window_controls(b, w, ui, f);
    build_frame2(b, w, ui, f);
    build_frame1(b, w, ui, f);
    build_panels(b, w, ui, f);
}

void name_for_screen_readers(const alarms::sensor_roles& sensors) {
    for (const alarms::sensor_role& s : sensors) {
        const QString sensor = QStringLiteral("Sensor %1").arg(s.number);
        s.reading->setAccessibleName(sensor + QStringLiteral(" temperature"));
        s.alarm_switch->setAccessibleName(QStringLiteral("Enable sensor %1 alarm").arg(s.number));
        s.high_text->setAccessibleName(sensor + QStringLiteral(" high threshold"));
        s.high_spin->set_accessible_subject(sensor + QStringLiteral(" high threshold"));
        s.low_text->setAccessibleName(sensor + QStringLiteral(" low threshold"));
        s.low_spin->set_accessible_subject(sensor + QStringLiteral(" low threshold"));
    }
}

} // namespace app
