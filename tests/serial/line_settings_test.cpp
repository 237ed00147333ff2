#include "rules/port_map.h"
#include "serial/comm_control.h"
#include "support/pty.h"

#include <QObject>
#include <gtest/gtest.h>
#include <termios.h>

TEST(comm_control, opens_the_port_at_9600_baud_8_data_bits_no_parity_1_stop_bit) {
    pty_pair pty;
    ASSERT_TRUE(pty.ok());
    // Start from other settings, so that only the program's open can make
    // them right.
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.master_fd(), &t), 0);
    ::cfsetispeed(&t, B115200);
    ::cfsetospeed(&t, B115200);
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
    ASSERT_EQ(::tcsetattr(pty.master_fd(), TCSANOW, &t), 0);
    ASSERT_EQ(::tcgetattr(pty.master_fd(), &t), 0);
    ASSERT_EQ(::cfgetispeed(&t), speed_t{B115200});

    QObject owner;
    auto* comm = new serial::comm_control(&owner);
    rules::port_map ports;
    ports.set_device(1, pty.slave_path());
    comm->set_port_map(ports);
    comm->set_comm_port(1);
    ASSERT_TRUE(comm->set_port_open(true)) << comm->last_error().toStdString();

    ASSERT_EQ(::tcgetattr(pty.master_fd(), &t), 0);
    EXPECT_EQ(::cfgetispeed(&t), speed_t{B9600});
    EXPECT_EQ(::cfgetospeed(&t), speed_t{B9600});
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(t.c_cflag & PARENB, tcflag_t{0}) << "no parity";
    EXPECT_EQ(t.c_cflag & CSTOPB, tcflag_t{0}) << "one stop bit";
}
