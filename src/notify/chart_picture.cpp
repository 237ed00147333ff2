#include "notify/chart_picture.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace notify {

QByteArray chart_picture(const QString& program, const QString& log_path, const QDateTime& now,
                         int hours, const std::atomic<bool>& stop) {
    const QTemporaryDir dir;
    // A log not written in those hours has nothing to show.
    const QFileInfo log(log_path);
    if (program.isEmpty() || !dir.isValid() || !log.isFile() ||
        log.lastModified() < now.addSecs(-hours * qint64(3600)))
        return {};
    const QString png = dir.filePath(QStringLiteral("chart.png"));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program,
            {QStringLiteral("--from"),
             now.addSecs(-hours * qint64(3600)).date().toString(Qt::ISODate),
             QStringLiteral("--to"), now.date().toString(Qt::ISODate), QStringLiteral("--hours"),
             QString::number(hours), QStringLiteral("--chart-image"), png, log_path});
    if (!p.waitForStarted(5000))
        return {};
    for (int waited = 0; p.state() != QProcess::NotRunning && !p.waitForFinished(100);
         waited += 100)
        if (stop.load() || waited >= 30000) {
            p.kill();
            p.waitForFinished(1000);
            return {};
        }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    QFile in(png);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

} // namespace notify
