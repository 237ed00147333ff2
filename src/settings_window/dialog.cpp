#include "settings_window/dialog.h"

#include "controls/thermometer_icon.h"
#include "settings_window/alarms_page.h"
#include "settings_window/mail_page.h"
#include "settings_window/notifications_page.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace settings_window {

using settings::station_settings;

dialog::dialog(const station_settings& current, context ctx, QWidget* parent)
    : QDialog(parent)
    , ctx_(std::move(ctx))
    , pages_(new QTabWidget(this))
    , publishing_(new publishing_page(current.mqtt, ctx_.publishing, pages_))
    , notifications_(new notifications_page(current.desktop_notifications, ctx_.bus, pages_))
    , ports_(new ports_page(current.ports, ctx_.ports, pages_))
    , alarms_(new alarms_page(current.alarm, pages_))
    , mail_(new mail_page(current.mail, ctx_.station, pages_))
    , not_saved_(new QLabel(this))
    , initial_(current) {
    setObjectName(QStringLiteral("settings_window"));
    setWindowTitle(QStringLiteral("KESTROVA Settings"));
    setWindowIcon(controls::thermometer_icon());
    pages_->addTab(publishing_, QStringLiteral("Pu&blishing"));
    pages_->addTab(notifications_, QStringLiteral("&Notifications"));
    pages_->addTab(ports_, QStringLiteral("Po&rts"));
    pages_->addTab(alarms_, QStringLiteral("&Alarms"));
    pages_->addTab(mail_, QStringLiteral("E-&mail"));
    not_saved_->setObjectName(QStringLiteral("not_saved"));
    not_saved_->setWordWrap(true);
    not_saved_->setStyleSheet(QStringLiteral("color: #c00000"));
    not_saved_->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addWidget(not_saved_);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &dialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &dialog::reject);
    pages_->setCurrentWidget(publishing_);
    publishing_->host_field()->setFocus();
    resize(760, sizeHint().height());
}

dialog::~dialog() = default;

station_settings dialog::values() const {
    station_settings s = initial_;
    s.mqtt = publishing_->values();
    s.desktop_notifications = notifications_->desktop();
    s.ports = ports_->devices();
    s.alarm = alarms_->values();
    s.mail = mail_->values();
    return s;
}

void dialog::show_link_status(const QString& line) {
    publishing_->show_link_status(line);
}

void dialog::accept() {
    for (const auto& [page, wrong] :
         {std::pair<QWidget*, QWidget*>{publishing_, publishing_->first_wrong()},
          {ports_, ports_->first_wrong()},
          {alarms_, alarms_->first_wrong()},
          {mail_, mail_->first_wrong()}}) {
        if (wrong) {
            pages_->setCurrentWidget(page);
            wrong->setFocus();
            return;
        }
    }
    const rules::result applied = ctx_.apply ? ctx_.apply(values()) : rules::result();
    if (!applied) {
        not_saved_->setText(QStringLiteral("Not saved: %1").arg(applied.why()));
        not_saved_->show();
        return;
    }
    QDialog::accept();
}

} // namespace settings_window
