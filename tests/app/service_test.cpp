// The systemd unit's command, environment and stop signal run the monitor
// without any display, it tells systemd how it is (ready, status, watchdog,
// stopping), and the stop ends it with its state saved.
#include "app/service_notifier.h"
#include "support/build_paths.h"
#include "support/files.h"
#include "support/process.h"
#include "support/pty.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

QString unit_text() {
    return QString::fromUtf8(read_file(QString::fromUtf8(build_paths::source_dir) +
                                       QStringLiteral("/data/kestrova.service.in")));
}

// The service manager's end of the notification socket: a datagram socket,
// read whenever the test asks.
class notify_socket {
public:
    notify_socket() {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path());
        std::memcpy(addr.sun_path, name.constData(),
                    std::min<std::size_t>(name.size(), sizeof addr.sun_path - 1));
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
            ADD_FAILURE() << "cannot bind " << name.constData() << ": " << std::strerror(errno);
    }
    ~notify_socket() { ::close(fd_); }
    notify_socket(const notify_socket&) = delete;
    notify_socket& operator=(const notify_socket&) = delete;

    QString path() const { return dir_.filePath(QStringLiteral("notify")); }
    // Every message so far, the new ones read now.
    const std::vector<QByteArray>& messages() {
        char buf[4096];
        for (ssize_t n = 0; (n = ::recv(fd_, buf, sizeof buf, 0)) > 0;)
            messages_.emplace_back(buf, n);
        return messages_;
    }
    // How many messages hold the assignment (a whole line).
    int count(const QByteArray& line) {
        const auto& all = messages();
        return static_cast<int>(std::count_if(all.begin(), all.end(), [&](const QByteArray& m) {
            return m.split('\n').contains(line);
        }));
    }
    QByteArray last_status() {
        QByteArray status;
        for (const QByteArray& m : messages())
            for (const QByteArray& line : m.split('\n'))
                if (line.startsWith("STATUS="))
                    status = line.mid(7);
        return status;
    }

private:
    QTemporaryDir dir_;
    int fd_ = -1;
    std::vector<QByteArray> messages_;
};

// Points this process's notifications at a socket for one test.
struct notify_environment {
    notify_environment(const QString& socket, const char* watchdog_usec) {
        qputenv("NOTIFY_SOCKET", QFile::encodeName(socket));
        qputenv("WATCHDOG_USEC", watchdog_usec);
    }
    ~notify_environment() {
        qunsetenv("NOTIFY_SOCKET");
        qunsetenv("WATCHDOG_USEC");
    }
};

} // namespace

TEST(service, the_unit_runs_the_monitor_without_a_display_tells_systemd_and_stops_with_a_save) {
    const QString unit = unit_text();
    ASSERT_FALSE(unit.isEmpty());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(display));
    // systemd's %t, where it makes the unit's runtime directory.
    QTemporaryDir runtime;
    QString exec;
    int stop_signal = 0;
    int watchdog_sec = 0;
    bool notify = false;
    for (const QString& line : unit.split(u'\n')) {
        if (line.startsWith(QLatin1String("Environment="))) {
            const QString assignment = line.mid(12).replace(QLatin1String("%t"), runtime.path());
            env.insert(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
        } else if (line.startsWith(QLatin1String("RuntimeDirectory="))) {
            ASSERT_TRUE(QDir(runtime.path()).mkdir(line.mid(17)));
            ASSERT_TRUE(
                QFile::setPermissions(runtime.filePath(line.mid(17)),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        } else if (line.startsWith(QLatin1String("ExecStart="))) {
            exec = line.mid(10);
        } else if (line == QLatin1String("KillSignal=SIGTERM")) {
            stop_signal = SIGTERM;
        } else if (line.startsWith(QLatin1String("WatchdogSec="))) {
            watchdog_sec = line.mid(12).toInt();
        } else if (line == QLatin1String("Type=notify")) {
            notify = true;
        }
    }
    ASSERT_EQ(exec, QStringLiteral("@KESTROVA_BINDIR@/kestrova")) << "no options of its own";
    ASSERT_EQ(stop_signal, SIGTERM);
    ASSERT_TRUE(notify);
    ASSERT_GT(watchdog_sec, 0);
#ifndef KESTROVA_HAVE_SYSTEMD
    GTEST_SKIP() << "built without libsystemd: the monitor sends systemd nothing";
#endif
    // systemd's environment for it, with a watchdog short enough to watch.
    notify_socket manager;
    env.insert(QStringLiteral("NOTIFY_SOCKET"), manager.path());
    env.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("400000"));

    QTemporaryDir dir;
    pty_pair pty;
    ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("Tarnwick.INI")),
                           "[Ports]\r\n1=" + pty.slave_path().toLocal8Bit() +
                               "\r\n[VEZ]\r\nfrm_thermometer.Text7.text=1\r\n"
                               "frm_thermometer.Check1.value=1\r\n"
                               "frm_thermometer.Option8.value=1\r\n"));
    QProcess monitor;
    process_guard guard{monitor};
    monitor.setProcessEnvironment(env);
    monitor.setWorkingDirectory(dir.path());
    monitor.start(QString::fromUtf8(build_paths::monitor), {});
    ASSERT_TRUE(monitor.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.count("READY=1") == 1; }, 10000))
        << monitor.readAllStandardError().toStdString();
    EXPECT_EQ(manager.last_status(), "Port 1: no reading, no reading; publishing: off");
    ASSERT_TRUE(pty.write(QByteArray("\xFE\x2C\xFD\x1F", 4)));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return manager.last_status() == "Port 1: 44\xC2\xBA"
                                            "C, 31\xC2\xBA"
                                            "C; publishing: off";
        },
        5000))
        << manager.last_status().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager.count("WATCHDOG=1") >= 3; }, 5000));
    // The first log line comes one sampling period after start-up. The
    // socket is read on meanwhile, as systemd does: a full queue would hold
    // up the sender.
    const QString log = dir.filePath(QStringLiteral("TARNWICK.txt"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !manager.messages().empty() && read_file(log).contains('\n'); }, 15000))
        << monitor.readAllStandardError().toStdString();

    ASSERT_TRUE(send_signal(monitor, stop_signal));
    ASSERT_TRUE(monitor.waitForFinished(10000));
    EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor.exitCode(), 0);
    EXPECT_TRUE(read_file(dir.filePath(QStringLiteral("Tarnwick.INI")))
                    .contains("frm_thermometer.Text2.text=44\xBA"
                              "C\r\n"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager.count("STOPPING=1") == 1; }, 2000));
    const QByteArray said = monitor.readAllStandardError();
    EXPECT_FALSE(said.contains("QStandardPaths")) << said.toStdString();
}

