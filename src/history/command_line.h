#pragma once

#include "chart/report_period.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <optional>

// The options of kestrova-history, read before any window or display is
// needed: --help and --version answer without one, and so does a report.
namespace history {

struct command_line {
    // From 0 on the program ends at once with this status, after `out` on
    // standard output and `error` (one line) on standard error.
    int exit_code = -1;
    QString out;
    QString error;

    QString log_path;
    QString report_path;                    // a PDF to write instead of showing a window
    std::optional<chart::date_range> dates; // given with --from or --to, or for a report
    bool exit_after_draw = false;
    QString snapshot;
    QString chart_image; // the chart alone, saved once drawn
    int hours = 0;       // the view: the last hours up to now; 0: the whole log
};

// `arguments` as QCoreApplication::arguments() gives them (a
// QCoreApplication must exist); Qt's own window options are let through.
command_line read_command_line(const QStringList& arguments, QDate today);

} // namespace history
