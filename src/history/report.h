#pragma once

#include "rules/result.h"

#include "chart/history_series.h"
#include "chart/history_stats.h"
#include "chart/report_period.h"
#include "chart/report_text.h"

#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <vector>

class QPageLayout;
class QPagedPaintDevice;

// The report of a period of the data log: made from the log and the
// settings beside it, then drawn on the pages of a PDF or a printer.
namespace history {

struct report_request {
    QString log_path;
    // Whole local days; without them [start, end) in UTC seconds.
    std::optional<chart::date_range> dates;
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t made_at = 0; // UTC seconds
    QString host;
    chart::local_clock clock; // the system's local time unless a test says otherwise
};

struct report {
    chart::report_content content;
    chart::report_period period;
    // The readings in the period, and those just before and after it
    // that reach into it, in the order of time.
    chart::point_series points;
    chart::gap_rule gaps;
    // The thresholds of sensors whose alarm is on, as they were in force
    // through the period: [from, to) in UTC seconds.
    struct limits_in_force {
        std::int64_t from = 0;
        std::int64_t to = 0;
        std::array<chart::sensor_limits, 2> limits;
    };
    std::vector<limits_in_force> limits;
    chart::local_clock clock;
};

// Reads the log and Tarnwick.INI beside it; null with the reason in
// `problem` when the log cannot be read.
std::unique_ptr<report> make_report(const report_request& request, QString& problem);

// Paints the report on the device's pages: tables broken across pages
// under their header, "page N of M" at the foot of each. False when the
// device cannot be painted on.
bool paint_report(report& r, QPagedPaintDevice& device);

// The locale's paper (A4 or US Letter) upright, with margins for binding.
QPageLayout report_page_layout();

// The report as a PDF on the locale's paper, written to `path` as
// write_to_target does ("-" is standard output); fails with why it could
// not be written.
rules::result write_report_pdf(report& r, const QString& path);

// The report's file name for its period: "kestrova-report-2026-11-01.pdf".
QString report_file_name(const report& r);

} // namespace history
