#include "notify/notification_service.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace notify {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");

} // namespace

notification_service::notification_service(std::optional<QDBusConnection> bus, QObject* parent)
    : QObject(parent)
    , bus_(std::move(bus)) {}

void notification_service::check() {
    if (!bus_ || !bus_->isConnected()) {
        Q_EMIT answered(QStringLiteral("No desktop session bus here: notifications cannot be "
                                       "shown."),
                        false);
        return;
    }
    ask(QStringLiteral("NameHasOwner"), service, [this](const QVariant& running) {
        if (running.toBool()) {
            Q_EMIT answered(QStringLiteral("A notification service is running now."), true);
            return;
        }
        ask(QStringLiteral("ListActivatableNames"), {}, [this](const QVariant& names) {
            if (names.toStringList().contains(service))
                Q_EMIT answered(QStringLiteral("A notification service starts when needed."), true);
            else
                Q_EMIT answered(QStringLiteral("No notification service is running now: nothing "
                                               "is shown until one is."),
                                false);
        });
    });
}

void notification_service::ask(const QString& method, const QVariant& argument,
                               const std::function<void(const QVariant&)>& then) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), method);
    if (argument.isValid())
        call << argument;
    auto* watcher = new QDBusPendingCallWatcher(bus_->asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [then](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        then(reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                 ? reply.arguments().constFirst()
                 : QVariant());
    });
}

} // namespace notify
