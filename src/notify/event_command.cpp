#include "notify/event_command.h"

#include "alerts/alarm_texts.h"
#include "rules/journal_rules.h"

#include <QProcess>

namespace notify {

using what = rules::alarms::episode_event::what;

event_command::event_command(const alerts::alarm_state& alarms, QString program, QString station,
                             std::chrono::milliseconds limit, QObject* parent)
    : QObject(parent)
    , station_(std::move(station))
    , limit_(limit)
    , program_(std::move(program)) {
    connect(&alarms, &alerts::alarm_state::happened, this, &event_command::on_alarm);
    worker_ = std::thread([this] { work(); });
}

event_command::~event_command() {
    finish(std::chrono::milliseconds(0));
}

void event_command::set_program(const QString& program) {
    const std::lock_guard lock(mutex_);
    program_ = program;
}

void event_command::finish(std::chrono::milliseconds wait) {
    if (!worker_.joinable())
        return;
    {
        std::unique_lock lock(mutex_);
        finishing_ = true;
        wake_.notify_all();
        idle_changed_.wait_for(lock, wait, [this] { return idle_; });
    }
    stop_ = true;
    wake_.notify_all();
    worker_.join();
}

QProcessEnvironment event_command::environment(const alerts::alarm_event& e,
                                               const QString& station) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const auto put = [&env](const char* name, const QString& value) {
        env.insert(QString::fromLatin1(name), value);
    };
    put("KESTROVA_EVENT", alerts::phase_name(e.step.event));
    put("KESTROVA_SENSOR", QString::number(e.sensor));
    put("KESTROVA_NAME", e.name);
    put("KESTROVA_KIND", alerts::kind_name(e.step.kind));
    put("KESTROVA_READING", e.step.reading ? QString::number(*e.step.reading) : QString());
    put("KESTROVA_THRESHOLD", e.step.threshold ? QString::number(*e.step.threshold) : QString());
    put("KESTROVA_STATION", station);
    put("KESTROVA_TIME",
        rules::journal::time_text(e.at.isValid() ? e.at : QDateTime::currentDateTime()));
    put("KESTROVA_COMMENT", e.comment);
    put("KESTROVA_BY", e.step.event == what::acknowledged ? e.by : QString());
    return env;
}

void event_command::on_alarm(const alerts::alarm_event& e) {
    const what w = e.step.event;
    if (w != what::raised && w != what::reminded && w != what::acknowledged && w != what::ended)
        return;
    {
        const std::lock_guard lock(mutex_);
        if (program_.isEmpty() || finishing_)
            return;
        runs_.push_back({program_, environment(e, station_), e.sensor, alerts::phase_name(w)});
        idle_ = false;
    }
    wake_.notify_all();
}

void event_command::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        idle_ = runs_.empty();
        idle_changed_.notify_all();
        if (finishing_ && idle_)
            return;
        wake_.wait(lock, [this] { return stop_ || !runs_.empty() || finishing_; });
        if (stop_)
            return;
        if (runs_.empty())
            continue;
        const run r = runs_.front();
        runs_.pop_front();
        lock.unlock();
        execute(r);
        lock.lock();
    }
}

void event_command::execute(const run& r) {
    QProcess p;
    p.setProcessEnvironment(r.env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(r.program, {});
    bool ok = false;
    int status = -1;
    QString reason;
    if (!p.waitForStarted(5000)) {
        reason = QStringLiteral("%1 could not be started: %2").arg(r.program, p.errorString());
    } else {
        const auto started = std::chrono::steady_clock::now();
        while (p.state() != QProcess::NotRunning && !p.waitForFinished(100))
            if (stop_ || std::chrono::steady_clock::now() - started >= limit_)
                break;
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(2000);
            reason = stop_ ? QStringLiteral("killed: the monitor stopped")
                           : QStringLiteral("killed after %1 s")
                                 .arg(static_cast<double>(limit_.count()) / 1000.0);
        } else if (p.exitStatus() != QProcess::NormalExit) {
            reason = QStringLiteral("it crashed");
        } else {
            status = p.exitCode();
            ok = status == 0;
            if (!ok)
                reason = QStringLiteral("exit status %1").arg(status);
        }
    }
    const QStringList err =
        QString::fromLocal8Bit(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    const QString last = err.isEmpty() ? QString() : err.last().trimmed().left(500);
    QMetaObject::invokeMethod(
        this,
        [this, r, ok, reason, status, last] {
            Q_EMIT ran(r.sensor, r.phase, ok, reason, status, last);
        },
        Qt::QueuedConnection);
}

} // namespace notify
