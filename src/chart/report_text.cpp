#include "chart/report_text.h"

#include "chart/report_blocks.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace chart {

namespace {

const QString& degrees = report_degrees;
const QString& dash = report_dash;

QString decimal(double v) {
    return decimal_text(v);
}

// Two decimals; a value that rounds to zero is "0.00", never "-0.00".
QString two_places(double v) {
    return QLocale().toString(std::round(v * 100) / 100 + 0.0, 'f', 2);
}

QString hours_text(std::int64_t seconds) {
    return seconds % 3600 == 0 ? QString::number(seconds / 3600) : decimal(double(seconds) / 3600);
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

// The minutes at or beyond a threshold, or why there are none to count.
QString beyond_text(std::int64_t seconds, bool judged) {
    return judged ? minutes_text(seconds) : dash;
}

QString reading_text(int v) {
    return QString::number(v) + u' ' + degrees;
}

QString at_text(int v, std::int64_t at, local_clock& clock) {
    return QStringLiteral("%1 at %2").arg(reading_text(v), minute_text(at, clock));
}

// One sensor over the whole period, as a block of fields.
std::vector<std::pair<QString, QString>> sensor_fields(const sensor_tally& t, local_clock& clock,
                                                       const std::array<bool, 2>& judged) {
    const QString none = QStringLiteral("no reading");
    return {{QStringLiteral("Readings"), QString::number(t.readings)},
            {QStringLiteral("Lowest"), t.any() ? at_text(t.min, t.min_at, clock) : none},
            {QStringLiteral("Highest"), t.any() ? at_text(t.max, t.max_at, clock) : none},
            {QStringLiteral("Mean"), t.any() ? decimal(t.mean()) + u' ' + degrees : none},
            {QStringLiteral("Mean kinetic temperature"),
             t.any() ? two_places(t.mean_kinetic()) + u' ' + degrees : none},
            {QStringLiteral("Coverage"), percent_text(t.covered, t.seconds) + QStringLiteral(" %")},
            {QStringLiteral("At or above high"),
             beyond_text(t.above, judged[0]) + QStringLiteral(" min")},
            {QStringLiteral("At or below low"),
             beyond_text(t.below, judged[1]) + QStringLiteral(" min")},
            {QStringLiteral("Resolution"),
             QStringLiteral("whole degrees, 0 to 124 %1 (the logger's)").arg(degrees)}};
}

QStringList day_row(QStringList first, const sensor_tally& t, const std::array<bool, 2>& judged) {
    first << QString::number(t.readings);
    if (t.any())
        first << QString::number(t.min) << decimal(t.mean()) << QString::number(t.max)
              << decimal(t.mean_kinetic());
    else
        first << dash << dash << dash << dash;
    return first << beyond_text(t.above, judged[0]) << beyond_text(t.below, judged[1])
                 << percent_text(t.covered, t.seconds);
}

report_table day_table(int sensor, const QString& name, const report_facts& f,
                       const report_figures& figures, const std::array<bool, 2>& judged,
                       const QString& period) {
    report_table t{{QStringLiteral("Date"), QStringLiteral("Hours"), QStringLiteral("Readings"),
                    QStringLiteral("Min ") + degrees, QStringLiteral("Mean ") + degrees,
                    QStringLiteral("Max ") + degrees, QStringLiteral("MKT ") + degrees,
                    QStringLiteral("\u2265 high, min"), QStringLiteral("\u2264 low, min"),
                    QStringLiteral("Coverage %")},
                   {14, 6, 10, 8, 9, 8, 9, 11, 11, 11},
                   1,
                   {},
                   QStringLiteral("%1 by day, %2").arg(name, period)};
    for (std::size_t d = 0; d < f.period.days.size(); ++d)
        t.rows.push_back(day_row(
            {f.period.days[d].date.toString(Qt::ISODate), hours_text(f.period.days[d].seconds())},
            figures.days[d][std::size_t(sensor)], judged));
    return t;
}

// A gap of both sensors at once (no line at all) is one row.
report_table gap_table(const report_figures& figures, local_clock& clock) {
    report_table t{{QStringLiteral("Sensor"), QStringLiteral("Start"), QStringLiteral("End"),
                    QStringLiteral("Minutes")},
                   {12, 22, 22, 12},
                   3,
                   {},
                   QStringLiteral("Gaps")};
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
    c.blocks.push_back(heading_block(
        t.rows.empty() ? name : QStringLiteral("%1 (%2)").arg(name).arg(t.rows.size())));
    c.blocks.push_back(t.rows.empty() ? note_block(none) : table_block(std::move(t)));
}

// Whether any settings in force in the period set each sensor's high and
// low threshold.
std::array<std::array<bool, 2>, 2> thresholds_set(const report_facts& f) {
    std::array<std::array<bool, 2>, 2> out{};
    const auto& all = f.settings.stretches;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::int64_t to = i + 1 < all.size() ? all[i + 1].from : f.period.end;
        if (to <= f.period.start || all[i].from >= f.period.end)
            continue;
        for (std::size_t s = 0; s < 2; ++s) {
            out[s][0] = out[s][0] || all[i].state.alarms[s].high.has_value();
            out[s][1] = out[s][1] || all[i].state.alarms[s].low.has_value();
        }
    }
    return out;
}

void add_source(report_content& c, const report_facts& f, local_clock& clock) {
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
                              .arg(QFileInfo(f.log_path).fileName())});
    }
    c.blocks.push_back(fields_block(std::move(source)));
}

