#pragma once

#include "chart/report_text.h"

#include <QLocale>
#include <QString>

// The pieces a report's text is made of, shared by its sections.
namespace chart {

inline const QString report_degrees = QStringLiteral("\u00B0C");
inline const QString report_dash = QStringLiteral("\u2013");

inline report_block title_block(const QString& text) {
    return {report_block::kind::title, text, {}, {}};
}
inline report_block heading_block(const QString& text) {
    return {report_block::kind::heading, text, {}, {}};
}
inline report_block note_block(const QString& text) {
    return {report_block::kind::note, text, {}, {}};
}
inline report_block fields_block(std::vector<std::pair<QString, QString>> rows) {
    return {report_block::kind::fields, {}, std::move(rows), {}};
}
inline report_block table_block(report_table t) {
    return {report_block::kind::table, {}, {}, std::move(t)};
}

inline QString decimal_text(double v) {
    return QLocale().toString(v, 'f', 1);
}

inline QString count_text(std::size_t n, const char* one, const char* many) {
    return n == 1 ? QStringLiteral("1 %1").arg(QLatin1StringView(one))
                  : QStringLiteral("%1 %2").arg(n).arg(QLatin1StringView(many));
}

// "5 s", "1 min", "90 s".
QString period_seconds_text(std::int64_t seconds);

// The sections of the report that come from the journal: the settings in
// force and their changes, the excursions with their alarm events, the
// seals of the days, and the review block.
void add_settings_section(report_content& c, const report_facts& f, const report_figures& figures,
                          local_clock& clock);
void add_excursion_section(report_content& c, const report_facts& f, const report_figures& figures,
                           local_clock& clock);
void add_seal_section(report_content& c, const report_facts& f);
void add_review_block(report_content& c);

// "Within limits", or the excursions: how many, the longest, whether the
// alarms were acknowledged; and whether the log is as it was sealed.
QString verdict_text(const report_facts& f, const report_figures& figures);

// The date from which the journal holds the settings, for "as set today:
// not recorded before …"; empty where it holds those of the whole period.
QString unrecorded_note(const report_facts& f, local_clock& clock);

} // namespace chart
