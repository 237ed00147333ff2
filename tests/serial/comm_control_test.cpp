#include "serial/comm_control.h"
#include "support/pty.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

serial::comm_control* make_comm(QObject* parent, const QString& device, int port = 1) {
    auto* c = new serial::comm_control(parent);
    rules::port_map m;
    m.set_device(port, device);
    c->set_port_map(m);
    c->set_comm_port(port);
    return c;
}

} // namespace

TEST(comm_control, opens_a_pty_and_refuses_a_second_open_and_port_changes_while_open) {
    pty_pair pty;
    ASSERT_TRUE(pty.ok());
    QObject owner;
    serial::comm_control* a = make_comm(&owner, pty.slave_path());
    ASSERT_TRUE(a->set_port_open(true)) << a->last_error().toStdString();
    EXPECT_TRUE(a->port_open());
    EXPECT_FALSE(a->set_port_open(true)) << "already open";
    EXPECT_FALSE(a->set_comm_port(2)) << "port number cannot change while open";

    serial::comm_control* b = make_comm(&owner, pty.slave_path());
    EXPECT_FALSE(b->set_port_open(true)) << "the port is busy";
    EXPECT_FALSE(b->port_open());
    EXPECT_FALSE(b->last_error().isEmpty());

    EXPECT_TRUE(a->set_port_open(false));
    EXPECT_FALSE(a->port_open());
    EXPECT_TRUE(b->set_port_open(true)) << "free again once closed";
}

TEST(comm_control, opening_something_that_is_no_serial_device_fails_cleanly) {
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    QObject owner;
    for (const QString& path : {dir.filePath(QStringLiteral("missing")), dir.path(),
                                plain.fileName(), QStringLiteral("/dev/null"), QString()}) {
        serial::comm_control* c = make_comm(&owner, path);
        EXPECT_FALSE(c->set_port_open(true)) << path.toStdString();
        EXPECT_FALSE(c->port_open());
        EXPECT_FALSE(c->last_error().isEmpty()) << path.toStdString();
    }
}

TEST(comm_control, every_received_byte_raises_its_own_port_event) {
    pty_pair pty;
    QObject owner;
    serial::comm_control* c = make_comm(&owner, pty.slave_path());
    ASSERT_TRUE(c->set_port_open(true));
    QByteArray seen;
    QObject::connect(c, &serial::comm_control::on_comm, &owner, [&] {
        ASSERT_EQ(c->comm_event(), serial::comm_control::ev_receive);
        const QByteArray in = c->input();
        EXPECT_EQ(in.size(), 1);
        seen += in;
    });
    // Many batches' worth, more than the port's own read buffer holds: the
    // rest must follow on later turns of the event loop, in order.
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    all = all.repeated(40);
    ASSERT_TRUE(pty.write(all));
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen.size() >= all.size(); }, 5000));
    EXPECT_EQ(seen, all);
}

TEST(comm_control, a_hang_up_closes_the_port_without_a_storm_of_errors) {
    pty_pair pty;
    QObject owner;
    serial::comm_control* c = make_comm(&owner, pty.slave_path());
    ASSERT_TRUE(c->set_port_open(true));
    QSignalSpy lost(c, &serial::comm_control::port_lost);
    int events = 0;
    QObject::connect(c, &serial::comm_control::on_comm, &owner, [&] {
        ++events;
        c->input();
    });
    ASSERT_TRUE(pty.write(QByteArray("\x01\x02", 2)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return events == 2; }, 5000));
    pty.hang_up();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !c->port_open(); }, 5000));
    EXPECT_FALSE(QTest::qWaitFor([&] { return lost.count() > 1; }, 300));
    EXPECT_EQ(lost.count(), 1);
    EXPECT_FALSE(c->last_error().isEmpty());
    EXPECT_EQ(events, 2);
}
