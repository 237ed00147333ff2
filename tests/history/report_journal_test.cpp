// The report of a week whose sampling period and threshold were changed in
// the monitor, as its journal holds them: the figures against a second by
// second count of the same week, the alarm events beside their excursion,
// and the daily seals against a log edited afterwards.

#include "alerts/journal.h"
#include "history/report.h"
#include "history_files.h"
#include "rules/journal_rules.h"
#include "support/files.h"

#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const QTimeZone berlin("Europe/Berlin");

// 2026-11-02 (a Monday) + `day`, local time.
QDateTime at(int day, int h, int m, int s = 0) {
    return QDateTime(QDate(2026, 11, 2).addDays(day), QTime(h, m, s), berlin);
}

struct line {
    qint64 time;
    int value; // sensor 1; sensor 2 reads 5 °C
};

// The week: a line a minute until Wednesday 10:00, then every 5 s; no line
// on Thursday from 03:00 to 03:30. Sensor 1 reads 25 °C but 31 on Tuesday
// 14:00-14:45, 29 on Thursday and Saturday 09:00-09:20, and 29 on Saturday
// 15:00-15:10 but 27 for 40 s at 15:05.
std::vector<line> week() {
    std::vector<line> out;
    const qint64 change = at(2, 10, 0).toSecsSinceEpoch();
    for (qint64 t = at(0, 0, 0).toSecsSinceEpoch(); t < at(7, 0, 0).toSecsSinceEpoch();
         t += t < change ? 60 : 5) {
        const QDateTime d = QDateTime::fromSecsSinceEpoch(t, berlin);
        const auto in = [&d](int day, int h0, int m0, int h1, int m1) {
            return d >= at(day, h0, m0) && d < at(day, h1, m1);
        };
        if (in(3, 3, 0, 3, 30))
            continue;
        int v = 25;
        if (in(1, 14, 0, 14, 45))
            v = 31;
        if (in(3, 9, 0, 9, 20) || in(5, 9, 0, 9, 20) || in(5, 15, 0, 15, 10))
            v = 29;
        if (d >= at(5, 15, 5) && d < at(5, 15, 5, 40))
            v = 27;
        out.push_back({t, v});
    }
    return out;
}

QByteArray log_of(const std::vector<line>& lines) {
    QByteArray out;
    for (const line& l : lines)
        out += rules::datalog::log_line(QDateTime::fromSecsSinceEpoch(l.time, berlin),
                                        QString::number(l.value) + QStringLiteral("\u00BAC"),
                                        QStringLiteral("5\u00BAC"));
    return out;
}

QJsonObject settings_at_start() {
    return {{"period", 60},         {"logging", true},    {"alarm_switch1", true},
            {"high1", 30},          {"low1", 2},          {"alarm_switch2", false},
            {"high2", 8},           {"low2", 2},          {"delay1", 0},
            {"delay2", 0},          {"hold", 60},         {"remind", 15},
            {"name1", "Cold room"}, {"name2", "Freezer"}, {"command", ""}};
}

QByteArray setting(const QDateTime& t, const QString& id, const QJsonValue& from,
                   const QJsonValue& to) {
    QJsonObject f = rules::journal::setting_fields(id);
    f.insert(QStringLiteral("from"), from);
    f.insert(QStringLiteral("to"), to);
    f.insert(QStringLiteral("via"), QStringLiteral("window"));
    return rules::journal::line(t, QStringLiteral("setting"), f);
}

// The journal as the monitor writes it: a start before the week, the
// period set to 5 s on Wednesday, the high threshold to 28 on Friday, and
// Tuesday's alarm raised, told, acknowledged and ended.
QByteArray journal_of_the_week() {
    QByteArray j =
        rules::journal::start_lines(at(-1, 23, 0), QStringLiteral("1.0"), settings_at_start(), {});
    const auto alarm = [](const QDateTime& t, const char* phase, QJsonObject more = {}) {
        more.insert("sensor", 1);
        more.insert("name", "Cold room");
        more.insert("phase", QString::fromLatin1(phase));
        more.insert("kind", "high");
        return rules::journal::line(t, QStringLiteral("alarm"), more);
    };
    j += alarm(at(1, 14, 0), "raised", {{"reading", 31}, {"threshold", 30}});
    j += rules::journal::line(
        at(1, 14, 0, 2), QStringLiteral("told"),
        {{"sensor", 1}, {"channel", "desktop"}, {"phase", "raised"}, {"ok", true}});
    j += alarm(at(1, 14, 12), "acknowledged",
               {{"by", "anna"}, {"via", "window"}, {"comment", "door left open, closed"}});
    j += alarm(at(1, 14, 46), "ended");
    j += setting(at(2, 10, 0), QStringLiteral("period"), 60, 5);
    j += setting(at(4, 12, 0), QStringLiteral("high1"), 30, 28);
    return j;
}

