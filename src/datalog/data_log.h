#pragma once

#include "controls/roles.h"
#include "rules/log_rules.h"

#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>

namespace datalog {

// Appends whole lines to the log. The file is open only within one append,
// and a line goes in with a single write; a write that the file system cuts
// short is taken back, so the file never holds half a line of ours. Only a
// regular file is written, and the open never waits (a FIFO would).
class data_log {
public:
    explicit data_log(QString dir);

    // Empty on success, else the system's reason.
    QString append(const QByteArray& line);
    QString path() const;

private:
    QString dir_;
};

// The tick of Timer1: while Check1 is ticked (1 or 2), appends a line with
// the date, the time and both readings. A failing log never stops the
// program and never shows a box: Check1's tooltip and colour say what is
// wrong, and one line goes to standard error per run of failures.
class log_writer : public QObject {
    Q_OBJECT
public:
    log_writer(const logging_role& log, QString dir, std::function<QDateTime()> clock,
               QObject* parent);
    void write_log_line();
    bool failing() const { return failing_; }

private:
    void report(const QString& error);

    logging_role log_role_;
    data_log log_;
    std::function<QDateTime()> clock_;
    QColor normal_text_;
    bool failing_ = false;
};

} // namespace datalog
