#include "app/frm_thermometer.h"

#include "alarm/install.h"
#include "app/inventory.h"
#include "app/thermometer_icon.h"
#include "datalog/install.h"
#include "serial/comm_control.h"
#include "serial/port_event.h"

#include <QCloseEvent>
#include <QLineEdit>

frm_thermometer::frm_thermometer(window_seams seams, QWidget* parent)
    : QWidget(parent)
    , seams_(std::move(seams)) {
    setObjectName(QStringLiteral("frm_thermometer"));
    setWindowTitle(QStringLiteral("KESTROVA"));
    setWindowIcon(thermometer_icon());
    setFont(
        window_font({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif")}, 9));
    setFixedSize(792, 554);
    controls_.reserve(49);
    build_inventory(this, ui_, controls_);

    const decoder::port_event_fields fields{ui_.MSComm1, ui_.Text8, ui_.Text2, ui_.Text1, this};
    connect(ui_.MSComm1, &comm_control::on_comm, this,
            [fields] { decoder::on_port_event(fields); });
    alarms::install(ui_, *seams_.ask);
    datalog::install(ui_, seams_);
}

frm_thermometer::~frm_thermometer() = default;

QObject* frm_thermometer::control(QStringView name) const {
    for (QObject* c : controls_)
        if (c->objectName() == name)
            return c;
    return nullptr;
}

void frm_thermometer::closeEvent(QCloseEvent* event) {
    event->accept();
    Q_EMIT close_requested();
}
