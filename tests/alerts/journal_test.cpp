#include "alerts/journal.h"
#include "alerts/seal_clock.h"

#include "support/files.h"
#include "support/log_capture.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

QList<QJsonObject> lines_of(const QString& path) {
    QList<QJsonObject> out;
    for (const QByteArray& l : read_file(path).split('\n')) {
        if (l.isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument d = QJsonDocument::fromJson(l, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << l.toStdString();
        out << d.object();
    }
    return out;
}

QJsonObject settings(double high1) {
    return {{QStringLiteral("period"), 5}, {QStringLiteral("high1"), high1}};
}

} // namespace

TEST(journal, each_run_says_how_the_one_before_ended_and_what_the_file_changed_between) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TARNWICK-journal.jsonl"));
    {
        alerts::journal j(path);
        j.start(QStringLiteral("1.0"), settings(30));
        j.write(QStringLiteral("stop"), {{QStringLiteral("settings"), settings(30)}});
        j.close(std::chrono::seconds(5));
    }
    {
        alerts::journal j(path); // the file says 28 now; this run ends without a stop
        j.start(QStringLiteral("1.0"), settings(28));
        j.close(std::chrono::seconds(5));
    }
    {
        alerts::journal j(path);
        j.start(QStringLiteral("1.0"), settings(28));
        j.close(std::chrono::seconds(5));
    }
    const QList<QJsonObject> l = lines_of(path);
    ASSERT_EQ(l.size(), 5);
    EXPECT_FALSE(l[0].contains(QStringLiteral("clean_before"))) << "the first run has none before";
    EXPECT_EQ(l[2].value(QStringLiteral("clean_before")), true);
    EXPECT_EQ(l[3].value(QStringLiteral("event")), QStringLiteral("setting"));
    EXPECT_EQ(l[3].value(QStringLiteral("key")), QStringLiteral("threshold"));
    EXPECT_EQ(l[3].value(QStringLiteral("limit")), QStringLiteral("high"));
    EXPECT_EQ(l[3].value(QStringLiteral("sensor")), 1);
    EXPECT_EQ(l[3].value(QStringLiteral("from")), 30);
    EXPECT_EQ(l[3].value(QStringLiteral("to")), 28);
    EXPECT_EQ(l[3].value(QStringLiteral("via")), QStringLiteral("file"));
    EXPECT_EQ(l[4].value(QStringLiteral("clean_before")), false);
    EXPECT_TRUE(read_file(path).startsWith("{\"time\":\"")) << "each line reads from its time";
}

