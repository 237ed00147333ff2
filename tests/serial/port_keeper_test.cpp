#include "serial/port_keeper.h"

#include "serial/comm_control.h"
#include "support/pty.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

TEST(port_keeper, keeps_the_chosen_port_open_and_says_why_when_it_cannot) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("logger"));
    comm_control comm;
    port_map m;
    m.set_device(2, link);
    comm.set_port_map(m);
    port_keeper keeper(comm, std::chrono::milliseconds(20));
    QSignalSpy changes(&keeper, &port_keeper::state_changed);

    // Not there yet: one state, then quiet retries.
    keeper.choose(2);
    ASSERT_EQ(changes.count(), 1);
    port_keeper::state s = keeper.current();
    EXPECT_EQ(s.port, 2);
    EXPECT_FALSE(s.open);
    EXPECT_FALSE(s.reason.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return keeper.attempts() >= 4; }, 5000));
    EXPECT_EQ(changes.count(), 1) << "a retry that fails the same way changes nothing";

    // Plugged in: taken within a retry.
    pty_pair pty;
    ASSERT_TRUE(QFile::link(pty.slave_path(), link));
    ASSERT_TRUE(QTest::qWaitFor([&] { return comm.port_open(); }, 5000));
    EXPECT_TRUE(keeper.current().open);
    EXPECT_TRUE(keeper.current().reason.isEmpty());
    const int attempts = keeper.attempts();

    // Choosing the port in use leaves it alone.
    QSignalSpy opened_or_closed(&comm, &comm_control::open_changed);
    keeper.choose(2);
    EXPECT_EQ(opened_or_closed.count(), 0);

    // Pulled: closed at once, then back by itself on a new pty.
    pty.hang_up();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !keeper.current().open; }, 5000));
    pty_pair replugged;
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::link(replugged.slave_path(), link));
    ASSERT_TRUE(QTest::qWaitFor([&] { return comm.port_open(); }, 5000));
    EXPECT_GT(keeper.attempts(), attempts);

    // The end: closed, and no more tries.
    keeper.stop();
    EXPECT_FALSE(comm.port_open());
    const int final_attempts = keeper.attempts();
    EXPECT_FALSE(QTest::qWaitFor([&] { return keeper.attempts() > final_attempts; }, 200));
}
