#include "history/report.h"

#include "chart/report_figures.h"
#include "chart/report_lines.h"
#include "history/exports.h"
#include "history/log_settings.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPdfWriter>
#include <QThread>
#include <algorithm>
#include <future>

#ifdef KESTROVA_HAVE_LIBCRYPTO
#include <openssl/evp.h>
#endif

namespace history {

namespace {

// The hash of a year's log takes seconds with Qt's own SHA-256; the
// system's libcrypto uses the processor's SHA instructions.
QByteArray sha256_hex(QByteArrayView bytes) {
#ifdef KESTROVA_HAVE_LIBCRYPTO
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), static_cast<std::size_t>(bytes.size()), digest, &length,
                   EVP_sha256(), nullptr) == 1)
        return QByteArray(reinterpret_cast<const char*>(digest), length).toHex();
#endif
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

std::int64_t local_midnight(QDate date) {
    return chart::days_from_civil(date.year(), date.month(), date.day()) * 86400;
}

// The log as it stands, mapped; empty for an empty file.
struct mapped_log {
    QFile file;
    QByteArrayView bytes;
};

QString map_log(mapped_log& log) {
    if (!log.file.exists())
        return QStringLiteral("There is no data log at %1.")
            .arg(QDir::toNativeSeparators(log.file.fileName()));
    if (!log.file.open(QIODevice::ReadOnly))
        return QStringLiteral("The data log at %1 cannot be read: %2")
            .arg(QDir::toNativeSeparators(log.file.fileName()), log.file.errorString());
    const qint64 size = log.file.size();
    if (size == 0)
        return {};
    const uchar* map = log.file.map(0, size);
    if (!map)
        return QStringLiteral("The data log at %1 cannot be read: %2")
            .arg(QDir::toNativeSeparators(log.file.fileName()), log.file.errorString());
    log.bytes = QByteArrayView(reinterpret_cast<const char*>(map), size);
    return {};
}

} // namespace

std::unique_ptr<report> make_report(const report_request& request, QString& problem) {
    mapped_log log;
    log.file.setFileName(QFileInfo(request.log_path).absoluteFilePath());
    problem = map_log(log);
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
    const QByteArrayView bytes = log.bytes;
    const chart::line_span lines = chart::lines_between(bytes, local_from, local_to);
    const QByteArrayView span = bytes.sliced(lines.begin, lines.end - lines.begin);
    std::future<QByteArray> hash =
        std::async(std::launch::async, [span] { return sha256_hex(span); });

    // Straight into the store the chart reads: a year is 50 MB of points.
    const QByteArrayView before = bytes.sliced(lines.read_begin, lines.begin - lines.read_begin);
    const QByteArrayView after = bytes.sliced(lines.end, lines.read_end - lines.end);
    const int threads = std::clamp(QThread::idealThreadCount(), 1, 4);
    auto store = std::make_shared<chart::point_store>(chart::most_points(before.size()) +
                                                      chart::most_points(span.size(), threads) +
                                                      chart::most_points(after.size()));
    chart::log_point* const out = store->data();
    std::size_t count = chart::parse_log_bytes(before, clock, out).points;
    const chart::parse_result inside = chart::parse_log_parallel(span, clock, threads, out + count);
    count += inside.points;
    count += chart::parse_log_bytes(after, clock, out + count).points;
    const std::span<chart::log_point> points(out, count);
    chart::order_repeated_hours(points, clock);
    chart::order_by_time(points);

    const QString dir = QFileInfo(log.file.fileName()).absolutePath();
    const log_settings settings = read_log_settings(dir);
    const std::array<chart::sensor_alarm, 2> alarms = read_alarm_settings(dir);
    r->gaps = settings.gaps;
    r->limits = chart::judged_limits(alarms);
    const chart::report_figures figures =
        chart::figures_of(points, r->period, r->gaps, chart::bounds_of(r->limits));
    r->points.adopt(std::move(store), count);

    chart::report_facts facts;
    facts.host = request.host;
    facts.folder = QDir::toNativeSeparators(dir);
    facts.log_path = QDir::toNativeSeparators(log.file.fileName());
    facts.period = r->period;
    facts.whole_days = request.dates.has_value();
    facts.made_at = request.made_at;
    facts.lines = lines;
    facts.sha256 = hash.get();
    facts.unreadable = inside.unreadable;
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
