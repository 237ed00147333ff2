#pragma once

#include "chart/report_figures.h"
#include "chart/report_lines.h"
#include "chart/report_period.h"
#include "chart/report_settings.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <utility>
#include <vector>

// What a report says, as blocks of text and tables for a page to lay out:
// the verdict, where the data comes from, the settings in force, the
// figures, the alarms, the seals and the review. Free of any widget.
namespace chart {

// What a report says besides its figures.
struct report_facts {
    QString host;
    QString folder;
    QString log_path;
    report_period period;
    bool whole_days = true; // the period is made of whole local days
    std::int64_t made_at = 0;
    line_span lines;
    QByteArray sha256; // in hex, of the lines' bytes
    std::int64_t unreadable = 0;
    QDate today;          // the day the report is made, the settings file's settings
    bool journal = false; // a journal lies beside the log
    journal_record settings;
    // What each day's seal says of its lines today, one per day of the period.
    std::vector<QString> seals;
};

struct report_table {
    QStringList header;
    std::vector<int> widths; // relative
    int text_columns = 1;    // the columns before the numbers, aligned left
    std::vector<QStringList> rows;
    QString caption; // said again above the header on each page it goes on to
};

struct report_block {
    enum class kind { title, heading, fields, note, table, chart };
    kind what = kind::note;
    QString text;
    std::vector<std::pair<QString, QString>> fields;
    report_table table;
};

struct report_content {
    QString footer; // beside "page N of M" at the foot of each page
    std::vector<report_block> blocks;
};

report_content report_text(const report_facts& facts, const report_figures& figures,
                           local_clock& clock);

// The thresholds that judge a sensor: none while its alarm is off.
std::array<sensor_limits, 2> judged_limits(const std::array<sensor_alarm, 2>& alarms);

// Durations rounded up to the tenth of a minute, so that no excursion
// reads 0; shares rounded down to the tenth of a percent, so that 100.0 %
// means all of it.
QString minutes_text(std::int64_t seconds);
QString percent_text(std::int64_t part, std::int64_t whole);

// The paper the locale prints on: US Letter in the Americas' letter
// countries and the Philippines, A4 elsewhere.
enum class paper { a4, letter };
paper paper_for(const QLocale& locale);

} // namespace chart
