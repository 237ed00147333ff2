// The systemd unit's command, environment and stop signal run the monitor
// without any display and end it with its state saved.
#include "support/build_paths.h"
#include "support/files.h"
#include "support/pty.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>

namespace {

QString unit_text() {
    return QString::fromUtf8(read_file(QString::fromUtf8(build_paths::source_dir) +
                                       QStringLiteral("/data/kestrova.service")));
}

} // namespace

TEST(service, the_unit_runs_the_monitor_without_a_display_and_stops_it_with_a_save) {
    const QString unit = unit_text();
    ASSERT_FALSE(unit.isEmpty());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(display));
    QString exec;
    int stop_signal = 0;
    for (const QString& line : unit.split(u'\n')) {
        if (line.startsWith(QLatin1String("Environment="))) {
            const QString assignment = line.mid(12);
            env.insert(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
        } else if (line.startsWith(QLatin1String("ExecStart="))) {
            exec = line.mid(10);
        } else if (line == QLatin1String("KillSignal=SIGTERM")) {
            stop_signal = SIGTERM;
        }
    }
    ASSERT_EQ(exec, QStringLiteral("/usr/bin/kestrova")) << "no options of its own";
    ASSERT_EQ(stop_signal, SIGTERM);

    QTemporaryDir dir;
    pty_pair pty;
    ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("Tarnwick.INI")),
                           "[Ports]\r\n1=" + pty.slave_path().toLocal8Bit() +
                               "\r\n[VEZ]\r\nfrm_thermometer.Text7.text=1\r\n"
                               "frm_thermometer.Check1.value=1\r\n"
                               "frm_thermometer.Option8.value=1\r\n"));
    QProcess monitor;
    monitor.setProcessEnvironment(env);
    monitor.setWorkingDirectory(dir.path());
    monitor.start(QString::fromUtf8(build_paths::monitor), {});
    ASSERT_TRUE(monitor.waitForStarted(5000));
    ASSERT_TRUE(pty.write(QByteArray("\xFE\x2C", 2)));
    // The first log line comes one sampling period after start-up.
    const QString log = dir.filePath(QStringLiteral("TARNWICK.txt"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return read_file(log).contains('\n'); }, 15000))
        << monitor.readAllStandardError().toStdString();

    ::kill(static_cast<pid_t>(monitor.processId()), stop_signal);
    ASSERT_TRUE(monitor.waitForFinished(10000));
    EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor.exitCode(), 0);
    EXPECT_TRUE(read_file(dir.filePath(QStringLiteral("Tarnwick.INI")))
                    .contains("frm_thermometer.Text2.text=44\xBA"
                              "C\r\n"));
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