// The same week counted second by second, with the values in force written
// out here: 60 s until Wednesday 10:00, 5 s after; high 30 until Friday
// 12:00, 28 after; a clear hold of 60 s.
struct counted {
    qint64 covered = 0;
    qint64 above = 0;
    std::vector<std::pair<qint64, qint64>> excursions;
};

counted count_by_second(const std::vector<line>& lines) {
    const qint64 period_change = at(2, 10, 0).toSecsSinceEpoch();
    const qint64 high_change = at(4, 12, 0).toSecsSinceEpoch();
    counted c;
    std::size_t i = 0;
    qint64 last_beyond = -1000;
    for (qint64 t = at(0, 0, 0).toSecsSinceEpoch(); t < at(7, 0, 0).toSecsSinceEpoch(); ++t) {
        while (i + 1 < lines.size() && lines[i + 1].time <= t)
            ++i;
        const line& l = lines[i];
        const qint64 period = l.time < period_change ? 60 : 5;
        const qint64 step = i + 1 < lines.size() ? lines[i + 1].time - l.time : period;
        const qint64 lasts = step <= 3 * period ? step : period;
        if (l.time > t || t >= l.time + lasts)
            continue;
        ++c.covered;
        const int high = l.time < high_change ? 30 : 28;
        if (l.value < high)
            continue;
        ++c.above;
        if (c.excursions.empty() || t - last_beyond > 60)
            c.excursions.push_back({t, t + 1});
        c.excursions.back().second = t + 1;
        last_beyond = t + 1;
    }
    return c;
}

const chart::report_table* table_after(const chart::report_content& c, const QString& name) {
    for (std::size_t i = 0; i + 1 < c.blocks.size(); ++i)
        if (c.blocks[i].text.startsWith(name))
            return &c.blocks[i + 1].table;
    return nullptr;
}

QString field(const chart::report_content& c, const QString& heading, const QString& name) {
    for (std::size_t i = 0; i + 1 < c.blocks.size(); ++i)
        if (c.blocks[i].text == heading)
            for (const auto& [label, value] : c.blocks[i + 1].fields)
                if (label == name)
                    return value;
    return {};
}

class report_journal : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QLocale::setDefault(QLocale::c());
        lines = week();
        bytes = log_of(lines);
        ASSERT_TRUE(write_file(log_path(), bytes));
        // Today the period is 5 s and the threshold 28: no longer what
        // judged Monday.
        ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("Tarnwick.INI")),
                               "[VEZ]\r\nfrm_thermometer.Text3.text=28\r\n"
                               "frm_thermometer.Check2.value=1\r\n"
                               "frm_thermometer.Option8.value=1\r\n"));
    }
    QString log_path() const { return dir.filePath(QStringLiteral("TARNWICK.txt")); }
    QString journal_path() const { return dir.filePath(QStringLiteral("TARNWICK-journal.jsonl")); }

    std::unique_ptr<history::report> report() {
        history::report_request request;
        request.log_path = log_path();
        request.dates = chart::date_range{QDate(2026, 11, 2), QDate(2026, 11, 8)};
        request.made_at = at(8, 6, 0).toSecsSinceEpoch();
        request.clock = chart::local_clock(berlin);
        QString problem;
        auto r = history::make_report(request, problem);
        EXPECT_TRUE(r) << problem.toStdString();
        return r;
    }

    QTemporaryDir dir;
    std::vector<line> lines;
    QByteArray bytes;
};

TEST_F(report_journal, figures_follow_the_settings_in_force_as_a_count_by_second_does) {
    ASSERT_TRUE(write_file(journal_path(), journal_of_the_week()));
    const auto r = report();
    ASSERT_TRUE(r);
    const chart::report_content& c = r->content;
    const counted expected = count_by_second(lines);
    ASSERT_EQ(expected.excursions.size(), 3u) << "Tuesday, Saturday morning, Saturday afternoon";

    const QString sensor = QStringLiteral("Sensor 1: Cold room");
    EXPECT_EQ(field(c, sensor, QStringLiteral("Coverage")),
              chart::percent_text(expected.covered, std::int64_t{7} * 86400) +
                  QStringLiteral(" %"));
    EXPECT_EQ(field(c, sensor, QStringLiteral("At or above high")),
              chart::minutes_text(expected.above) + QStringLiteral(" min"));
    const auto* excursions = table_after(c, QStringLiteral("Excursions"));
    ASSERT_TRUE(excursions);
    ASSERT_EQ(excursions->rows.size(), expected.excursions.size());
    chart::local_clock clock(berlin);
    for (std::size_t i = 0; i < expected.excursions.size(); ++i) {
        const auto& [start, end] = expected.excursions[i];
        EXPECT_EQ(excursions->rows[i].mid(3, 2) + excursions->rows[i].mid(7, 1),
                  (QStringList{chart::minute_text(start, clock), chart::minute_text(end, clock),
                               chart::minutes_text(end - start)}))
            << "excursion " << i + 1;
    }
    EXPECT_EQ(excursions->rows[0][6], QStringLiteral("raised, acknowledged, ended"));
    EXPECT_EQ(excursions->rows[1][6], QStringLiteral("not in the journal"));
    EXPECT_EQ(c.blocks[1].text,
              QStringLiteral("3 excursions, the longest 45.0 min, 1 of 3 acknowledged"));

    const auto* events = table_after(c, QStringLiteral("Alarm events"));
    ASSERT_TRUE(events);
    ASSERT_EQ(events->rows.size(), 4u);
    EXPECT_EQ(events->rows[2],
              (QStringList{"1", "2026-11-03 14:12", "Cold room", "acknowledged",
                           "high; by anna (window): \u201Cdoor left open, closed\u201D"}));
    const auto* changes = table_after(c, QStringLiteral("Changes of the settings"));
    ASSERT_TRUE(changes);
    EXPECT_EQ(changes->rows,
              (std::vector<QStringList>{
                  {"2026-11-04 10:00", "sampling period", "60", "5", "main window"},
                  {"2026-11-06 12:00", "high threshold, Cold room", "30", "28", "main window"}}));
    const auto* gaps = table_after(c, QStringLiteral("Gaps"));
    ASSERT_TRUE(gaps);
    EXPECT_EQ(gaps->rows.size(), 1u) << "Thursday's half hour only: a line a minute is no gap";
}

