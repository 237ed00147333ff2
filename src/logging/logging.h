#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

// One way to report a problem: a logging category per area of the program
// and one message handler, which writes every message as one line on
// standard error, "kestrova: …". Where standard error is the journal
// (systemd sets JOURNAL_STREAM), each line begins with its priority (<3>
// error, <4> warning, <6> info, <7> debug), so that `journalctl -p warning`
// shows what matters. An area's debug lines are off until QT_LOGGING_RULES
// turns them on ("kestrova.serial.debug=true").
//
//   qCCritical: something failed and was not done (a save, a log line)
//   qCWarning:  the operator should act (a message box, publishing refused)
//   qCInfo:     a change worth a line (publishing connected, the log back)
//   qCDebug:    what happens, for whoever looks into an area
namespace logging {

Q_DECLARE_LOGGING_CATEGORY(log_app)      // kestrova.app: command line, boxes without a display
Q_DECLARE_LOGGING_CATEGORY(log_serial)   // kestrova.serial: the logger's port
Q_DECLARE_LOGGING_CATEGORY(log_datalog)  // kestrova.log: the data log
Q_DECLARE_LOGGING_CATEGORY(log_settings) // kestrova.settings: Tarnwick.INI
Q_DECLARE_LOGGING_CATEGORY(log_mqtt)     // kestrova.mqtt: publishing on the broker
Q_DECLARE_LOGGING_CATEGORY(log_notify)   // kestrova.notify: desktop notifications
Q_DECLARE_LOGGING_CATEGORY(log_history)  // kestrova.history: the history chart
Q_DECLARE_LOGGING_CATEGORY(log_alerts)   // kestrova.alerts: the alarm state and the journal

// Makes the handler every message's way out, its lines beginning with
// `program` ("kestrova"); JOURNAL_STREAM is looked at now. Each program
// calls it first thing.
void install_message_handler(const char* program);

// What the handler writes for one message, line ends included: each line of
// `text` as "<program>: …" (as it is when `program` is null: Qt's own
// messages keep Qt's format), with the priority in front for the journal.
QByteArray message_lines(const char* program, QtMsgType type, const QString& text, bool journal);

} // namespace logging
