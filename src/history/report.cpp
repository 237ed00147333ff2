#include "history/report.h"

#include "chart/report_figures.h"
#include "chart/report_lines.h"
#include "history/log_file.h"
#include "history/log_settings.h"
#include "history/report_read.h"
#include "history/report_seals.h"
#include "history/report_target.h"

#include "rules/alarm_settings.h"
#include "settings/inifile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPdfWriter>
#include <future>

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

// The settings file's settings as they are today, for the time before the
// journal: the sampling period is left to the log.
chart::settings_state settings_today(const QString& dir) {
    chart::settings_state s;
    s.alarms = read_alarm_settings(dir);
    settings::inifile ini;
    ini.set_ini_dir(dir);
    const rules::alarms::alarm_settings alarm = rules::alarms::read_alarm_settings(
        [&ini](const QString& key) { return ini.read_whole(QStringLiteral("Alarm"), key); });
    using std::chrono::duration_cast;
    using std::chrono::seconds;
    for (std::size_t i = 0; i < 2; ++i) {
        s.delay[i] = duration_cast<seconds>(alarm.delay[i]).count();
        s.name[i] = alarm.name[i];
    }
    s.hold = duration_cast<seconds>(alarm.hold).count();
    return s;
}

// The longest sampling period in force in the period: the chart joins
// readings no further apart than three of it.
std::uint32_t longest_period(const chart::journal_record& j, const chart::report_figures& f,
                             const chart::report_period& period) {
    std::uint32_t most = 0;
    for (std::size_t i = 0; i < j.stretches.size(); ++i) {
        const std::int64_t to = i + 1 < j.stretches.size() ? j.stretches[i + 1].from : period.end;
        if (to > period.start && j.stretches[i].from < period.end)
            most = std::max(most, j.stretches[i].state.period);
    }
    for (std::uint32_t own : f.own_period)
        most = std::max(most, own);
    return most > 0 ? most : 5;
}

std::vector<report::limits_in_force> limits_in_force(const chart::journal_record& j,
                                                     const chart::report_period& period) {
    std::vector<report::limits_in_force> out;
    for (std::size_t i = 0; i < j.stretches.size(); ++i) {
        const std::int64_t from = std::max(j.stretches[i].from, period.start);
        const std::int64_t to =
            std::min(i + 1 < j.stretches.size() ? j.stretches[i + 1].from : period.end, period.end);
        if (from < to)
            out.push_back({from, to, chart::judged_limits(j.stretches[i].state.alarms)});
    }
    return out;
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
    const QString dir = QFileInfo(path).absolutePath();
    QFile journal_file(QDir(dir).filePath(QStringLiteral("TARNWICK-journal.jsonl")));
    const bool journal = journal_file.open(QIODevice::ReadOnly);
    const chart::journal_record settings =
        chart::read_journal(journal ? journal_file.readAll() : QByteArray(), settings_today(dir));
    const qint64 size = log.size();
    // The days are checked against their seals meanwhile.
    std::future<std::vector<QString>> seals = std::async(
        std::launch::async, [&] { return check_seals(log, size, r->period, settings.seals); });
    std::optional<period_lines> read = read_period_lines(log, size, local_from, local_to, clock);
    std::vector<QString> sealed = seals.get();
    if (!read) {
        problem = QStringLiteral("The data log at %1 changed while the report was made; try again.")
                      .arg(QDir::toNativeSeparators(path));
        return {};
    }
    const std::span<chart::log_point> points(read->store->data(), read->count);
    chart::order_repeated_hours(points, clock);
    chart::order_by_time(points);

    const chart::report_figures figures = chart::figures_of(points, r->period, settings);
    r->gaps.period_seconds = longest_period(settings, figures, r->period);
    r->limits = limits_in_force(settings, r->period);
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
    facts.today =
        QDate::fromString(chart::second_text(request.made_at, clock).left(10), Qt::ISODate);
    facts.journal = journal;
    facts.settings = settings;
    facts.seals = std::move(sealed);
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
    return write_to_target(path, pdf_bytes.data());
}

QString report_file_name(const report& r) {
    const QDate first = r.period.days.empty() ? QDate::currentDate() : r.period.days.front().date;
    return QStringLiteral("kestrova-report-%1.pdf").arg(first.toString(Qt::ISODate));
}

} // namespace history
