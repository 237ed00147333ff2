#pragma once

#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// A private session bus (a real dbus-daemon) for one test. It starts no
// services of its own: a notification daemon installed on the machine is
// not the test's.
struct private_bus {
    QTemporaryDir dir;
    QProcess daemon;
    QString address;
    private_bus() {
        const QString config = dir.filePath(QStringLiteral("session.conf"));
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly) ||
            f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                    "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/"
                    "busconfig.dtd\">\n<busconfig><type>session</type>"
                    "<listen>unix:dir=" +
                    QFile::encodeName(dir.path()) +
                    "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                    "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                    "<allow own=\"*\"/></policy></busconfig>\n") < 0)
            return;
        f.close();
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
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
