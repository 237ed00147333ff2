#include "alerts/journal.h"

#include "support/files.h"
#include "support/log_capture.h"

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
