#include "controls/properties.h"
#include "controls/timer.h"
#include "datalog/install.h"
#include "datalog/sample_interval.h"
#include "support/feature_controls.h"
#include "support/files.h"

#include <QCheckBox>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// The logging controls with the data log installed on them alone, a clock
// that stands at 21:10:05 on 5 December 2026 and a fresh working directory.
struct log_fixture : ::testing::Test {
    QTemporaryDir dir;
    QDateTime now{QDate(2026, 12, 5), QTime(21, 10, 5)};
    feature_controls panel;
    const datalog::logging_role& log = panel.logging;
    QString log_path = dir.filePath(QStringLiteral("TARNWICK.txt"));

    log_fixture() {
        datalog::install(log, dir.path(), [this] { return now; });
    }
    // A tick of Timer1, as the timer gives it.
    void tick() { Q_EMIT log.sample_timer->tick(); }
    // What the operator sees of a failing log: Check1's tooltip says why.
    bool failing() const { return !log.log_switch->toolTip().isEmpty(); }
};

const QByteArray first_line = QByteArray("12-05-2026\t21:10:05\t23\xBA"
                                         "C\t - - \r\n");

} // namespace

TEST_F(log_fixture, clicking_an_option_sets_the_period_and_none_selected_means_5_s) {
    QTest::mouseClick(log.option7, Qt::LeftButton);
    EXPECT_EQ(log.sample_timer->interval(), 30000);
    QTest::mouseClick(log.option6, Qt::LeftButton);
    EXPECT_EQ(log.sample_timer->interval(), 60000);
    controls::set_value(log.option6, 0);
    datalog::apply_sample_interval(log);
    EXPECT_EQ(log.sample_timer->interval(), 5000);
}

TEST_F(log_fixture, ticks_append_exact_lines_only_while_logging_is_on) {
    log.sensor1->setText(QString::fromUtf8("23\u00BAC"));
    log.sensor2->setText(QStringLiteral(" - - "));
    tick();
    EXPECT_FALSE(QFile::exists(log_path)) << "unticked: no file is created";

    controls::set_check_value(log.log_switch, 1);
    tick();
    EXPECT_EQ(read_file(log_path), first_line);

    now = now.addSecs(5);
    controls::set_check_value(log.log_switch, 2); // greyed counts as ticked
    log.sensor1->setText(QString());
    log.sensor2->setText(QString());
    tick();
    EXPECT_EQ(read_file(log_path), first_line + QByteArray("12-05-2026\t21:10:10\t\t\r\n"));
}

TEST_F(log_fixture, an_existing_log_keeps_its_lines) {
    {
        QFile f(log_path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("older line\r\nno line end");
    }
    log.sensor1->setText(QString::fromUtf8("23\u00BAC"));
    log.sensor2->setText(QStringLiteral(" - - "));
    controls::set_check_value(log.log_switch, 1);
    tick();
    EXPECT_EQ(read_file(log_path), QByteArray("older line\r\nno line end") + first_line);
}

TEST_F(log_fixture, a_failing_log_is_reported_quietly_and_logging_resumes) {
    log.sensor1->setText(QString::fromUtf8("23\u00BAC"));
    log.sensor2->setText(QStringLiteral(" - - "));
    controls::set_check_value(log.log_switch, 1);
    tick();
    ASSERT_EQ(read_file(log_path), first_line);
    const QColor normal = log.log_switch->palette().color(QPalette::WindowText);

    // The name points at a device, /dev/full, which takes no line.
    const QString kept = dir.filePath(QStringLiteral("kept.txt"));
    ASSERT_TRUE(QFile::rename(log_path, kept));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), log_path));
    tick();
    tick();
    EXPECT_TRUE(failing());
    EXPECT_TRUE(log.log_switch->toolTip().contains(QLatin1String("Logging is failing")))
        << log.log_switch->toolTip().toStdString();
    EXPECT_NE(log.log_switch->palette().color(QPalette::WindowText), normal);
    EXPECT_EQ(read_file(kept), first_line);

    // The name is taken by a directory.
    ASSERT_TRUE(QFile::remove(log_path));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("TARNWICK.txt")));
    tick();
    EXPECT_TRUE(failing());

    // Writable again: the warning clears and the next line lands.
    ASSERT_TRUE(QDir(log_path).removeRecursively());
    ASSERT_TRUE(QFile::rename(kept, log_path));
    tick();
    EXPECT_FALSE(failing());
    EXPECT_TRUE(log.log_switch->toolTip().isEmpty());
    EXPECT_EQ(log.log_switch->palette().color(QPalette::WindowText), normal);
    EXPECT_EQ(read_file(log_path), first_line + first_line);
}

