#include "history/report.h"

#include "chart/report_figures.h"
#include "chart/report_lines.h"
#include "history/exports.h"
#include "history/log_file.h"
#include "history/log_settings.h"
#include "history/report_read.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPdfWriter>

namespace history {

namespace {

std::int64_t local_midnight(QDate date) {
    return chart::days_from_civil(date.year(), date.month(), date.day()) * 86400;
}

// Why the log at `path` cannot be read, or empty.
QString problem_of(const QString& path, const log_file& log) {
    if (!QFileInfo::exists(path))
        return QStringLiteral("There is no data log at %1.").arg(QDir::toNativeSeparators(path));
    if (!log.is_open())
        return QStringLiteral("The data log at %1 cannot be read: %2")
            .arg(QDir::toNativeSeparators(path), log.error());
    return {};
}

} // namespace

std::unique_ptr<report> make_report(const report_request& request, QString& problem) {
    const QString path = QFileInfo(request.log_path).absoluteFilePath();
    const log_file log(path);
    problem = problem_of(path, log);
    if (!problem.isEmpty())
        return {};
    auto r = std::make_unique<report>();
    r->clock = request.clock;
    chart::local_clock& clock = r->clock;
    r->period = request.dates ? chart::period_of_dates(*request.dates, clock)
                              : chart::period_between(request.start, request.end, clock);
    // The log's lines hold local time, so they are looked for by it.
    const std::int64_t local_from = request.dates
                                        ? local_midnight(request.dates->from)
                                        : r->period.start + clock.offset_at_utc(r->period.start);
    const std::int64_t local_to = request.dates
                                      ? local_midnight(request.dates->to.addDays(1))
                                      : r->period.end + clock.offset_at_utc(r->period.end);
    std::optional<period_lines> read =
        read_period_lines(log, log.size(), local_from, local_to, clock);
    if (!read) {
        problem = QStringLiteral("The data log at %1 changed while the report was made; try again.")
                      .arg(QDir::toNativeSeparators(path));
        return {};
    }
    const std::span<chart::log_point> points(read->store->data(), read->count);
    chart::order_repeated_hours(points, clock);
    chart::order_by_time(points);

    const QString dir = QFileInfo(path).absolutePath();
    const log_settings settings = read_log_settings(dir);
    const std::array<chart::sensor_alarm, 2> alarms = read_alarm_settings(dir);
    r->gaps = settings.gaps;
    r->limits = chart::judged_limits(alarms);
    const chart::report_figures figures =
        chart::figures_of(points, r->period, r->gaps, chart::bounds_of(r->limits));
    r->points.adopt(std::move(read->store), read->count);

    chart::report_facts facts;
    facts.host = request.host;
    facts.folder = QDir::toNativeSeparators(dir);
    facts.log_path = QDir::toNativeSeparators(path);
    facts.period = r->period;
    facts.whole_days = request.dates.has_value();
    facts.made_at = request.made_at;
    facts.lines = read->lines;
    facts.sha256 = read->sha256;
    facts.unreadable = read->unreadable;
    facts.sampling_seconds = settings.gaps.period_seconds;
    facts.alarms = alarms;
    r->content = chart::report_text(facts, figures, clock);
    return r;
}

QPageLayout report_page_layout() {
    return QPageLayout(QPageSize(chart::paper_for(QLocale()) == chart::paper::letter
                                     ? QPageSize::Letter
                                     : QPageSize::A4),
                       QPageLayout::Portrait, QMarginsF(20, 15, 15, 12), QPageLayout::Millimeter);
}

rules::result write_report_pdf(report& r, const QString& path) {
    QBuffer pdf_bytes;
    pdf_bytes.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&pdf_bytes);
        pdf.setCreator(QStringLiteral("KESTROVA"));
        pdf.setTitle(r.content.footer);
        pdf.setPageLayout(report_page_layout());
        if (!paint_report(r, pdf))
            return rules::result::failure(QStringLiteral("The report could not be drawn."));
    }
    return replace_file(path, pdf_bytes.data());
}

QString report_file_name(const report& r) {
    const QDate first = r.period.days.empty() ? QDate::currentDate() : r.period.days.front().date;
    return QStringLiteral("kestrova-report-%1.pdf").arg(first.toString(Qt::ISODate));
}

} // namespace history
