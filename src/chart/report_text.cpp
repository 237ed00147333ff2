#include "chart/report_text.h"

#include <QFileInfo>
#include <algorithm>

namespace chart {

namespace {

const QString degrees = QStringLiteral("\u00BAC");
const QString dash = QStringLiteral("\u2013");

report_block title(const QString& text) {
    return {report_block::kind::title, text, {}, {}};
}
report_block heading(const QString& text) {
    return {report_block::kind::heading, text, {}, {}};
}
report_block note(const QString& text) {
    return {report_block::kind::note, text, {}, {}};
}
report_block fields(std::vector<std::pair<QString, QString>> rows) {
    return {report_block::kind::fields, {}, std::move(rows), {}};
}
report_block table(report_table t) {
    return {report_block::kind::table, {}, {}, std::move(t)};
}

QString decimal(double v) {
    return QLocale().toString(v, 'f', 1);
}

QString threshold_text(double v) {
    return QLocale().toString(v) + u' ' + degrees;
}

QString hours_text(std::int64_t seconds) {
    return seconds % 3600 == 0 ? QString::number(seconds / 3600) : decimal(double(seconds) / 3600);
}

QString count_text(std::size_t n, const char* one, const char* many) {
    return n == 1 ? QStringLiteral("1 %1").arg(QLatin1StringView(one))
                  : QStringLiteral("%1 %2").arg(n).arg(QLatin1StringView(many));
}

// "2026-10-19 to 2026-10-25", or to the minute for a stretch of time.
QString period_text(const report_facts& f, local_clock& clock) {
    if (f.whole_days && !f.period.days.empty())
        return f.period.days.front().date.toString(Qt::ISODate) + QStringLiteral(" to ") +
               f.period.days.back().date.toString(Qt::ISODate);
    return minute_text(f.period.start, clock) + QStringLiteral(" to ") +
           minute_text(f.period.end, clock);
}

QString period_detail(const report_facts& f, local_clock& clock) {
    const std::size_t days = f.period.days.size();
    QString text = period_text(f, clock);
    if (f.whole_days)
        text += QStringLiteral(", whole days (%1, %2 hours)")
                    .arg(count_text(days, "day", "days"), hours_text(f.period.seconds()));
    else
        text += QStringLiteral(" (%1 hours)").arg(hours_text(f.period.seconds()));
    // The offset at the start, and the days on which the clocks change.
    const auto utc = [&clock](std::int64_t t) {
        return QStringLiteral("UTC") + second_text(t, clock).section(u' ', 2);
    };
    text += QStringLiteral("; local time, %1").arg(utc(f.period.start));
    QStringList changes;
    for (const report_day& d : f.period.days)
        if (d.end > d.start && clock.offset_at_utc(d.start) != clock.offset_at_utc(d.end - 1))
            changes << QStringLiteral("%1 on %2").arg(utc(d.end - 1), d.date.toString(Qt::ISODate));
    if (!changes.isEmpty())
        text += QStringLiteral(" at the start, ") + changes.join(QStringLiteral(", "));
    return text;
}

QString lines_text(const report_facts& f) {
    if (f.lines.empty())
        return QStringLiteral("none in the period");
    QString text = QStringLiteral("%1 to %2 (bytes %3 to %4 of the file)")
                       .arg(f.lines.first_line)
                       .arg(f.lines.last_line)
                       .arg(f.lines.begin)
                       .arg(f.lines.end - 1);
    if (f.unreadable > 0)
        text += QStringLiteral("; %1 could not be read and count as no line")
                    .arg(count_text(std::size_t(f.unreadable), "line", "lines"));
    return text;
}

QString alarm_text(const sensor_alarm& a) {
    const auto value = [](const std::optional<double>& v) {
        return v ? threshold_text(*v) : QStringLiteral("not set");
    };
    const QString thresholds = QStringLiteral("high %1, low %2").arg(value(a.high), value(a.low));
    return a.on ? QStringLiteral("alarm on; ") + thresholds
                : QStringLiteral("alarm off; ") + thresholds + QStringLiteral(" (not judged)");
}

// The minutes at or beyond a threshold, or why there are none to count.
QString beyond_text(std::int64_t seconds, bool judged) {
    return judged ? minutes_text(seconds) : dash;
}

// Min, mean, max, minutes beyond each threshold (judged or not) and coverage.
QStringList tally_row(QStringList first, const sensor_tally& t, const std::array<bool, 2>& judged) {
    if (t.any())
        first << QString::number(t.min) << decimal(t.mean()) << QString::number(t.max);
    else
        first << dash << dash << dash;
    return first << beyond_text(t.above, judged[0]) << beyond_text(t.below, judged[1])
                 << percent_text(t.covered, t.seconds);
}

const QStringList tally_header = {
    QStringLiteral("Min \u00BAC"),     QStringLiteral("Mean \u00BAC"),
    QStringLiteral("Max \u00BAC"),     QStringLiteral("\u2265 high, min"),
    QStringLiteral("\u2264 low, min"), QStringLiteral("Coverage %")};

report_table summary_table(const report_figures& figures,
                           const std::array<std::array<bool, 2>, 2>& judged) {
    report_table t{
        QStringList{QStringLiteral("Sensor")} + tally_header, {14, 10, 10, 10, 14, 14, 14}, 1, {}};
    for (int s = 0; s < 2; ++s)
        t.rows.push_back(
            tally_row({QStringLiteral("Sensor %1").arg(s + 1)}, figures.total[s], judged[s]));
    return t;
}

report_table day_table(int sensor, const report_facts& f, const report_figures& figures,
                       const std::array<bool, 2>& judged) {
    report_table t{QStringList{QStringLiteral("Date"), QStringLiteral("Hours")} + tally_header,
                   {16, 8, 10, 10, 10, 13, 13, 13},
                   1,
                   {}};
    for (std::size_t d = 0; d < f.period.days.size(); ++d)
        t.rows.push_back(tally_row(
            {f.period.days[d].date.toString(Qt::ISODate), hours_text(f.period.days[d].seconds())},
            figures.days[d][sensor], judged));
    return t;
}

report_table excursion_table(const report_figures& figures, local_clock& clock) {
    report_table t{{QStringLiteral("Sensor"), QStringLiteral("Beyond"), QStringLiteral("Start"),
                    QStringLiteral("End"), QStringLiteral("Minutes"),
                    QStringLiteral("Peak \u00BAC")},
                   {9, 9, 22, 22, 12, 12},
                   4,
                   {}};
    for (const excursion& e : figures.excursions)
        t.rows.push_back({QString::number(e.sensor + 1),
                          e.high ? QStringLiteral("high") : QStringLiteral("low"),
                          minute_text(e.start, clock), minute_text(e.end, clock),
                          minutes_text(e.end - e.start), QString::number(e.peak)});
    return t;
}

// A gap of both sensors at once (no line at all) is one row.
report_table gap_table(const report_figures& figures, local_clock& clock) {
    report_table t{{QStringLiteral("Sensor"), QStringLiteral("Start"), QStringLiteral("End"),
                    QStringLiteral("Minutes")},
                   {12, 22, 22, 12},
                   3,
                   {}};
    const auto& gaps = figures.gaps;
    for (std::size_t i = 0; i < gaps.size(); ++i) {
        const reading_gap& g = gaps[i];
        const bool both = i + 1 < gaps.size() && gaps[i + 1].start == g.start &&
                          gaps[i + 1].end == g.end && gaps[i + 1].sensor != g.sensor;
        t.rows.push_back({both ? QStringLiteral("1 and 2") : QString::number(g.sensor + 1),
                          minute_text(g.start, clock), minute_text(g.end, clock),
                          minutes_text(g.end - g.start)});
        if (both)
            ++i;
    }
    return t;
}

void add_table(report_content& c, const QString& name, report_table t, const QString& none) {
    c.blocks.push_back(
        heading(t.rows.empty() ? name : QStringLiteral("%1 (%2)").arg(name).arg(t.rows.size())));
    c.blocks.push_back(t.rows.empty() ? note(none) : table(std::move(t)));
}

} // namespace

std::array<sensor_limits, 2> judged_limits(const std::array<sensor_alarm, 2>& alarms) {
    std::array<sensor_limits, 2> out;
    for (int s = 0; s < 2; ++s)
        if (alarms[s].on)
            out[s] = {alarms[s].high, alarms[s].low};
    return out;
}

QString minutes_text(std::int64_t seconds) {
    const std::int64_t tenths = (seconds + 5) / 6;
    return decimal(double(tenths) / 10);
}

QString percent_text(std::int64_t part, std::int64_t whole) {
    if (whole <= 0)
        return dash;
    const std::int64_t tenths = part * 1000 / whole;
    return decimal(double(tenths) / 10);
}

report_content report_text(const report_facts& f, const report_figures& figures,
                           local_clock& clock) {
    report_content c;
    const QString period = period_text(f, clock);
    c.footer =
        QStringLiteral("KESTROVA temperature report \u00B7 %1 \u00B7 %2").arg(f.host, period);
    const QString today = second_text(f.made_at, clock).left(10);
    const QString file = QFileInfo(f.log_path).fileName();

    c.blocks.push_back(title(QStringLiteral("Temperature report")));
    std::vector<std::pair<QString, QString>> source = {
        {QStringLiteral("Station"), QStringLiteral("%1, folder %2").arg(f.host, f.folder)},
        {QStringLiteral("Data log"), f.log_path},
        {QStringLiteral("Period"), period_detail(f, clock)},
        {QStringLiteral("Made"), second_text(f.made_at, clock)},
        {QStringLiteral("Lines"), lines_text(f)}};
    if (!f.lines.empty()) {
        source.push_back({QStringLiteral("SHA-256"), QString::fromLatin1(f.sha256)});
        source.push_back({QStringLiteral("Check"),
                          QStringLiteral("sed -n '%1,%2p' %3 | sha256sum  gives the same hash "
                                         "while these lines are as they were written")
                              .arg(f.lines.first_line)
                              .arg(f.lines.last_line)
                              .arg(file)});
    }
    c.blocks.push_back(fields(std::move(source)));

    c.blocks.push_back(
        heading(QStringLiteral("Settings as Tarnwick.INI holds them today, %1").arg(today)));
    c.blocks.push_back(fields({{QStringLiteral("Sampling period"),
                                QStringLiteral("%1 s; more than %2 s without a line is a gap")
                                    .arg(f.sampling_seconds)
                                    .arg(3 * f.sampling_seconds)},
                               {QStringLiteral("Sensor 1"), alarm_text(f.alarms[0])},
                               {QStringLiteral("Sensor 2"), alarm_text(f.alarms[1])}}));
    c.blocks.push_back(note(QStringLiteral(
        "These are today's settings: the log does not record those in force during the period. "
        "A sensor is judged against its thresholds only while its alarm is on.")));

    std::array<std::array<bool, 2>, 2> judged{};
    for (int s = 0; s < 2; ++s)
        judged[s] = {f.alarms[s].on && f.alarms[s].high, f.alarms[s].on && f.alarms[s].low};
    c.blocks.push_back(heading(QStringLiteral("Summary")));
    c.blocks.push_back(table(summary_table(figures, judged)));
    c.blocks.push_back({report_block::kind::chart, {}, {}, {}});

    add_table(c, QStringLiteral("Excursions"), excursion_table(figures, clock),
              judged[0][0] || judged[0][1] || judged[1][0] || judged[1][1]
                  ? QStringLiteral("None.")
                  : QStringLiteral("None judged: no alarm is on."));
    add_table(c, QStringLiteral("Gaps"), gap_table(figures, clock),
              QStringLiteral("None: a reading stands for every second of the period."));
    for (int s = 0; s < 2; ++s) {
        c.blocks.push_back(heading(QStringLiteral("Sensor %1 by day").arg(s + 1)));
        c.blocks.push_back(table(day_table(s, f, figures, judged[s])));
    }

    c.blocks.push_back(heading(QStringLiteral("How the figures are made")));
    c.blocks.push_back(note(QStringLiteral(
        "A reading stands for the time until the next line of the log, or for one sampling "
        "period where no line follows within three; time for which no reading stands (no line, "
        "or \" - - \") is a gap, and coverage is the share of the time with a reading. The mean "
        "weighs each reading by its time. An excursion is a run of consecutive readings at or "
        "above the high threshold (or at or below the low one) without a gap; it ends when the "
        "last of them runs out. Durations are rounded up to the tenth of a minute, coverage down "
        "to the tenth of a percent. Days are local days: those on which the clocks change have "
        "23 or 25 hours, and the hour repeated when they go back is taken in the order the log "
        "holds it.")));
    return c;
}

paper paper_for(const QLocale& locale) {
    // The territories whose paper is US Letter (CLDR).
    static constexpr QLocale::Territory letter[] = {
        QLocale::Belize,       QLocale::Canada,     QLocale::Chile,       QLocale::Colombia,
        QLocale::CostaRica,    QLocale::ElSalvador, QLocale::Guatemala,   QLocale::Mexico,
        QLocale::Nicaragua,    QLocale::Panama,     QLocale::Philippines, QLocale::PuertoRico,
        QLocale::UnitedStates, QLocale::Venezuela};
    if (locale.measurementSystem() == QLocale::ImperialUSSystem ||
        std::find(std::begin(letter), std::end(letter), locale.territory()) != std::end(letter))
        return paper::letter;
    return paper::a4;
}

} // namespace chart
