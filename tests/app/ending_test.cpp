// The real program ending: by a signal during start-up and after it, and by
// losing its display; a session bus that stalls holds up neither.
#include "support/build_paths.h"
#include "support/files.h"
#include "support/private_bus.h"
#include "support/process.h"
#include "support/pty.h"
#include "support/stalling_bus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

// A working directory with a settings file whose port 1 is a pty, chosen.
struct station {
    QTemporaryDir dir;
    pty_pair pty;
    QProcess monitor;
    process_guard guard{monitor};

    QString ini() const { return dir.filePath(QStringLiteral("Tarnwick.INI")); }
    void write_settings(const QByteArray& vez) {
        QFile f(ini());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[Ports]\r\n1=" + pty.slave_path().toLocal8Bit() +
                "\r\n[VEZ]\r\nfrm_thermometer.Text7.text=1\r\nfrm_thermometer.Check1.value=1\r\n"
                "frm_thermometer.Option8.value=1\r\n" +
                vez);
    }
    void start(const QString& platform = QStringLiteral("offscreen"), const QString& display = {},
               const QString& bus = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        if (!bus.isEmpty())
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
        monitor.setProcessEnvironment(env);
        monitor.setWorkingDirectory(dir.path());
        monitor.start(QString::fromUtf8(build_paths::monitor), {});
        ASSERT_TRUE(monitor.waitForStarted(5000));
    }
    bool port_is_open() { return holds_open(monitor.processId(), pty.slave_path()); }
    // The first log line comes one sampling period after start-up, with
    // what the program had read by then.
    QByteArray wait_for_first_log_line() {
        const QString log = dir.filePath(QStringLiteral("TARNWICK.txt"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return read_file(log).contains('\n'); }, 15000));
        return read_file(log);
    }
    bool signal(int sig) { return send_signal(monitor, sig); }
};

// A private X server, for what only a real display does: a box that waits
// for the operator, a connection that can break.
struct x_server {
    QProcess server;
    process_guard guard{server};
    QString display; // empty without Xvfb

    x_server() {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return;
        // Xvfb picks a free display and names it on its standard output once
        // it takes connections.
        server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"),
                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (QTest::qWaitFor([&] { return server.canReadLine(); }, 9000))
            display = u':' + QString::fromLatin1(server.readLine().trimmed());
    }
};

} // namespace

TEST(ending, a_signal_during_a_start_up_message_ends_at_once_without_saving_or_logging) {
    station s;
    // The restored 130 raises "Maximum Temperature is 125ºC", which waits.
    s.write_settings("frm_thermometer.Check1.value=1\r\nfrm_thermometer.Text3.text=130\r\n"
                     "frm_thermometer.Text2.text=26\xBA"
                     "C\r\n");
    const QByteArray before = read_file(s.ini());
    x_server x;
    if (x.display.isEmpty())
        GTEST_SKIP() << "no Xvfb";
    s.start(QStringLiteral("xcb"), x.display);
    // Long enough for the sampling timer's design period of 1 s to have run.
    QTest::qWait(1500);
    ASSERT_EQ(s.monitor.state(), QProcess::Running);
    EXPECT_FALSE(QFile::exists(s.dir.filePath(QStringLiteral("TARNWICK.txt"))));
    s.signal(SIGTERM);
    ASSERT_TRUE(s.monitor.waitForFinished(5000));
    EXPECT_EQ(s.monitor.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(read_file(s.ini()), before);
}

TEST(ending, a_monitor_that_has_ended_is_signalled_no_more) {
    // A first start without a display ends at once. The signal meant for it
    // must not go to process 0, which is the test's whole process group.
    station s;
    ASSERT_TRUE(write_file(s.ini(), "[Ports]\r\n1=" + s.pty.slave_path().toLocal8Bit() + "\r\n"));
    s.start();
    ASSERT_TRUE(s.monitor.waitForFinished(9000));
    ASSERT_EQ(s.monitor.exitCode(), 1);
    static volatile std::sig_atomic_t received = 0;
    struct sigaction note {
    }, before{};
    note.sa_handler = [](int) { received = 1; };
    sigaction(SIGURG, &note, &before);
    EXPECT_FALSE(s.signal(SIGURG));
    sigaction(SIGURG, &before, nullptr);
    EXPECT_EQ(received, 0);
}

TEST(ending, each_end_signal_after_start_up_saves_and_exits_0) {
    struct row {
        const char* name;
        std::vector<int> signals;
    };
    std::vector<int> burst;
    burst.reserve(99);
    for (int i = 0; i < 99; ++i)
        burst.push_back(i % 3 == 0 ? SIGTERM : i % 3 == 1 ? SIGINT : SIGHUP);
    const row rows[] = {{"SIGINT", {SIGINT}}, {"SIGHUP", {SIGHUP}}, {"a burst of 99", burst}};
    // All at once: each waits one sampling period.
    std::vector<std::unique_ptr<station>> stations;
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        stations.push_back(std::make_unique<station>());
        stations.back()->write_settings({});
        stations.back()->start();
    }
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].name);
        station& s = *stations[i];
        s.wait_for_first_log_line();
        for (int sig : rows[i].signals)
            s.signal(sig);
        ASSERT_TRUE(s.monitor.waitForFinished(5000));
        EXPECT_EQ(s.monitor.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(s.monitor.exitCode(), 0);
        const QByteArray saved = read_file(s.ini());
        EXPECT_TRUE(saved.contains("FileId=therm\r\n"));
        EXPECT_EQ(saved.count('='), 23) << "the [Ports] line and 22 keys";
    }
}

