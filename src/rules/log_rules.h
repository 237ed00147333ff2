#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The data log's line and the sampling period, free of any widget.
namespace rules::datalog {

inline const QString log_file_name = QStringLiteral("TARNWICK.txt");

// One line of the data log: MM-DD-YYYY, HH:MM:SS, sensor 1 text, sensor 2
// text, separated by one TAB, ended by CR LF, in Windows-1252.
QByteArray log_line(const QDateTime& now, const QString& sensor1, const QString& sensor2);

// Timer1's period for the selected sample-time option, tested in the order
// 5 s, 10 s, 30 s, 1 min; 5 s when none is selected.
int sample_period_ms(bool option8, bool option5, bool option7, bool option6);

} // namespace rules::datalog
