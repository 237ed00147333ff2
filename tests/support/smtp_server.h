#pragma once

#include "support/build_paths.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

// A real mail server for a test (aiosmtpd, tests/support/smtp_server.py) on
// 127.0.0.1 and a free port, keeping what it takes in `mailbox` as a mail
// client reads it: subject decoded, headers, parts.
struct smtp_server {
    QString mailbox;
    int port = 0;
    QProcess process;

    explicit smtp_server(const QString& folder)
        : mailbox(QDir(folder).filePath(QStringLiteral("mailbox"))) {
        QDir().mkpath(mailbox);
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
    }
    ~smtp_server() { stop(); }
    smtp_server(const smtp_server&) = delete;
    smtp_server& operator=(const smtp_server&) = delete;

    // Starts it with `options` (--cert, --user, --refuse, --stall: see the
    // script); false when it does not listen within 10 s.
    bool start(const QStringList& options = {}) {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral("/usr/bin/python3"),
                      QStringList{QString::fromUtf8(build_paths::source_dir) +
                                      QStringLiteral("/tests/support/smtp_server.py"),
                                  QString::number(port), mailbox} +
                          options);
        return QTest::qWaitFor(
                   [this] {
                       process.waitForReadyRead(50);
                       return process.readAllStandardOutput().contains("ready") ||
                              process.state() == QProcess::NotRunning;
                   },
                   10000) &&
               process.state() == QProcess::Running;
    }
    void stop() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    // The messages taken so far, oldest first.
    QList<QJsonObject> messages() const {
        QList<QJsonObject> out;
        const QDir box(mailbox);
        for (const QString& name :
             box.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
            QFile f(box.filePath(name));
            if (f.open(QIODevice::ReadOnly))
                out << QJsonDocument::fromJson(f.readAll()).object();
        }
        return out;
    }
    bool wait_for(qsizetype n, int ms = 10000) const {
        return QTest::qWaitFor([&] { return messages().size() >= n; }, ms);
    }
};
