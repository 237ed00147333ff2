#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

// The desktop's side: records every notification it is asked to show (and
// every one it is asked to close), numbering them from `first_id`; answers
// after `delay` ms, or with an error while `failing`.
class notification_server : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct shown {
        uint replaces;
        QString icon;
        QString summary;
        int urgency;
        QStringList actions;
    };
    QList<shown> calls;
    QList<uint> closed;
    uint first_id = 101;
    int delay = 0;
    bool failing = false;

public Q_SLOTS:
    uint Notify(const QString&, uint replaces, const QString& icon, const QString& summary,
                const QString&, const QStringList& actions, const QVariantMap& hints, int) {
        calls.push_back(
            {replaces, icon, summary, hints.value(QStringLiteral("urgency")).toInt(), actions});
        const uint id = first_id + static_cast<uint>(calls.size()) - 1;
        if (failing)
            sendErrorReply(QDBusError::Failed, QStringLiteral("the desktop is busy"));
        else if (delay > 0) {
            setDelayedReply(true);
            QTimer::singleShot(
                delay, this,
                [bus = connection(), reply = message().createReply(id)] { bus.send(reply); });
        }
        return id;
    }
    void CloseNotification(uint id) { closed.push_back(id); }

public:
    // The operator clicks an action of notification `id`.
    void invoke(uint id, const QString& action) { Q_EMIT ActionInvoked(id, action); }

Q_SIGNALS:
    void ActionInvoked(uint id, const QString& action_key);
};

// Serves `server` as the desktop's notification service on `bus`.
inline bool serve_notifications(QDBusConnection bus, notification_server& server) {
    return bus.registerService(QStringLiteral("org.freedesktop.Notifications")) &&
           bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
}
