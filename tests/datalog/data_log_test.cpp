#include "app/frm_thermometer.h"
#include "controls/properties.h"
#include "datalog/data_log.h"
#include "datalog/sample_interval.h"
#include "support/files.h"
#include "support/recording_prompts.h"

#include "controls/timer.h"
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
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

// A window whose clock stands at 21:10:05 on 5 December 2026 and whose
// working directory is a fresh temporary one.
struct log_fixture : ::testing::Test {
    QTemporaryDir dir;
    recording_prompts ask;
    QDateTime now{QDate(2026, 12, 5), QTime(21, 10, 5)};
    frm_thermometer w{window_seams{ask, [this] { return now; }, dir.path()}};
    const thermometer_controls& ui = w.ui();
    QString log_path = dir.filePath(QStringLiteral("TARNWICK.txt"));

    datalog::log_writer* writer() { return ui.Timer1->findChild<datalog::log_writer*>(); }
    void tick() { writer()->write_log_line(); }
};

const QByteArray first_line = QByteArray("12-05-2026\t21:10:05\t23\xBA"
                                         "C\t - - \r\n");

} // namespace

TEST_F(log_fixture, clicking_an_option_sets_the_period_and_none_selected_means_5_s) {
    QTest::mouseClick(ui.Option7, Qt::LeftButton);
    EXPECT_EQ(ui.Timer1->interval(), 30000);
    QTest::mouseClick(ui.Option6, Qt::LeftButton);
    EXPECT_EQ(ui.Timer1->interval(), 60000);
    controls::set_value(ui.Option6, 0);
    datalog::apply_sample_interval(w.logging());
    EXPECT_EQ(ui.Timer1->interval(), 5000);
}

TEST_F(log_fixture, ticks_append_exact_lines_only_while_logging_is_on) {
    ui.Text2->setText(QString::fromUtf8("23\u00BAC"));
    ui.Text1->setText(QStringLiteral(" - - "));
    tick();
    EXPECT_FALSE(QFile::exists(log_path)) << "unticked: no file is created";

    controls::set_check_value(ui.Check1, 1);
    tick();
    EXPECT_EQ(read_file(log_path), first_line);

    now = now.addSecs(5);
    controls::set_check_value(ui.Check1, 2); // greyed counts as ticked
    ui.Text2->setText(QString());
    ui.Text1->setText(QString());
    tick();
    EXPECT_EQ(read_file(log_path), first_line + QByteArray("12-05-2026\t21:10:10\t\t\r\n"));
}

TEST_F(log_fixture, an_existing_log_keeps_its_lines) {
    {
        QFile f(log_path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("older line\r\nno line end");
    }
    ui.Text2->setText(QString::fromUtf8("23\u00BAC"));
    ui.Text1->setText(QStringLiteral(" - - "));
    controls::set_check_value(ui.Check1, 1);
    tick();
    EXPECT_EQ(read_file(log_path), QByteArray("older line\r\nno line end") + first_line);
}

TEST_F(log_fixture, a_failing_log_is_reported_quietly_and_logging_resumes) {
    ui.Text2->setText(QString::fromUtf8("23\u00BAC"));
    ui.Text1->setText(QStringLiteral(" - - "));
    controls::set_check_value(ui.Check1, 1);
    tick();
    ASSERT_EQ(read_file(log_path), first_line);
    const QColor normal = ui.Check1->palette().color(QPalette::WindowText);

    // The name points at a device, /dev/full, which takes no line.
    const QString kept = dir.filePath(QStringLiteral("kept.txt"));
    ASSERT_TRUE(QFile::rename(log_path, kept));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), log_path));
    tick();
    tick();
    EXPECT_TRUE(writer()->failing());
    EXPECT_TRUE(ui.Check1->toolTip().contains(QLatin1String("Logging is failing")))
        << ui.Check1->toolTip().toStdString();
    EXPECT_NE(ui.Check1->palette().color(QPalette::WindowText), normal);
    EXPECT_TRUE(ask.messages.isEmpty()) << "no box interrupts the operator";
    EXPECT_EQ(read_file(kept), first_line);

    // The name is taken by a directory.
    ASSERT_TRUE(QFile::remove(log_path));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("TARNWICK.txt")));
    tick();
    EXPECT_TRUE(writer()->failing());

    // Writable again: the warning clears and the next line lands.
    ASSERT_TRUE(QDir(log_path).removeRecursively());
    ASSERT_TRUE(QFile::rename(kept, log_path));
    tick();
    EXPECT_FALSE(writer()->failing());
    EXPECT_TRUE(ui.Check1->toolTip().isEmpty());
    EXPECT_EQ(ui.Check1->palette().color(QPalette::WindowText), normal);
    EXPECT_EQ(read_file(log_path), first_line + first_line);
}

TEST_F(log_fixture, a_read_only_directory_does_not_stop_the_program) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only directories, so the case cannot arise";
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    controls::set_check_value(ui.Check1, 1);
    tick();
    EXPECT_TRUE(writer()->failing());
    EXPECT_FALSE(QFile::exists(log_path));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(log_fixture, timer1_ticks_write_lines) {
    controls::set_check_value(ui.Check1, 1);
    ui.Timer1->set_interval(20);
    w.release_timers();
    EXPECT_TRUE(QTest::qWaitFor([&] { return read_file(log_path).count('\n') >= 2; }, 5000));
}

TEST_F(log_fixture, a_fifo_by_the_logs_name_fails_the_tick_at_once) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(log_path).constData(), 0600), 0);
    controls::set_check_value(ui.Check1, 1);

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
    EXPECT_TRUE(writer()->failing()) << "no reader";
    EXPECT_TRUE(ui.Check1->toolTip().contains(QLatin1String("not a regular file")))
        << ui.Check1->toolTip().toStdString();

    // With a reader, the FIFO opens, but still takes no line.
    const int reader = ::open(QFile::encodeName(log_path).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    tick();
    EXPECT_TRUE(writer()->failing()) << "with a reader";
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

    controls::set_check_value(ui.Check1, 1);
    tick();
    EXPECT_TRUE(writer()->failing());
    EXPECT_TRUE(ui.Check1->toolTip().contains(u'(' + qt_error_string(ENOSPC) + u')'))
        << ui.Check1->toolTip().toStdString();
    EXPECT_EQ(read_file(log_path), old);
}
