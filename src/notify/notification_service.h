#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace notify {

// Whether desktop notifications can be shown now: a session bus, and on it
// a notification service that runs or that the bus starts when asked. The
// bus is asked without waiting for it.
class notification_service : public QObject {
    Q_OBJECT
public:
    // `bus`: the desktop session's bus, nullopt without one.
    explicit notification_service(std::optional<QDBusConnection> bus, QObject* parent = nullptr);

    void check();

Q_SIGNALS:
    // A sentence for the operator, and whether notifications would be shown.
    void answered(const QString& text, bool present);

private:
    void ask(const QString& method, const QVariant& argument,
             const std::function<void(const QVariant&)>& then);

    std::optional<QDBusConnection> bus_;
};

} // namespace notify
