// The report on a known log of Berlin's autumn clock change, with an
// excursion, a gap of both sensors and one of sensor 2: its numbers, the
// program that writes it without a display, and its command line.

#include "history/report.h"
#include "history_files.h"
#include "support/build_paths.h"
#include "support/files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

const QTimeZone berlin("Europe/Berlin");

QDateTime local(int day, int h, int m, int s = 0) {
    return QDateTime(QDate(2026, 10, day), QTime(h, m, s), berlin);
}

// 23 October 22:00 to 27 October 02:00 at 5 s. Sensor 1 reads 20 ºC but
// 42 from 24 October 09:30 for a quarter of an hour, 43 at 09:40; no line
// from 12:00 to 12:20 that day; sensor 2 reads 30 but " - - " for a minute
// from 26 October 08:00.
QByteArray known_log() {
    QByteArray out;
    for (qint64 t = local(23, 22, 0).toSecsSinceEpoch(); t < local(27, 2, 0).toSecsSinceEpoch();
         t += 5) {
        const QDateTime at = QDateTime::fromSecsSinceEpoch(t, berlin);
        if (at >= local(24, 12, 0) && at < local(24, 12, 20))
            continue;
        int s1 = 20;
        if (at >= local(24, 9, 30) && at < local(24, 9, 45))
            s1 = at == local(24, 9, 40) ? 43 : 42;
        const bool s2 = !(at >= local(26, 8, 0) && at < local(26, 8, 1));
        out += rules::datalog::log_line(at, QString::number(s1) + QStringLiteral("\u00BAC"),
                                        s2 ? QStringLiteral("30\u00BAC") : QStringLiteral(" - - "));
    }
    return out;
}

// The lines of 24 to 26 October, as the hash covers them.
QByteArray lines_of_the_period(const QByteArray& log) {
    const qsizetype begin = log.indexOf("10-24-2026\t00:00:00");
    const qsizetype end = log.indexOf("10-27-2026\t00:00:00");
    return log.sliced(begin, end - begin);
}

class report_test : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        log = dir.filePath(QStringLiteral("TARNWICK.txt"));
        bytes = known_log();
        ASSERT_TRUE(write_file(log, bytes));
        ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("Tarnwick.INI")),
                               settings_text("frm_thermometer.Option8.value=1\r\n")));
        QLocale::setDefault(QLocale::c());
    }

    QTemporaryDir dir;
    QString log;
    QByteArray bytes;
};

const chart::report_table* table_after(const chart::report_content& c, const QString& name) {
    for (std::size_t i = 0; i + 1 < c.blocks.size(); ++i)
        if (c.blocks[i].text.startsWith(name))
            return &c.blocks[i + 1].table;
    return nullptr;
}

QString field(const chart::report_content& c, const QString& name) {
    for (const chart::report_block& b : c.blocks)
        for (const auto& [label, value] : b.fields)
            if (label == name)
                return value;
    return {};
}

// The values of the fields block after the heading `name`.
QStringList field_values(const chart::report_content& c, const QString& name) {
    for (std::size_t i = 0; i + 1 < c.blocks.size(); ++i)
        if (c.blocks[i].text == name) {
            QStringList out;
            for (const auto& row : c.blocks[i + 1].fields)
                out << row.second;
            return out;
        }
    return {};
}

