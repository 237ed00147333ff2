#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTest>

// A private session bus (a real dbus-daemon) for one test.
struct private_bus {
    QProcess daemon;
    QString address;
    private_bus() {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--print-address=1")});
        if (daemon.waitForStarted(5000) &&
            QTest::qWaitFor([&] { return daemon.canReadLine(); }, 5000))
            address = QString::fromLatin1(daemon.readLine().trimmed());
    }
    ~private_bus() {
        daemon.kill();
        daemon.waitForFinished(5000);
    }
    private_bus(const private_bus&) = delete;
    private_bus& operator=(const private_bus&) = delete;
    QDBusConnection connect(const QString& name) const {
        return QDBusConnection::connectToBus(address, name);
    }
};