// Without a journal the period is the log's own spacing, the median of each
// day's (Wednesday's is 5 s: its morning at a minute reads as gaps), and
// today's threshold (28) judges the whole week, said to be today's.
TEST_F(report_journal, without_a_journal_the_log_keeps_its_spacing_and_todays_thresholds_say_so) {
    const auto r = report();
    ASSERT_TRUE(r);
    const chart::report_content& c = r->content;
    const auto* gaps = table_after(c, QStringLiteral("Gaps"));
    ASSERT_TRUE(gaps);
    const auto not_wednesday =
        std::count_if(gaps->rows.begin(), gaps->rows.end(), [](const QStringList& g) {
            return !g[1].startsWith(QStringLiteral("2026-11-04"));
        });
    EXPECT_EQ(not_wednesday, 1) << "Thursday's half hour; Monday and Tuesday at a minute have none";
    const auto* excursions = table_after(c, QStringLiteral("Excursions"));
    ASSERT_TRUE(excursions);
    ASSERT_EQ(excursions->rows.size(), 4u) << "Thursday's 29 is beyond today's 28";
    EXPECT_EQ(excursions->rows[1][0], QStringLiteral("2*"));
    bool said = false;
    for (const chart::report_block& b : c.blocks)
        said = said ||
               b.text.contains(QStringLiteral("as set today, 2026-11-10: not recorded before"));
    EXPECT_TRUE(said);
}

// Seals the monitor writes at midnight: a line of Thursday changed
// afterwards shows on Thursday alone.
TEST_F(report_journal, a_line_edited_after_its_day_was_sealed_shows_on_that_day) {
    QDateTime now = at(1, 0, 0, 3);
    {
        alerts::journal j(journal_path(), [&now] { return now; });
        for (int d = 0; d < 6; ++d) {
            now = at(d + 1, 0, 0, 3);
            j.seal(log_path(), QDate(2026, 11, 2).addDays(d));
        }
        j.close(std::chrono::seconds(10));
    }
    const qsizetype thursday = bytes.indexOf("11-05-2026\t");
    const qsizetype friday = bytes.indexOf("11-06-2026\t");
    const std::int64_t first = bytes.left(thursday).count('\n') + 1;
    const std::int64_t last = bytes.left(friday).count('\n');
    const qsizetype edited = bytes.indexOf("11-05-2026\t12:00:00\t25");
    ASSERT_GT(edited, 0);
    bytes[edited + 21] = '4'; // 25 becomes 24, as `sed -i` would leave it
    ASSERT_TRUE(write_file(log_path(), bytes));

    const auto r = report();
    ASSERT_TRUE(r);
    const auto* seals = table_after(r->content, QStringLiteral("Daily seals"));
    ASSERT_TRUE(seals);
    ASSERT_EQ(seals->rows.size(), 7u);
    EXPECT_EQ(
        seals->rows[3][1],
        QStringLiteral("changed since it was sealed (lines %1\u2013%2)").arg(first).arg(last));
    for (int d : {0, 1, 2, 4, 5})
        EXPECT_TRUE(
            seals->rows[std::size_t(d)][1].startsWith(QStringLiteral("sealed, matches (lines ")))
            << seals->rows[std::size_t(d)][1].toStdString();
    EXPECT_EQ(seals->rows[6][1], QStringLiteral("not sealed"));
    EXPECT_TRUE(r->content.blocks[1].text.endsWith(
        QStringLiteral("the log was changed on 1 day since it was sealed")));
}

} // namespace