TEST_F(report_test, known_log_gives_its_numbers) {
    history::report_request request;
    request.log_path = log;
    request.dates = chart::date_range{QDate(2026, 10, 24), QDate(2026, 10, 26)};
    request.made_at = local(27, 6, 0).toSecsSinceEpoch();
    request.host = QStringLiteral("lab-pc");
    request.clock = chart::local_clock(berlin);
    QString problem;
    const auto r = history::make_report(request, problem);
    ASSERT_TRUE(r) << problem.toStdString();
    const chart::report_content& c = r->content;

    const QByteArray lines = lines_of_the_period(bytes);
    EXPECT_EQ(field(c, QStringLiteral("SHA-256")),
              QCryptographicHash::hash(lines, QCryptographicHash::Sha256).toHex());
    const qsizetype first = bytes.left(bytes.indexOf(lines)).count('\n') + 1;
    EXPECT_TRUE(
        field(c, QStringLiteral("Lines"))
            .startsWith(QStringLiteral("%1 to %2 ").arg(first).arg(first + lines.count('\n') - 1)));
    EXPECT_EQ(field(c, QStringLiteral("Made")), QStringLiteral("2026-10-27 06:00:00 +01:00"));
    EXPECT_EQ(field(c, QStringLiteral("Station")), QStringLiteral("lab-pc, folder ") + dir.path());

    using rows = std::vector<QStringList>;
    // No journal: the thresholds are today's, and say so; no alarm can be
    // found for the excursion.
    const auto* excursions = table_after(c, QStringLiteral("Excursions"));
    ASSERT_TRUE(excursions);
    EXPECT_EQ(excursions->rows,
              (rows{{"1*", "Sensor 1", "high", "2026-10-24 09:30", "2026-10-24 09:45",
                     "2026-10-24 09:40", "no journal", "15.0", "43"}}));
    EXPECT_EQ(c.blocks[1].text,
              QStringLiteral("1 excursion, the longest 15.0 min, no journal of the alarms"));
    const auto* gaps = table_after(c, QStringLiteral("Gaps"));
    ASSERT_TRUE(gaps);
    EXPECT_EQ(gaps->rows, (rows{{"1 and 2", "2026-10-24 12:00", "2026-10-24 12:20", "20.0"},
                                {"2", "2026-10-26 08:00", "2026-10-26 08:01", "1.0"}}));
    // Sensor 2's alarm is off; its thresholds still count its minutes. The
    // mean kinetic temperature of 895 s at 42, 5 s at 43 and 260,700 s at
    // 20 is 20.286 °C.
    const QStringList s1 = field_values(c, QStringLiteral("Sensor 1: Sensor 1"));
    EXPECT_EQ(s1, (QStringList{"52320", "20 \u00B0C at 2026-10-24 00:00",
                               "43 \u00B0C at 2026-10-24 09:40", "20.1 \u00B0C", "20.29 \u00B0C",
                               "99.5 %", "15.0 min", "0.0 min",
                               "whole degrees, 0 to 124 \u00B0C (the logger's)"}));
    EXPECT_EQ(field_values(c, QStringLiteral("Sensor 2: Sensor 2")).mid(1, 7),
              (QStringList{"30 \u00B0C at 2026-10-24 00:00", "30 \u00B0C at 2026-10-24 00:00",
                           "30.0 \u00B0C", "30.00 \u00B0C", "99.5 %", "0.0 min", "0.0 min"}));
    const auto* days1 = table_after(c, QStringLiteral("Sensor 1 by day"));
    ASSERT_TRUE(days1);
    EXPECT_EQ(days1->caption, QStringLiteral("Sensor 1 by day, 2026-10-24 to 2026-10-26"));
    EXPECT_EQ(
        days1->rows[0].mid(0, 6) + days1->rows[0].mid(7),
        (QStringList{"2026-10-24", "24", "17040", "20", "20.2", "43", "15.0", "0.0", "98.6"}));
    EXPECT_EQ(days1->rows[1], (QStringList{"2026-10-25", "25", "18000", "20", "20.0", "20", "20.0",
                                           "0.0", "0.0", "100.0"}));
    const auto* days2 = table_after(c, QStringLiteral("Sensor 2 by day"));
    ASSERT_TRUE(days2);
    EXPECT_EQ(days2->rows[2], (QStringList{"2026-10-26", "24", "17268", "30", "30.0", "30", "30.0",
                                           "0.0", "0.0", "99.9"}));
    const auto* seals = table_after(c, QStringLiteral("Daily seals"));
    ASSERT_TRUE(seals);
    ASSERT_EQ(seals->rows.size(), 3u);
    EXPECT_EQ(seals->rows[0], (QStringList{"2026-10-24", "not sealed"}));

    // Written like the exports: a place it cannot go is said.
    const rules::result written =
        history::write_report_pdf(*r, dir.filePath(QStringLiteral("no/dir/r.pdf")));
    EXPECT_FALSE(written);
    EXPECT_FALSE(written.why().isEmpty());
}

// The program as a scheduled job runs it: no display, no platform chosen.
QProcess* run_history(QProcess& p, const QString& dir, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir);
    p.start(QString::fromUtf8(build_paths::history), args);
    return p.waitForFinished(60000) ? &p : nullptr;
}

TEST_F(report_test, program_writes_it_to_standard_output_without_a_display) {
    QProcess p;
    ASSERT_TRUE(run_history(p, dir.path(),
                            {QStringLiteral("--report"), QStringLiteral("-"),
                             QStringLiteral("--from"), QStringLiteral("2026-10-24"),
                             QStringLiteral("--to"), QStringLiteral("2026-10-26")}));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardError(), QByteArray());
    const QString pdf = dir.filePath(QStringLiteral("week.pdf"));
    ASSERT_TRUE(write_file(pdf, p.readAllStandardOutput()));
    ASSERT_TRUE(read_file(pdf).startsWith("%PDF-"));
    ASSERT_TRUE(read_file(pdf).trimmed().endsWith("%%EOF"));

    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed: the PDF's text is not read";
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(60000));
    const QStringList lines = QString::fromUtf8(text.readAllStandardOutput()).split(u'\n');
    const auto line_with = [&](const QString& a, const QString& b) {
        for (const QString& line : lines)
            if (line.contains(a) && line.contains(b))
                return line.simplified();
        return QString();
    };
    EXPECT_EQ(line_with(QStringLiteral("2026-10-24 09:30"), QStringLiteral("high")),
              QStringLiteral("1* Sensor 1 high 2026-10-24 09:30 2026-10-24 09:45 "
                             "2026-10-24 09:40 no journal 15.0 43"));
    EXPECT_EQ(line_with(QStringLiteral("2026-10-24 12:00"), QStringLiteral("1 and 2")),
              QStringLiteral("1 and 2 2026-10-24 12:00 2026-10-24 12:20 20.0"));
    EXPECT_EQ(line_with(QStringLiteral("2026-10-25"), QStringLiteral(" 25 ")),
              QStringLiteral("2026-10-25 25 18000 20 20.0 20 20.0 0.0 0.0 100.0"));
    EXPECT_FALSE(line_with(QStringLiteral("page 1 of 2"), QStringLiteral("KESTROVA")).isEmpty());
    EXPECT_FALSE(line_with(QStringLiteral("page 2 of 2"), QStringLiteral("KESTROVA")).isEmpty());
}

