#include "app/history_launcher.h"

#include "controls/prompts.h"
#include "rules/log_rules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace app {

namespace {

const QString program_name = QStringLiteral("kestrova-history");

} // namespace

history_launcher::history_launcher(controls::prompts& ask, QString work_dir, QObject* parent)
    : QObject(parent)
    , ask_(ask)
    , work_dir_(std::move(work_dir)) {}

QString history_launcher::program() {
    const QFileInfo beside(QDir(QCoreApplication::applicationDirPath()).filePath(program_name));
    if (beside.isFile() && beside.isExecutable())
        return beside.absoluteFilePath();
    return QStandardPaths::findExecutable(program_name);
}

bool history_launcher::running() const {
#ifdef Q_OS_UNIX
    // The chart was started detached, so it is nobody's child to wait for;
    // asking with signal 0 tells whether it is still there.
    if (pid_ <= 0 || ::kill(static_cast<pid_t>(pid_), 0) != 0)
        return false;
#ifdef Q_OS_LINUX
    // An ended chart may linger as a zombie until its new parent reaps it.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid_));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray s = stat.readAll();
        const qsizetype after_name = s.lastIndexOf(')') + 2;
        if (after_name > 1 && after_name < s.size() && s[after_name] == 'Z')
            return false;
    }
#endif
    return true;
#else
    return false;
#endif
}

void history_launcher::open() {
    if (running())
        return;
    const QString path = program();
    if (path.isEmpty()) {
        ask_.message(QStringLiteral("The history chart cannot be started."),
                     QStringLiteral("%1 was found neither beside %2 nor in PATH.")
                         .arg(program_name,
                              QDir::toNativeSeparators(QCoreApplication::applicationDirPath())));
        return;
    }
    QProcess p;
    p.setProgram(path);
    p.setArguments({QDir(work_dir_).filePath(rules::datalog::log_file_name)});
    p.setWorkingDirectory(work_dir_);
    qint64 pid = 0;
    if (!p.startDetached(&pid)) {
        ask_.message(QStringLiteral("The history chart cannot be started."),
                     QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), p.errorString()));
        return;
    }
    pid_ = pid;
}

} // namespace app