// A full disk (here a file size limit): a line cut short is taken back, the
// failure is said once, and the lines that waited go out when there is room.
TEST(journal, a_journal_that_cannot_be_written_keeps_whole_lines_and_catches_up) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TARNWICK-journal.jsonl"));
    log_capture said("kestrova.alerts");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    {
        alerts::journal j(path);
        rlimit tight = saved;
        tight.rlim_cur = 200;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
        for (int i = 0; i < 5; ++i)
            j.write(QStringLiteral("alarm"),
                    {{QStringLiteral("n"), i}, {QStringLiteral("pad"), QString(40, u'x')}});
        QTest::qWait(300);
        const qsizetype written = lines_of(path).size();
        EXPECT_GE(written, 1);
        EXPECT_LT(written, 5);
        EXPECT_TRUE(read_file(path).endsWith('\n')) << "no line is left cut short";
        ::setrlimit(RLIMIT_FSIZE, &saved);
        j.write(QStringLiteral("alarm"), {{QStringLiteral("n"), 5}});
        j.close(std::chrono::seconds(5));
    }
    std::signal(SIGXFSZ, previous);
    const QList<QJsonObject> l = lines_of(path);
    ASSERT_EQ(l.size(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(l[i].value(QStringLiteral("n")), i);
    EXPECT_EQ(said.count(QStringLiteral("is not written")), 1)
        << said.lines().join(u'\n').toStdString();
}

TEST(journal, a_fifo_in_its_place_is_never_written_nor_waited_for) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TARNWICK-journal.jsonl"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    log_capture said("kestrova.alerts");
    QElapsedTimer took;
    took.start();
    {
        alerts::journal j(path);
        j.start(QStringLiteral("1.0"), settings(30));
        for (int i = 0; i < 3; ++i)
            j.write(QStringLiteral("alarm"), {{QStringLiteral("n"), i}});
        QTest::qWait(100);
        j.close(std::chrono::seconds(5));
    }
    EXPECT_LT(took.elapsed(), 4000) << "the end did not wait for a reader";
    EXPECT_EQ(said.count(QStringLiteral("it is not a regular file")), 1);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// Just after midnight the day before is sealed: its lines (not the new
// day's), where they lie, their SHA-256; a second run numbers its lines on
// from the seal before, and seals the day so far when it stops.
TEST(journal, each_day_of_the_log_is_sealed_after_its_midnight_and_at_a_stop) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TARNWICK-journal.jsonl"));
    const QString log = dir.filePath(QStringLiteral("TARNWICK.txt"));
    const QByteArray day1 = "12-08-2026\t23:59:55\t20\xBA"
                            "C\t30\xBA"
                            "C\r\n";
    const QByteArray day2 = "12-09-2026\t00:00:00\t21\xBA"
                            "C\t30\xBA"
                            "C\r\n";
    ASSERT_TRUE(write_file(log, QByteArray("12-08-2026\t23:59:50\t20\xBA") + "C\t30\xBA" + "C\r\n" +
                                    day1 + day2));
    QDateTime now(QDate(2026, 12, 8), QTime(23, 59, 58));
    {
        alerts::journal j(path, [&now] { return now; });
        j.start(QStringLiteral("1.0"), settings(30));
        alerts::seal_clock seals(j, log, [&now] { return now; });
        now = now.addSecs(5); // the timer fires 5 s from now, 3 s after midnight
        EXPECT_TRUE(
            QTest::qWaitFor([&path] { return read_file(path).contains("\"seal\""); }, 15000));
        j.close(std::chrono::seconds(5));
    }
    {
        alerts::journal j(path, [&now] { return now; });
        j.start(QStringLiteral("1.0"), settings(30));
        alerts::seal_clock seals(j, log, [&now] { return now; });
        seals.seal_today();
        j.close(std::chrono::seconds(5));
    }
    QList<QJsonObject> sealed;
    for (const QJsonObject& l : lines_of(path))
        if (l.value(QStringLiteral("event")) == QStringLiteral("seal"))
            sealed << l;
    ASSERT_EQ(sealed.size(), 2);
    const QByteArray bytes = read_file(log);
    const qsizetype split = bytes.indexOf("12-09-2026");
    const struct {
        const char* date;
        int first_line, last_line;
        qsizetype first_byte, end_byte;
    } expected[] = {{"2026-12-08", 1, 2, 0, split}, {"2026-12-09", 3, 3, split, bytes.size()}};
    for (int i = 0; i < 2; ++i) {
        const auto& e = expected[i];
        const QJsonObject& s = sealed[i];
        EXPECT_EQ(s.value(QStringLiteral("date")).toString(), QLatin1String(e.date));
        EXPECT_EQ(s.value(QStringLiteral("first_line")).toInt(), e.first_line) << e.date;
        EXPECT_EQ(s.value(QStringLiteral("last_line")).toInt(), e.last_line) << e.date;
        EXPECT_EQ(s.value(QStringLiteral("first_byte")).toInteger(), e.first_byte) << e.date;
        EXPECT_EQ(s.value(QStringLiteral("end_byte")).toInteger(), e.end_byte) << e.date;
        EXPECT_EQ(s.value(QStringLiteral("sha256")).toString().toLatin1(),
                  QCryptographicHash::hash(bytes.sliced(e.first_byte, e.end_byte - e.first_byte),
                                           QCryptographicHash::Sha256)
                      .toHex())
            << e.date;
    }
}
