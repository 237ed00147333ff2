#pragma once

#include "chart/history_log.h"
#include "rules/log_rules.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdio>
#include <ostream>

// Texts in failure messages as text.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

// Data log lines as the monitor writes them, for the history tests.

// `count` lines from `start`, one per `step` seconds; sensor 1 counts up
// from `first` (by 50 and round again), sensor 2 reads 30 ºC.
inline QByteArray log_lines(const QDateTime& start, int count, int step = 5, int first = 20) {
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += rules::datalog::log_line(start.addSecs(qint64(i) * step),
                                        QString::number(first + i % 50) + QStringLiteral("\u00BAC"),
                                        QStringLiteral("30\u00BAC"));
    return out;
}

// Lines 5 s apart from `first` (UTC), quicker to make in bulk than
// log_lines: sensor 1 goes round 20..69, sensor 2 reads 30 ºC.
inline QByteArray lines_from(qint64 first, int count) {
    QByteArray out;
    out.reserve(qsizetype(count) * 31);
    char line[64];
    for (int i = 0; i < count; ++i) {
        const qint64 t = first + qint64(i) * 5;
        const chart::civil d = chart::civil_from_days(t / 86400);
        const int s = static_cast<int>(t % 86400);
        const int n =
            std::snprintf(line, sizeof line,
                          "%02d-%02d-%04d\t%02d:%02d:%02d\t%d\xBA"
                          "C\t30\xBA"
                          "C\r\n",
                          d.month, d.day, d.year, s / 3600, s / 60 % 60, s % 60, 20 + i % 50);
        out.append(line, n);
    }
    return out;
}

inline QByteArray settings_text(const char* extra = "") {
    return QByteArray("[VEZ]\r\n"
                      "frm_thermometer.Text3.text=40\r\n"
                      "frm_thermometer.Text4.text=15\r\n"
                      "frm_thermometer.Text6.text=35\r\n"
                      "frm_thermometer.Text5.text=10\r\n"
                      "frm_thermometer.Check2.value=1\r\n"
                      "frm_thermometer.Check3.value=0\r\n") +
           extra;
}
