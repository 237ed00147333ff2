#include "app/lifecycle.h"

#include "alarm/install.h"
#include "controls/timer.h"
#include "datalog/sample_interval.h"
#include "portselect/frmselect.h"
#include "serial/comm_control.h"
#include "serial/port_probe.h"
#include "settings/port_settings.h"
#include "settings/window_state.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Text7 holds the chosen port number, or "select" while none is chosen;
// anything else counts as no choice.
int port_number(const QString& text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= 1 && n <= 4 ? n : 0;
}

} // namespace

kestrova_app::kestrova_app(window_seams seams)
    : window_(std::make_unique<frm_thermometer>(std::move(seams))) {
    const thermometer_controls& ui = window_->ui();
    connect(ui.Command5, &QPushButton::clicked, this, &kestrova_app::on_click_command5);
    connect(ui.Command7, &QPushButton::clicked, this, &kestrova_app::on_click_command7);
    connect(window_.get(), &frm_thermometer::close_requested, this, &kestrova_app::unload);
    connect(ui.MSComm1, &comm_control::open_changed, this, &kestrova_app::show_port_state);
    connect(ui.MSComm1, &comm_control::port_lost, this, &kestrova_app::show_port_state);
    reopen_timer_.setInterval(1000);
    connect(&reopen_timer_, &QTimer::timeout, this, &kestrova_app::retry_port);
}

kestrova_app::~kestrova_app() = default;

frmselect& kestrova_app::load_selector() {
    if (!selector_) {
        selector_ = std::make_unique<frmselect>(window_.get());
        selector_->show_devices(window_->ui().MSComm1->ports());
        connect(selector_->command1, &QPushButton::clicked, this, &kestrova_app::on_click_command1);
        connect(selector_.get(), &frmselect::closed_by_operator, this,
                &kestrova_app::on_selector_closed);
    }
    return *selector_;
}

bool kestrova_app::load() {
    const thermometer_controls& ui = window_->ui();
    restore_window_state(*window_, ini_);
    // A missing file is a first start; one that is there but cannot be read
    // is worth a word, once.
    if (ini_.state() == inifile::file_state::unreadable)
        window_->seams().ask->message(QStringLiteral("INI file is invalid or does not exist."));
    datalog::apply_sample_interval(ui);
    ui.MSComm1->set_port_map(read_port_map(ini_));

    const probe_result probe =
        probe_ports(*ui.MSComm1, [this](int index) { load_selector().Combo1->removeItem(index); });
    if (!probe.any_open) {
        window_->seams().ask->message(QStringLiteral("There is No Comm Port on this Computer"),
                                      no_port_details(probe, ui.MSComm1->ports()));
        ended_ = true;
        return false;
    }

    const int saved = port_number(ui.Text7->text());
    if (saved == 0) {
        load_selector().show();
        window_->hide();
    } else {
        choose_port(saved);
        ui.Label8->setText(ui.Text7->text());
        window_->show();
    }

    ui.Timer1->set_enabled(true);
    alarms::apply_alarm_switches(ui);
    window_->release_timers();
    return true;
}

void kestrova_app::choose_port(int port) {
    comm_control* comm = window_->ui().MSComm1;
    wanted_port_ = port;
    // The port in use already is kept as it is; another one takes over at once.
    if (comm->port_open() && comm->comm_port() == port)
        return;
    comm->set_port_open(false);
    comm->set_comm_port(port);
    comm->set_port_open(true);
    show_port_state();
}

void kestrova_app::retry_port() {
    comm_control* comm = window_->ui().MSComm1;
    if (wanted_port_ == 0 || comm->port_open())
        return;
    comm->set_comm_port(wanted_port_);
    comm->set_port_open(true);
    show_port_state();
}

void kestrova_app::show_port_state() {
    comm_control* comm = window_->ui().MSComm1;
    QLabel* label = window_->ui().Label8;
    if (wanted_port_ == 0)
        return;
    const bool open = comm->port_open();
    const QString device = QDir::toNativeSeparators(comm->ports().device(wanted_port_));
    QPalette p = label->palette();
    if (open) {
        label->setToolTip(QStringLiteral("Port %1 (%2) is open").arg(wanted_port_).arg(device));
        p.setColor(QPalette::WindowText, QColor(0x00, 0x60, 0x00));
        reopen_timer_.stop();
    } else {
        label->setToolTip(QStringLiteral("Port %1 (%2) is not open: %3. Trying again every second.")
                              .arg(wanted_port_)
                              .arg(device, comm->last_error().isEmpty() ? QStringLiteral("closed")
                                                                        : comm->last_error()));
        p.setColor(QPalette::WindowText, QColor(0xC0, 0x00, 0x00));
        if (!reopen_timer_.isActive())
            reopen_timer_.start();
    }
    label->setPalette(p);
}

void kestrova_app::on_click_command5() {
    load_selector().show();
    window_->hide();
}

void kestrova_app::on_click_command1() {
    const thermometer_controls& ui = window_->ui();
    frmselect& sel = load_selector();
    if (sel.Combo1->currentText() == QString()) {
        window_->seams().ask->message(QStringLiteral(" Please select a Port"));
        return;
    }
    ui.Text7->setText(sel.Combo1->currentText());
    const int port = port_number(ui.Text7->text());
    if (port != 0)
        choose_port(port);
    ui.Label8->setText(ui.Text7->text());
    sel.hide();
    save_window_state(*window_, ini_);
    window_->show();
}

void kestrova_app::on_selector_closed() {
    if (ended_)
        return;
    // Closing the selection at a first start means there is nothing to run;
    // after a choice it only cancels the change of port.
    if (port_number(window_->ui().Text7->text()) == 0)
        unload();
    else
        window_->show();
}

void kestrova_app::on_click_command7() {
    // A signal may have ended the program while the question was up.
    if (!window_->seams().ask->confirm(QStringLiteral("Do you want to Exit")) || ended_)
        return;
    save_window_state(*window_, ini_);
    end();
}

void kestrova_app::unload() {
    if (ended_)
        return;
    save_window_state(*window_, ini_);
    end();
}

void kestrova_app::save_before_lost_display() {
    if (ended_)
        return;
    ended_ = true;
    save_window_state(*window_, ini_);
}

void kestrova_app::end() {
    ended_ = true;
    reopen_timer_.stop();
    comm_control* comm = window_->ui().MSComm1;
    if (comm->port_open())
        comm->set_port_open(false);
    if (selector_)
        selector_->hide();
    window_->hide();
    Q_EMIT finished();
}
