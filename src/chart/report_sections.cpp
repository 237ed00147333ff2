// The sections of the report that come from the monitor's journal.

#include "chart/report_blocks.h"

#include <algorithm>

namespace chart {

namespace {

QString alarm_text(const sensor_alarm& a) {
    const auto value = [](const std::optional<double>& v) {
        return v ? QLocale().toString(*v) : QStringLiteral("none");
    };
    return QStringLiteral("%1, high %2, low %3")
        .arg(a.on ? QStringLiteral("on") : QStringLiteral("off"), value(a.high), value(a.low));
}

QString via_text(const QString& via) {
    if (via == QLatin1String("window"))
        return QStringLiteral("main window");
    if (via == QLatin1String("settings"))
        return QStringLiteral("settings window");
    if (via == QLatin1String("file"))
        return QStringLiteral("settings file, between runs");
    return via;
}

QString setting_name(const QString& id, const std::array<QString, 2>& names) {
    const QChar last = id.isEmpty() ? QChar() : id.back();
    const QString sensor = last == u'2' ? names[1] : names[0];
    const QString base = last == u'1' || last == u'2' ? id.chopped(1) : id;
    if (id == QLatin1String("period"))
        return QStringLiteral("sampling period");
    if (base == QLatin1String("high") || base == QLatin1String("low"))
        return QStringLiteral("%1 threshold, %2").arg(base, sensor);
    if (base == QLatin1String("alarm_switch"))
        return QStringLiteral("alarm switch, %1").arg(sensor);
    if (base == QLatin1String("delay"))
        return QStringLiteral("raise delay, %1").arg(sensor);
    if (base == QLatin1String("name"))
        return QStringLiteral("name of sensor %1").arg(last);
    if (id == QLatin1String("hold"))
        return QStringLiteral("clear hold");
    return id;
}

// The log's own spacing over the days of [from, to).
QString own_period_text(const report_facts& f, const report_figures& figures, std::int64_t from,
                        std::int64_t to) {
    std::uint32_t lo = 0;
    std::uint32_t hi = 0;
    for (std::size_t d = 0; d < f.period.days.size() && d < figures.own_period.size(); ++d) {
        if (f.period.days[d].end <= from || f.period.days[d].start >= to)
            continue;
        const std::uint32_t p = figures.own_period[d];
        lo = lo == 0 ? p : std::min(lo, p);
        hi = std::max(hi, p);
    }
    const QString text =
        lo == hi ? period_seconds_text(lo)
                 : QStringLiteral("%1 to %2").arg(period_seconds_text(lo), period_seconds_text(hi));
    return QStringLiteral("the log's own: %1").arg(text);
}

report_table stretch_table(const report_facts& f, const report_figures& figures,
                           local_clock& clock) {
    const auto& names = f.settings.stretches.empty() ? settings_state{}.name
                                                     : f.settings.stretches.back().state.name;
    report_table t{{QStringLiteral("From"), QStringLiteral("Sampling"),
                    QStringLiteral("%1, %2").arg(names[0], report_degrees),
                    QStringLiteral("%1, %2").arg(names[1], report_degrees),
                    QStringLiteral("Delays; hold"), QStringLiteral("Source")},
                   {16, 13, 21, 21, 15, 14},
                   6,
                   {},
                   QStringLiteral("Settings in force")};
    const auto& all = f.settings.stretches;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::int64_t from = std::max(all[i].from, f.period.start);
        const std::int64_t to = i + 1 < all.size() ? all[i + 1].from : f.period.end;
        if (to <= f.period.start || from >= f.period.end || to <= from)
            continue;
        const settings_state& s = all[i].state;
        t.rows.push_back(
            {minute_text(from, clock),
             s.period > 0 ? period_seconds_text(s.period) : own_period_text(f, figures, from, to),
             alarm_text(s.alarms[0]), alarm_text(s.alarms[1]),
             QStringLiteral("%1, %2; %3")
                 .arg(period_seconds_text(s.delay[0]), period_seconds_text(s.delay[1]),
                      period_seconds_text(s.hold)),
             s.recorded ? QStringLiteral("journal") : QStringLiteral("as set today")});
    }
    return t;
}

// The alarm's lines of the journal that belong to an excursion: of its
// sensor, from its start to the end of its clear hold.
bool belongs(const alarm_note& a, const excursion& e, std::int64_t hold) {
    const bool kind = a.what == QLatin1String("told") ||
                      a.kind == (e.high ? QLatin1String("high") : QLatin1String("low"));
    return kind && a.sensor == e.sensor && a.time >= e.start - 1 && a.time <= e.end + hold + 120;
}

std::int64_t hold_at(const report_facts& f, std::int64_t t) {
    std::size_t hint = 0;
    return f.settings.stretches.empty() ? 60 : state_at(f.settings, t, hint).hold;
}

bool has(const std::vector<const alarm_note*>& notes, const char* phase) {
    return std::any_of(notes.begin(), notes.end(),
                       [phase](const alarm_note* a) { return a->what == QLatin1String(phase); });
}

QString alarm_column(const excursion& e, const std::vector<const alarm_note*>& notes,
                     bool journal) {
    if (!e.alarm_on)
        return QStringLiteral("none: alarm off");
    if (!e.alarm_due())
        return QStringLiteral("none: under the delay");
    QStringList said;
    for (const char* phase : {"raised", "acknowledged", "ended"})
        if (has(notes, phase))
            said << QLatin1String(phase);
    if (said.isEmpty())
        return journal ? QStringLiteral("not in the journal") : QStringLiteral("no journal");
    return said.join(QStringLiteral(", "));
}

// Each excursion's alarm lines, and for each alarm line its excursion
// (counted from 1; 0 for none).
struct excursion_alarms {
    std::vector<std::vector<const alarm_note*>> of;
    std::vector<int> owner;
};

excursion_alarms match_alarms(const report_facts& f, const report_figures& figures) {
    excursion_alarms m;
    m.owner.assign(f.settings.alarms.size(), 0);
    m.of.resize(figures.excursions.size());
    for (std::size_t i = 0; i < figures.excursions.size(); ++i) {
        const excursion& e = figures.excursions[i];
        const std::int64_t hold = hold_at(f, e.end);
        for (std::size_t k = 0; k < f.settings.alarms.size(); ++k)
            if (m.owner[k] == 0 && belongs(f.settings.alarms[k], e, hold)) {
                m.owner[k] = int(i + 1);
                m.of[i].push_back(&f.settings.alarms[k]);
            }
    }
    return m;
}

QString sensor_name(const report_facts& f, int sensor) {
    return f.settings.stretches.empty()
               ? QStringLiteral("Sensor %1").arg(sensor + 1)
               : f.settings.stretches.back().state.name[std::size_t(sensor)];
}

} // namespace