TEST_F(log_fixture, a_read_only_directory_does_not_stop_the_program) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only directories, so the case cannot arise";
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    controls::set_check_value(log.log_switch, 1);
    tick();
    EXPECT_TRUE(failing());
    EXPECT_FALSE(QFile::exists(log_path));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(log_fixture, timer1_ticks_write_lines) {
    controls::set_check_value(log.log_switch, 1);
    log.sample_timer->set_interval(20);
    panel.release_timers();
    EXPECT_TRUE(QTest::qWaitFor([&] { return read_file(log_path).count('\n') >= 2; }, 5000));
}

TEST_F(log_fixture, a_fifo_by_the_logs_name_fails_the_tick_at_once) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(log_path).constData(), 0600), 0);
    controls::set_check_value(log.log_switch, 1);

    // Should the tick block in its open, a reader comes after 10 s and frees
    // it, so that the test fails instead of hanging.
    std::mutex m;
    std::condition_variable cv;
    bool ticked = false;
    bool rescued = false;
    std::thread rescue([&] {
        std::unique_lock lock(m);
        if (!cv.wait_for(lock, std::chrono::seconds(10), [&] { return ticked; })) {
            rescued = true;
            const int fd = ::open(QFile::encodeName(log_path).constData(), O_RDONLY | O_NONBLOCK);
            cv.wait(lock, [&] { return ticked; });
            ::close(fd);
        }
    });
    tick();
    {
        std::lock_guard lock(m);
        ticked = true;
    }
    cv.notify_all();
    rescue.join();
    EXPECT_FALSE(rescued) << "the tick blocked";
    EXPECT_TRUE(failing()) << "no reader";
    EXPECT_TRUE(log.log_switch->toolTip().contains(QLatin1String("not a regular file")))
        << log.log_switch->toolTip().toStdString();

    // With a reader, the FIFO opens, but still takes no line.
    const int reader = ::open(QFile::encodeName(log_path).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    tick();
    EXPECT_TRUE(failing()) << "with a reader";
    char c = 0;
    EXPECT_LE(::read(reader, &c, 1), 0) << "nothing was written into the FIFO";
    ::close(reader);
}

TEST_F(log_fixture, a_full_disk_gives_the_systems_reason_and_no_part_of_a_line) {
    // A file system of two pages: the log fills one but for 16 bytes, a
    // filler the other.
    const QByteArray mount_point = QFile::encodeName(dir.path());
    if (::mount("tmpfs", mount_point.constData(), "tmpfs", 0, "size=8k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    struct unmount {
        QByteArray at;
        ~unmount() { ::umount2(at.constData(), MNT_DETACH); }
    } unmount_at_end{mount_point};
    const QByteArray old(4096 - 16, 'o');
    QFile f(log_path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(old), old.size());
    f.close();
    QFile filler(dir.filePath(QStringLiteral("filler")));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    filler.write(QByteArray(8192, 'f'));
    filler.close();
    ASSERT_EQ(read_file(log_path), old);

    controls::set_check_value(log.log_switch, 1);
    tick();
    EXPECT_TRUE(failing());
    EXPECT_TRUE(log.log_switch->toolTip().contains(u'(' + qt_error_string(ENOSPC) + u')'))
        << log.log_switch->toolTip().toStdString();
    EXPECT_EQ(read_file(log_path), old);
}
