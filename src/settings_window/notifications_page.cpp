#include "settings_window/notifications_page.h"

#include "notify/notification_service.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

namespace settings_window {

notifications_page::notifications_page(bool desktop, std::optional<QDBusConnection> bus,
                                       QWidget* parent)
    : QWidget(parent)
    , desktop_(new QCheckBox(QStringLiteral("Show alarms as &desktop notifications"), this))
    , service_state_(new QLabel(this))
    , service_(new notify::notification_service(std::move(bus), this)) {
    desktop_->setObjectName(QStringLiteral("desktop_notifications"));
    desktop_->setChecked(desktop);
    service_state_->setObjectName(QStringLiteral("notification_service"));
    service_state_->setWordWrap(true);
    service_state_->setText(QStringLiteral("Looking for a notification service\u2026"));
    auto* about = new QLabel(
        QStringLiteral("An alarm, its end, and a logger that has sent nothing for a minute are "
                       "told on the desktop."),
        this);
    about->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(desktop_);
    layout->addWidget(about);
    layout->addWidget(service_state_);
    layout->addStretch(1);
    connect(service_, &notify::notification_service::answered, service_state_, &QLabel::setText);
    service_->check();
}

notifications_page::~notifications_page() = default;

bool notifications_page::desktop() const {
    return desktop_->isChecked();
}

} // namespace settings_window