QString period_seconds_text(std::int64_t seconds) {
    if (seconds >= 60 && seconds % 60 == 0)
        return QStringLiteral("%1 min").arg(seconds / 60);
    return QStringLiteral("%1 s").arg(seconds);
}

QString unrecorded_note(const report_facts& f, local_clock& clock) {
    if (f.settings.first && *f.settings.first <= f.period.start)
        return {};
    const std::int64_t first = f.settings.first.value_or(f.period.end);
    return minute_text(std::min(first, f.period.end), clock);
}

void add_settings_section(report_content& c, const report_facts& f, const report_figures& figures,
                          local_clock& clock) {
    c.blocks.push_back(heading_block(QStringLiteral("Settings in force")));
    if (const QString before = unrecorded_note(f, clock); !before.isEmpty())
        c.blocks.push_back(note_block(
            QStringLiteral("%1 Until %2 the sampling period is the log's own (the median "
                           "spacing of its lines, per day); the thresholds, alarm switches, "
                           "delays and hold are as set today, %3: not recorded before %2.")
                .arg(f.journal ? QStringLiteral("The journal begins after the period starts.")
                               : QStringLiteral("There is no journal (TARNWICK-journal.jsonl) "
                                                "beside the log."),
                     before, f.today.toString(Qt::ISODate))));
    c.blocks.push_back(table_block(stretch_table(f, figures, clock)));
    report_table changes{{QStringLiteral("Time"), QStringLiteral("Setting"), QStringLiteral("From"),
                          QStringLiteral("To"), QStringLiteral("Where")},
                         {16, 26, 12, 12, 22},
                         5,
                         {},
                         QStringLiteral("Changes of the settings")};
    const auto names = f.settings.stretches.empty() ? settings_state{}.name
                                                    : f.settings.stretches.back().state.name;
    for (const setting_change& ch : f.settings.changes)
        if (ch.time >= f.period.start && ch.time < f.period.end)
            changes.rows.push_back({minute_text(ch.time, clock), setting_name(ch.id, names),
                                    ch.from, ch.to, via_text(ch.via)});
    c.blocks.push_back(heading_block(
        QStringLiteral("Changes of the settings in the period (%1)").arg(changes.rows.size())));
    c.blocks.push_back(changes.rows.empty() ? note_block(QStringLiteral("None recorded."))
                                            : table_block(std::move(changes)));
}