// The watchdog is petted from the window thread's event loop: while that
// thread stands still, systemd hears nothing, and then it is petted again.
TEST(service, a_window_thread_that_stands_still_stops_the_watchdog) {
#ifndef KESTROVA_HAVE_SYSTEMD
    GTEST_SKIP() << "built without libsystemd: the monitor sends systemd nothing";
#endif
    notify_socket manager;
    const notify_environment env(manager.path(), "200000");
    int asked = 0;
    app::service_notifier service(
        [&asked] { return QStringLiteral("status %1").arg(++asked / 10); });
    service.ready();
    EXPECT_EQ(service.pet_interval(), std::chrono::milliseconds(100));
    // A changed status goes out with the next pet.
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.count("STATUS=status 1") == 1; }, 5000));
    const auto& messages = manager.messages();
    EXPECT_EQ(messages.front(), "READY=1\nSTATUS=status 0");
    EXPECT_TRUE(std::find(messages.begin(), messages.end(), "WATCHDOG=1\nSTATUS=status 1") !=
                messages.end());
    EXPECT_GE(manager.count("WATCHDOG=1"), 9);

    // Stuck for five pets: this thread stands still, outside its event loop.
    const std::size_t before = manager.messages().size();
    std::this_thread::sleep_for(5 * service.pet_interval());
    EXPECT_EQ(manager.messages().size(), before) << "petted while the window thread stood still";
    const int pets = manager.count("WATCHDOG=1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager.count("WATCHDOG=1") > pets; }, 5000));

    service.stopping();
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager.count("STOPPING=1") == 1; }, 2000));
}

TEST(service, the_status_line_names_the_port_the_readings_and_publishing) {
    using rules::mqtt::link_state;
    const serial::port_keeper::state open{1, QStringLiteral("/dev/ttyUSB0"), true, {}};
    const serial::port_keeper::state closed{3, QStringLiteral("/dev/ttyUSB0"), false,
                                            QStringLiteral("No such file or directory")};
    const QString deg25 = QStringLiteral("25\u00BAC"), deg31 = QStringLiteral("31\u00BAC");
    const QString publishing = QStringLiteral("Publishing to mqtt://broker.lab:1883 as site/st7: ");
    const struct {
        serial::port_keeper::state port;
        bool current1, current2;
        link_state link;
        QString publishing, expected;
    } rows[] = {
        {open, true, true, link_state::open, publishing + QStringLiteral("connected"),
         QStringLiteral("Port 1: 25\u00BAC, 31\u00BAC; publishing: connected")},
        {open,
         true,
         false,
         link_state::open,
         {},
         QStringLiteral("Port 1: 25\u00BAC, no reading; publishing: off")},
        {open, false, false, link_state::silent,
         publishing + QStringLiteral("not connected: Connection refused"),
         QStringLiteral("Port 1: silent, nothing received lately; publishing: not connected: "
                        "Connection refused")},
        {closed,
         false,
         false,
         link_state::closed,
         {},
         QStringLiteral("Port 3 (/dev/ttyUSB0): not open: No such file or directory; "
                        "publishing: off")},
    };
    for (const auto& row : rows)
        EXPECT_EQ(app::service_status_line(row.port, deg25, row.current1, deg31, row.current2,
                                           row.link, row.publishing),
                  row.expected);
    EXPECT_EQ(app::service_status_line(open, QStringLiteral(" - - "), true, deg31, true,
                                       link_state::open, {}),
              QStringLiteral("Port 1: no reading, 31\u00BAC; publishing: off"));
}

// systemd resolves a device group when the unit starts; a USB group whose
// driver is not loaded then stays closed to a logger plugged in later.
TEST(service, each_usb_device_group_has_its_driver_loaded_before_the_start) {
    const QStringList lines = unit_text().split(u'\n');
    const auto has_line = [&](const QString& key, const QString& item) {
        return std::any_of(lines.begin(), lines.end(), [&](const QString& l) {
            return l.startsWith(key) && l.mid(key.size()).split(u' ').contains(item);
        });
    };
    for (const auto& [group, driver] : {std::pair{"ttyUSB", "usbserial"}, {"ttyACM", "cdc_acm"}}) {
        SCOPED_TRACE(group);
        EXPECT_TRUE(
            lines.contains(QStringLiteral("DeviceAllow=char-%1 rw").arg(QLatin1String(group))));
        const QString load = QStringLiteral("modprobe@%1.service").arg(QLatin1String(driver));
        EXPECT_TRUE(has_line(QStringLiteral("Wants="), load));
        EXPECT_TRUE(has_line(QStringLiteral("After="), load));
    }
}