// The log cut short while a report is made from it: the report is not
// made, and says why; the program is not killed by the missing pages.
TEST_F(report_test, a_log_cut_while_the_report_reads_it_ends_the_report_not_the_program) {
    // Sixty days at 5 s, 32 MB, all of them in the report.
    const QDateTime first(QDate(2026, 8, 1), QTime(0, 0), berlin);
    ASSERT_TRUE(write_file(log, lines_from(first.toSecsSinceEpoch() + 7200, 60 * 17280)));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(QString::fromUtf8(build_paths::history),
            {QStringLiteral("--report"), QStringLiteral("all.pdf"), QStringLiteral("--from"),
             QStringLiteral("2026-08-01"), QStringLiteral("--to"), QStringLiteral("2026-09-29")});
    ASSERT_TRUE(p.waitForStarted());
    // Once it has the log open.
    const QString fds = QStringLiteral("/proc/%1/fd").arg(p.processId());
    const auto has_log = [&] {
        const QStringList entries = QDir(fds).entryList(QDir::Files | QDir::System);
        return std::any_of(entries.begin(), entries.end(), [&](const QString& fd) {
            return QFileInfo(fds + u'/' + fd).symLinkTarget() == log;
        });
    };
    (void)QTest::qWaitFor([&] { return has_log() || p.state() == QProcess::NotRunning; }, 60000);
    ASSERT_TRUE(QFile::resize(log, 1000));
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(p.exitCode() == 0 || p.exitCode() == 1) << p.exitCode();
    if (p.exitCode() == 1) {
        EXPECT_TRUE(p.readAllStandardError().contains("changed while the report was made"));
    }
}

struct command_case {
    const char* name;
    QStringList args;
    int exit_code;
    const char* out; // what standard output starts with
    int error_lines; // each in the program's name
};

class history_command_line : public testing::TestWithParam<command_case> {};

// Answers without a display and without touching a file.
TEST_P(history_command_line, answers_with_its_status) {
    const command_case& c = GetParam();
    QTemporaryDir dir;
    QProcess p;
    ASSERT_TRUE(run_history(p, dir.path(), c.args));
    EXPECT_EQ(p.exitCode(), c.exit_code);
    EXPECT_TRUE(p.readAllStandardOutput().startsWith(c.out));
    QList<QByteArray> errors = p.readAllStandardError().split('\n');
    errors.removeLast(); // what follows the last line end
    EXPECT_EQ(errors.size(), c.error_lines);
    for (const QByteArray& line : errors)
        EXPECT_TRUE(line.startsWith("kestrova-history: ")) << line.toStdString();
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    table, history_command_line,
    testing::Values(
        command_case{"help", {"--help"}, 0, "Usage: ", 0},
        command_case{"version", {"--version"}, 0, "kestrova-history ", 0},
        command_case{"unknown_option", {"--bogus"}, 2, "", 1},
        command_case{"not_a_date", {"--report", "r.pdf", "--from", "2026-02-30"}, 2, "", 1},
        command_case{"short_date", {"--to", "2026-1-7"}, 2, "", 1},
        command_case{"no_day",
                     {"--report", "r.pdf", "--from", "2026-11-08", "--to", "2026-11-01"},
                     2,
                     "",
                     1},
        command_case{"two_logs", {"a.txt", "b.txt"}, 2, "", 1},
        command_case{"no_log", {"--report", "r.pdf", "missing.txt"}, 1, "", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(history_command_line, help_names_the_log_optional) {
    QTemporaryDir dir;
    QProcess p;
    ASSERT_TRUE(run_history(p, dir.path(), {QStringLiteral("--help")}));
    const QByteArray help = p.readAllStandardOutput();
    EXPECT_TRUE(help.contains("[options] [LOG]\n")) << help.toStdString();
    for (const char* option : {"--report <FILE.pdf>", "--from <YYYY-MM-DD>", "--to <YYYY-MM-DD>"})
        EXPECT_TRUE(help.contains(option)) << option;
    EXPECT_FALSE(help.contains("exit-after-first-draw")) << "a benchmark's option";
}

} // namespace
