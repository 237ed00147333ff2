#include "app/frm_thermometer.h"

#include "alarm/install.h"
#include "app/inventory.h"
#include "app/port_event.h"
#include "controls/thermometer_icon.h"
#include "controls/timer.h"
#include "controls/window_font.h"
#include "datalog/install.h"
#include "rules/text.h"
#include "serial/comm_control.h"

#include <QAction>
#include <QCloseEvent>

namespace app {

frm_thermometer::frm_thermometer(window_seams seams, QWidget* parent)
    : QWidget(parent)
    , seams_(std::move(seams)) {
    setObjectName(QStringLiteral("frm_thermometer"));
    setWindowTitle(rules::app_title);
    setWindowIcon(controls::thermometer_icon());
    setFont(controls::window_font(
        {QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif")}, 9));
    setFixedSize(792, 554);
    controls_.reserve(49);
    build_inventory(this, ui_, controls_);
    sensors_ = {{{1, ui_.Text2, ui_.Check2, ui_.Timer2, ui_.Text3, ui_.UpDown1, ui_.Shape3,
                  ui_.Text4, ui_.UpDown2, ui_.Shape4},
                 {2, ui_.Text1, ui_.Check3, ui_.Timer3, ui_.Text6, ui_.UpDown3, ui_.Shape9,
                  ui_.Text5, ui_.UpDown4, ui_.Shape10}}};
    logging_ = {ui_.Check1,  ui_.Option8, ui_.Option5, ui_.Option7,
                ui_.Option6, ui_.Timer1,  ui_.Text2,   ui_.Text1};
    name_for_screen_readers(sensors_);
    // The window's own colour, #0000C0, is its foreground. The window draws
    // no text of its own, and every control keeps the standard text colour.
    const QColor standard_text = palette().color(QPalette::WindowText);
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QPalette p = child->palette();
        p.setColor(QPalette::WindowText, standard_text);
        child->setPalette(p);
    }
    QPalette own = palette();
    own.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xC0));
    setPalette(own);

    const port_event_fields fields{ui_.MSComm1, ui_.Text8, ui_.Text2, ui_.Text1, &caption_};
    connect(ui_.MSComm1, &serial::comm_control::on_comm, this, [this, fields] {
        const rules::decoder::target written = on_port_event(fields);
        if (written != rules::decoder::target::none)
            Q_EMIT reading_received(written == rules::decoder::target::sensor1 ? 1 : 2);
    });
    // On a real display every new title is a round trip to the server, so
    // it gets the caption once per batch of bytes; the operator sees the same.
    connect(ui_.MSComm1, &serial::comm_control::batch_delivered, this,
            [this] { setWindowTitle(caption_); });
    // The history chart is reached without a control of its own: from the
    // window's context menu, by Ctrl+H, or by double-clicking a reading.
    auto* history = new QAction(QStringLiteral("History\u2026"), this);
    history->setObjectName(QStringLiteral("history_action"));
    history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    addAction(history);
    // Publishing, notifications and the port map, by the context menu or Ctrl+,.
    auto* settings = new QAction(QStringLiteral("Settings\u2026"), this);
    settings->setObjectName(QStringLiteral("settings_action"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    addAction(settings);
    // Each sensor's alarm, and where it is acknowledged, by the context menu or Ctrl+L.
    auto* alarms = new QAction(QStringLiteral("Alarms\u2026"), this);
    alarms->setObjectName(QStringLiteral("alarms_action"));
    alarms->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    addAction(alarms);
    connect(alarms, &QAction::triggered, this, &frm_thermometer::alarms_requested);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(history, &QAction::triggered, this, &frm_thermometer::history_requested);
    connect(settings, &QAction::triggered, this, &frm_thermometer::settings_requested);
    for (controls::display_box* reading : {ui_.Text2, ui_.Text1})
        connect(reading, &controls::display_box::double_clicked, this,
                &frm_thermometer::history_requested);

    alarms::install(sensors_, seams_.ask);
    datalog::install(logging_, seams_.work_dir, seams_.clock);
}

frm_thermometer::~frm_thermometer() = default;

QObject* frm_thermometer::control(QStringView name) const {
    for (QObject* c : controls_)
        if (c->objectName() == name)
            return c;
    return nullptr;
}

void frm_thermometer::release_timers() {
    for (controls::timer* t : {ui_.Timer3, ui_.Timer2, ui_.Timer1})
        t->release();
}

void frm_thermometer::closeEvent(QCloseEvent* event) {
    event->accept();
    Q_EMIT close_requested();
}

} // namespace app
