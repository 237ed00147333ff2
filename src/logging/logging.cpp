#include "logging/logging.h"

#include <QtGlobal>
#include <cstdio>
#include <cstring>

namespace logging {

Q_LOGGING_CATEGORY(log_app, "kestrova.app", QtInfoMsg)
Q_LOGGING_CATEGORY(log_serial, "kestrova.serial", QtInfoMsg)
Q_LOGGING_CATEGORY(log_datalog, "kestrova.log", QtInfoMsg)
Q_LOGGING_CATEGORY(log_settings, "kestrova.settings", QtInfoMsg)
Q_LOGGING_CATEGORY(log_mqtt, "kestrova.mqtt", QtInfoMsg)
Q_LOGGING_CATEGORY(log_notify, "kestrova.notify", QtInfoMsg)
Q_LOGGING_CATEGORY(log_history, "kestrova.history", QtInfoMsg)
Q_LOGGING_CATEGORY(log_alerts, "kestrova.alerts", QtInfoMsg)

namespace {

const char* program_name = "kestrova";
bool to_journal = false;

// sd-daemon(3)'s priorities: what `journalctl -p` filters on.
const char* priority(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "<7>";
    case QtInfoMsg:
        return "<6>";
    case QtWarningMsg:
        return "<4>";
    case QtCriticalMsg:
        return "<3>";
    case QtFatalMsg:
        return "<2>";
    }
    return "<4>";
}

void write_message(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const bool ours = context.category && std::strncmp(context.category, "kestrova.", 9) == 0;
    const QByteArray lines =
        ours ? message_lines(program_name, type, text, to_journal)
             : message_lines(nullptr, type, qFormatLogMessage(type, context, text), to_journal);
    // One write per message: lines of two threads never interleave.
    std::fwrite(lines.constData(), 1, static_cast<std::size_t>(lines.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void install_message_handler(const char* program) {
    program_name = program;
    to_journal = qEnvironmentVariableIsSet("JOURNAL_STREAM");
    qInstallMessageHandler(write_message);
}

QByteArray message_lines(const char* program, QtMsgType type, const QString& text, bool journal) {
    QStringView all(text);
    if (all.endsWith(u'\n'))
        all.chop(1);
    QByteArray out;
    for (const QStringView line : all.split(u'\n')) {
        if (journal)
            out += priority(type);
        if (program)
            out += QByteArray(program) + ": ";
        out += line.toLocal8Bit() + '\n';
    }
    return out;
}

} // namespace logging
