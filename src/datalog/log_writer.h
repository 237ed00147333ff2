#pragma once

#include "datalog/data_log.h"
#include "datalog/logging_role.h"

#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>

namespace datalog {

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
    void report(const rules::result& appended);

    logging_role log_role_;
    data_log log_;
    std::function<QDateTime()> clock_;
    QColor normal_text_;
    bool failing_ = false;
};

} // namespace datalog