TEST(ending, losing_the_display_keeps_the_state) {
    x_server x;
    if (x.display.isEmpty())
        GTEST_SKIP() << "no Xvfb";
    station s;
    s.write_settings({});
    s.start(QStringLiteral("xcb"), x.display);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.port_is_open(); }, 9000));
    ASSERT_TRUE(s.pty.write(QByteArray("\xFE\x37", 2)));
    ASSERT_TRUE(s.wait_for_first_log_line().contains("\t55\xBA"));

    x.server.terminate();
    ASSERT_TRUE(s.monitor.waitForFinished(9000));
    const QByteArray saved = read_file(s.ini());
    EXPECT_TRUE(saved.contains("FileId=therm\r\n"));
    EXPECT_TRUE(saved.contains("frm_thermometer.Text2.text=55\xBA"
                               "C\r\n"))
        << saved.toStdString() << s.monitor.readAllStandardError().toStdString()
        << s.monitor.exitCode();
}

TEST(ending, a_stopped_session_bus_holds_up_no_window_and_is_said_once) {
    x_server x;
    if (x.display.isEmpty())
        GTEST_SKIP() << "no Xvfb";
    private_bus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    ::kill(static_cast<pid_t>(bus.daemon.processId()), SIGSTOP);
    station s;
    s.write_settings({});
    // Qt's screen reader bridge would wait for the bus on the window thread,
    // before the first reading shows.
    s.start(QStringLiteral("xcb"), x.display, bus.address);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.port_is_open(); }, 9000));
    ASSERT_TRUE(s.pty.write(QByteArray("\xFE\x19", 2)));
    EXPECT_TRUE(s.wait_for_first_log_line().contains("\t25\xBA"));
    ASSERT_TRUE(s.signal(SIGTERM));
    ASSERT_TRUE(s.monitor.waitForFinished(9000));
    ::kill(static_cast<pid_t>(bus.daemon.processId()), SIGCONT);
    EXPECT_EQ(s.monitor.exitCode(), 0);
    const QString said = QString::fromLocal8Bit(s.monitor.readAllStandardError());
    EXPECT_EQ(said.count(QLatin1String("does not answer")), 1) << said.toStdString();
    EXPECT_TRUE(said.contains(QLatin1String("screen readers and desktop notifications are off")));
}

TEST(ending, a_session_bus_that_stalls_after_the_log_in_holds_up_no_end) {
    stalling_bus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    station s;
    s.write_settings({});
    s.start(QStringLiteral("offscreen"), {}, bus.address);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.port_is_open(); }, 9000));
    ASSERT_TRUE(s.pty.write(QByteArray("\xFE\x19", 2)));
    s.wait_for_first_log_line();
    ASSERT_TRUE(s.signal(SIGTERM));
    ASSERT_TRUE(s.monitor.waitForFinished(5000)) << "still running after SIGTERM";
    EXPECT_EQ(s.monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(s.monitor.exitCode(), 0);
    EXPECT_TRUE(read_file(s.ini()).contains("frm_thermometer.Text2.text=25\xBA"
                                            "C\r\n"));
}
