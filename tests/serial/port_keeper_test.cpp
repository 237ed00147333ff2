#include "serial/port_keeper.h"

#include "serial/comm_control.h"
#include "support/log_capture.h"
#include "support/pty.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

TEST(port_keeper, keeps_the_chosen_port_open_and_says_why_when_it_cannot) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("logger"));
    serial::comm_control comm;
    rules::port_map m;
    m.set_device(2, link);
    comm.set_port_map(m);
    serial::port_keeper keeper(comm, std::chrono::milliseconds(20));
    // Each try again is a debug line of the serial area.
    const log_capture serial_log("kestrova.serial");
    const auto retries = [&] { return serial_log.count(QStringLiteral("trying again")); };
    QSignalSpy changes(&keeper, &serial::port_keeper::state_changed);

    // Not there yet: one state, then quiet retries.
    keeper.choose(2);
    ASSERT_EQ(changes.count(), 1);
    serial::port_keeper::state s = keeper.current();
    EXPECT_EQ(s.port, 2);
    EXPECT_FALSE(s.open);
    EXPECT_FALSE(s.reason.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return retries() >= 3; }, 5000));
    EXPECT_EQ(changes.count(), 1) << "a retry that fails the same way changes nothing";

    // Plugged in: taken within a retry.
    pty_pair pty;
    ASSERT_TRUE(QFile::link(pty.slave_path(), link));
    ASSERT_TRUE(QTest::qWaitFor([&] { return comm.port_open(); }, 5000));
    EXPECT_TRUE(keeper.current().open);
    EXPECT_TRUE(keeper.current().reason.isEmpty());
    const qsizetype attempts = retries();

    // Choosing the port in use leaves it alone.
    QSignalSpy opened_or_closed(&comm, &serial::comm_control::open_changed);
    keeper.choose(2);
    EXPECT_EQ(opened_or_closed.count(), 0);

    // Pulled: closed at once, then back by itself on a new pty.
    pty.hang_up();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !keeper.current().open; }, 5000));
    pty_pair replugged;
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::link(replugged.slave_path(), link));
    ASSERT_TRUE(QTest::qWaitFor([&] { return comm.port_open(); }, 5000));
    EXPECT_GT(retries(), attempts);

    // The end: closed, and no more tries.
    keeper.stop();
    EXPECT_FALSE(comm.port_open());
    const qsizetype final_attempts = retries();
    EXPECT_FALSE(QTest::qWaitFor([&] { return retries() > final_attempts; }, 200));
}
