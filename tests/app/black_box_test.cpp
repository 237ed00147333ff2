#include "support/build_paths.h"
#include "support/files.h"
#include "support/process.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

namespace {

void start_monitor(QProcess& p, const QString& dir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir);
    p.start(QString::fromUtf8(build_paths::monitor), {});
    ASSERT_TRUE(p.waitForStarted(5000));
}

} // namespace

// The real program, a settings file, the virtual logger on a pty, SIGTERM.
TEST(black_box, logs_readings_and_saves_on_sigterm_for_the_next_start) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("logger"));
    QProcess sim;
    process_guard sim_guard{sim};
    sim.start(QString::fromUtf8(build_paths::logger_sim),
              {QStringLiteral("--link"), link, QStringLiteral("--period"), QStringLiteral("50")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(link).isSymLink(); }, 5000));

    const QString ini = dir.filePath(QStringLiteral("Tarnwick.INI"));
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Ports]\r\n1=" + link.toLocal8Bit() +
                "\r\n[VEZ]\r\nfrm_thermometer.Text7.text=1\r\nfrm_thermometer.Check1.value=1\r\n"
                "frm_thermometer.Option8.value=1\r\n");
    }

    QProcess monitor;
    process_guard monitor_guard{monitor};
    start_monitor(monitor, dir.path());
    const QString log = dir.filePath(QStringLiteral("TARNWICK.txt"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return read_file(log).contains('\n'); }, 9000))
        << monitor.readAllStandardError().toStdString();
    ASSERT_TRUE(send_signal(monitor, SIGTERM));
    ASSERT_TRUE(monitor.waitForFinished(5000));
    EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor.exitCode(), 0);

    // One line per period: date, time, both readings, TAB-separated, CR LF.
    const QRegularExpression line(
        QStringLiteral("^\\d\\d-\\d\\d-\\d{4}\\t\\d\\d:\\d\\d:\\d\\d\\t(\\d+\\x{BA}C| - - "
                       ")\\t(\\d+\\x{BA}C| - - )\\r\\n$"));
    const QString first = QString::fromLatin1(read_file(log)).section(u'\n', 0, 0) + u'\n';
    EXPECT_TRUE(line.match(first).hasMatch()) << first.toStdString();

    const QByteArray saved = read_file(ini);
    EXPECT_TRUE(saved.startsWith("[Ports]\r\n1=" + link.toLocal8Bit() + "\r\n"));
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("frm_thermometer\\.Text2\\.text=(\\d+\\x{BA}C|- -)\\r\\n"))
                    .match(QString::fromLatin1(saved))
                    .hasMatch())
        << saved.toStdString();
    EXPECT_TRUE(saved.contains("frm_thermometer.Text7.text=1\r\n"));
    EXPECT_TRUE(saved.contains("frm_thermometer.Check1.value=1\r\n"));

    // The next start takes the saved state up again. Without "FileId" in the
    // file, finding it afterwards shows that the second run saved; finding
    // the switches as they were shows that it restored them first.
    QByteArray without_id = saved;
    without_id.replace("FileId=therm\r\n", "");
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(without_id);
    }
    QProcess again;
    process_guard again_guard{again};
    start_monitor(again, dir.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return holds_open(again.processId(), link); }, 9000))
        << "the second run opens the saved port";
    // A signal before start-up is over ends the program unsaved; the second
    // run's first log line comes after it.
    const qsizetype lines = read_file(log).count('\n');
    ASSERT_TRUE(QTest::qWaitFor([&] { return read_file(log).count('\n') > lines; }, 15000));
    ASSERT_TRUE(send_signal(again, SIGTERM));
    ASSERT_TRUE(again.waitForFinished(5000));
    const QByteArray resaved = read_file(ini);
    EXPECT_TRUE(resaved.contains("FileId=therm\r\n"));
    EXPECT_TRUE(resaved.contains("frm_thermometer.Text7.text=1\r\n"));
    EXPECT_TRUE(resaved.contains("frm_thermometer.Check1.value=1\r\n"));
    EXPECT_TRUE(resaved.contains("frm_thermometer.Option8.value=1\r\n"));
}

// Without a display a box cannot wait for anyone: the no-port message is one
// line on standard error and the program ends with a failure, so that a
// service manager starts it again.
TEST(black_box, without_a_display_no_port_is_one_line_and_a_failure) {
    QTemporaryDir dir;
    QByteArray ports = "[Ports]\r\n";
    for (int n = 1; n <= 4; ++n)
        ports += QByteArray::number(n) + '=' +
                 dir.filePath(QStringLiteral("missing")).toLocal8Bit() + "\r\n";
    ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("Tarnwick.INI")), ports));
    QProcess monitor;
    process_guard monitor_guard{monitor};
    start_monitor(monitor, dir.path());
    ASSERT_TRUE(monitor.waitForFinished(9000));
    EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(monitor.exitCode(), 0);
    const QStringList lines = QString::fromLocal8Bit(monitor.readAllStandardError())
                                  .split(u'\n')
                                  .filter(QStringLiteral("No Comm Port"));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(
        lines[0].startsWith(QLatin1String("kestrova: There is No Comm Port on this Computer: ")));
    EXPECT_TRUE(lines[0].contains(QLatin1String("no such device; Port 2 (")))
        << lines[0].toStdString();
}