void add_excursion_section(report_content& c, const report_facts& f, const report_figures& figures,
                           local_clock& clock) {
    report_table t{{QStringLiteral("#"), QStringLiteral("Sensor"), QStringLiteral("Beyond"),
                    QStringLiteral("Start"), QStringLiteral("End"), QStringLiteral("Peak at"),
                    QStringLiteral("Alarm"), QStringLiteral("Minutes"),
                    QStringLiteral("Peak ") + report_degrees},
                   {4, 12, 7, 16, 16, 16, 25, 8, 8},
                   7,
                   {},
                   QStringLiteral("Excursions")};
    report_table events{{QStringLiteral("#"), QStringLiteral("Time"), QStringLiteral("Sensor"),
                         QStringLiteral("Event"), QStringLiteral("Detail")},
                        {4, 16, 12, 13, 55},
                        5,
                        {},
                        QStringLiteral("Alarm events")};
    const excursion_alarms matched = match_alarms(f, figures);
    const std::vector<int>& owner = matched.owner;
    bool today = false;
    for (std::size_t i = 0; i < figures.excursions.size(); ++i) {
        const excursion& e = figures.excursions[i];
        const std::vector<const alarm_note*>& notes = matched.of[i];
        today = today || !e.recorded;
        t.rows.push_back({QString::number(i + 1) + (e.recorded ? QString() : QStringLiteral("*")),
                          sensor_name(f, e.sensor),
                          e.high ? QStringLiteral("high") : QStringLiteral("low"),
                          minute_text(e.start, clock), minute_text(e.end, clock),
                          minute_text(e.peak_at, clock), alarm_column(e, notes, f.journal),
                          minutes_text(e.end - e.start), QString::number(e.peak)});
    }
    for (std::size_t k = 0; k < f.settings.alarms.size(); ++k) {
        const alarm_note& a = f.settings.alarms[k];
        if (owner[k] == 0 && (a.time < f.period.start || a.time >= f.period.end))
            continue;
        events.rows.push_back(
            {owner[k] > 0 ? QString::number(owner[k]) : report_dash, minute_text(a.time, clock),
             sensor_name(f, a.sensor), a.what,
             a.kind.isEmpty() ? a.detail : a.kind + QStringLiteral("; ") + a.detail});
    }
    c.blocks.push_back(heading_block(QStringLiteral("Excursions (%1)").arg(t.rows.size())));
    c.blocks.push_back(t.rows.empty() ? note_block(QStringLiteral("None."))
                                      : table_block(std::move(t)));
    if (today)
        c.blocks.push_back(note_block(
            QStringLiteral("* judged by the thresholds as set today: not recorded before %1.")
                .arg(unrecorded_note(f, clock))));
    c.blocks.push_back(
        heading_block(QStringLiteral("Alarm events in the journal (%1)").arg(events.rows.size())));
    c.blocks.push_back(events.rows.empty()
                           ? note_block(f.journal ? QStringLiteral("None.")
                                                  : QStringLiteral("None: there is no journal."))
                           : table_block(std::move(events)));
}

void add_seal_section(report_content& c, const report_facts& f) {
    report_table t{{QStringLiteral("Date"), QStringLiteral("Seal")},
                   {20, 80},
                   2,
                   {},
                   QStringLiteral("Daily seals of the log")};
    for (std::size_t d = 0; d < f.period.days.size() && d < f.seals.size(); ++d)
        t.rows.push_back({f.period.days[d].date.toString(Qt::ISODate), f.seals[d]});
    c.blocks.push_back(heading_block(QStringLiteral("Daily seals of the log")));
    c.blocks.push_back(table_block(std::move(t)));
    c.blocks.push_back(note_block(QStringLiteral(
        "At each midnight and when it stops, the monitor writes in its journal the SHA-256 of "
        "the day's lines of the log; each day is checked against it here.")));
}

void add_review_block(report_content& c) {
    c.blocks.push_back(heading_block(QStringLiteral("Review")));
    const QString line = QStringLiteral("_").repeated(60);
    c.blocks.push_back(fields_block({{QStringLiteral("Reviewed by"), line},
                                     {QStringLiteral("Date"), line},
                                     {QStringLiteral("Signature"), line},
                                     {QStringLiteral("Corrective action"), line},
                                     {QString(), line},
                                     {QString(), line}}));
}

QString verdict_text(const report_facts& f, const report_figures& figures) {
    const auto& x = figures.excursions;
    QString text;
    if (x.empty()) {
        text = QStringLiteral("Within limits");
    } else {
        std::int64_t longest = 0;
        for (const excursion& e : x)
            longest = std::max(longest, e.end - e.start);
        const std::size_t quiet = std::size_t(
            std::count_if(x.begin(), x.end(), [](const excursion& e) { return !e.alarm_due(); }));
        text = QStringLiteral("%1, the longest %2 min")
                   .arg(count_text(x.size(), "excursion", "excursions"), minutes_text(longest));
        if (quiet > 0)
            text += QStringLiteral(", %1 without an alarm").arg(quiet);
        const excursion_alarms matched = match_alarms(f, figures);
        std::size_t acknowledged = 0;
        for (const auto& notes : matched.of)
            acknowledged += has(notes, "acknowledged") ? 1 : 0;
        const std::size_t due = x.size() - quiet;
        if (due > 0 && !f.journal)
            text += QStringLiteral(", no journal of the alarms");
        else if (due > 0 && acknowledged >= due)
            text +=
                due == 1 ? QStringLiteral(", acknowledged") : QStringLiteral(", all acknowledged");
        else if (due > 0)
            text += QStringLiteral(", %1 of %2 acknowledged").arg(acknowledged).arg(due);
    }
    const std::size_t changed =
        std::size_t(std::count_if(f.seals.begin(), f.seals.end(), [](const QString& s) {
            return s.startsWith(QLatin1String("changed"));
        }));
    if (changed > 0)
        text += QStringLiteral("; the log was changed on %1 since it was sealed")
                    .arg(count_text(changed, "day", "days"));
    return text;
}

} // namespace chart