const QString how_figures_are_made = QStringLiteral(
    "Each reading is judged by the settings in force when it was written, as the monitor's "
    "journal records them. A reading stands for the time until the next line of the log, or "
    "for one sampling period where no line follows within three; time for which no reading "
    "stands (no line, or \" - - \") is a gap, and coverage is the share of the time with a "
    "reading. The mean weighs each reading by its time. The mean kinetic temperature is "
    "\u0394H/R / \u2212ln(\u03A3 t\u1D62 e^(\u2212\u0394H/RT\u1D62) / \u03A3 t\u1D62) "
    "\u2212 273.15, with \u0394H = 83.144 kJ/mol, R = 8.3144 J/(mol K), T\u1D62 each reading in "
    "kelvin and t\u1D62 the time it stands for. An excursion begins with a reading at or above "
    "the high threshold (or at or below the low one) and ends when the last such reading runs "
    "out; readings within limits or gaps shorter than the clear hold do not end it, as they do "
    "not end an alarm. Its alarm is due when the alarm is on and it lasted the raise delay "
    "without a break. Durations are rounded up to the tenth of a minute, coverage down to the "
    "tenth of a percent. Days are local days: those on which the clocks change have 23 or 25 "
    "hours, and the hour repeated when they go back is taken in the order the log holds it.");

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
    c.blocks.push_back(title_block(QStringLiteral("Temperature report")));
    c.blocks.push_back(heading_block(verdict_text(f, figures)));
    add_source(c, f, clock);
    const std::array<std::array<bool, 2>, 2> judged = thresholds_set(f);
    const auto names = f.settings.stretches.empty() ? settings_state{}.name
                                                    : f.settings.stretches.back().state.name;
    for (std::size_t s = 0; s < 2; ++s) {
        c.blocks.push_back(heading_block(QStringLiteral("Sensor %1: %2").arg(s + 1).arg(names[s])));
        c.blocks.push_back(fields_block(sensor_fields(figures.total[s], clock, judged[s])));
    }
    c.blocks.push_back({report_block::kind::chart, {}, {}, {}});
    add_excursion_section(c, f, figures, clock);
    add_settings_section(c, f, figures, clock);
    add_table(c, QStringLiteral("Gaps"), gap_table(figures, clock),
              QStringLiteral("None: a reading stands for every second of the period."));
    for (std::size_t s = 0; s < 2; ++s) {
        c.blocks.push_back(heading_block(QStringLiteral("%1 by day").arg(names[s])));
        c.blocks.push_back(table_block(day_table(int(s), names[s], f, figures, judged[s], period)));
    }
    add_seal_section(c, f);
    c.blocks.push_back(heading_block(QStringLiteral("How the figures are made")));
    c.blocks.push_back(note_block(how_figures_are_made));
    add_review_block(c);
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
