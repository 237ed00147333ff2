#include "serial/port_probe.h"

#include "serial/comm_control.h"
#include "serial/port_lock.h"
#include "support/files.h"
#include "support/pty.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(port_probe, a_refused_device_names_who_may_open_it) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give the stand-in device to other users";
    const group* nogroup = ::getgrgid(65534);
    const passwd* nobody = ::getpwuid(65534);
    const QString group_name =
        nogroup ? QString::fromLocal8Bit(nogroup->gr_name) : QStringLiteral("65534");
    const QString user_name =
        nobody ? QString::fromLocal8Bit(nobody->pw_name) : QStringLiteral("65534");
    const QString refused = qt_error_string(EACCES);

    struct row {
        uid_t owner;
        gid_t group;
        mode_t mode;
        QString error;
        QString expected;
    };
    const row rows[] = {
        {0, 0, 0600, refused, QStringLiteral("permission denied: only root can open it")},
        {0, 0, 0660, refused, QStringLiteral("permission denied: only root can open it")},
        {0, 65534, 0600, refused, QStringLiteral("permission denied: only root can open it")},
        {0, 65534, 0640, refused,
         QStringLiteral("permission denied: join the group \"%1\" that owns the device "
                        "(\"dialout\" on Debian, e.g. sudo adduser $USER %1) and log in again")
             .arg(group_name)},
        {65534, 0, 0640, refused,
         QStringLiteral("permission denied: only the user \"%1\" and root can open it")
             .arg(user_name)},
        {65534, 65534, 0600, refused,
         QStringLiteral("permission denied: only the user \"%1\" and root can open it")
             .arg(user_name)},
        {0, 0, 0660, qt_error_string(EBUSY),
         QStringLiteral("in use by another program (%1)").arg(qt_error_string(EBUSY))},
    };
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("ttyUSB0"));
    const QByteArray name = QFile::encodeName(device);
    ASSERT_TRUE(QFile(device).open(QIODevice::WriteOnly));
    for (const row& r : rows) {
        ASSERT_EQ(::chown(name.constData(), r.owner, r.group), 0);
        ASSERT_EQ(::chmod(name.constData(), r.mode), 0);
        const serial::port_failure f{device, QSerialPort::PermissionError, r.error};
        EXPECT_EQ(serial::describe_failure(f), r.expected)
            << r.owner << ':' << r.group << ' ' << std::oct << r.mode << ' '
            << r.error.toStdString();
    }
}

TEST(port_probe, a_lock_whose_owner_has_ended_is_named_as_stale_not_as_another_program) {
    pty_pair pty;
    serial::comm_control comm;
    rules::port_map m;
    m.set_device(1, pty.slave_path());
    comm.set_port_map(m);
    comm.set_comm_port(1);
    ASSERT_TRUE(comm.set_port_open(true));
    // Found where Qt itself puts it, and held by a process that runs.
    const QString lock = serial::port_lock_file(pty.slave_path());
    ASSERT_FALSE(lock.isEmpty());
    EXPECT_EQ(read_file(lock).split('\n').front().trimmed().toLongLong(), getpid());
    const serial::port_failure busy{pty.slave_path(), QSerialPort::PermissionError,
                                    QStringLiteral("Permission error while locking the device")};
    EXPECT_EQ(serial::describe_failure(busy),
              QStringLiteral("in use by another program (Permission error while locking the "
                             "device)"));
    comm.set_port_open(false);

    // Left behind by a process that has ended, as another user's file would be.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    ASSERT_TRUE(write_file(lock, QByteArray::number(gone).rightJustified(10) + "\n"));
    EXPECT_EQ(serial::describe_failure(busy),
              QStringLiteral("a stale lock file %1 of process %2 (not running) that this user "
                             "cannot remove")
                  .arg(lock)
                  .arg(gone));
    QFile::remove(lock);
}

TEST(port_probe, removes_the_ports_that_fail_from_4_down_to_1) {
    QTemporaryDir dir;
    pty_pair a, b;
    struct row {
        const char* layout; // p: opens, -: fails
        std::vector<int> removed;
        bool any;
    };
    const row rows[] = {{"p-p-", {3, 1}, true},
                        {"-p--", {3, 2, 0}, true},
                        {"pppp", {}, true},
                        {"----", {3, 2, 1, 0}, false}};
    for (const row& r : rows) {
        serial::comm_control comm;
        rules::port_map m;
        for (int p = 1; p <= 4; ++p)
            m.set_device(p, r.layout[p - 1] == 'p' ? (p % 2 ? a : b).slave_path()
                                                   : dir.filePath(QStringLiteral("none")));
        comm.set_port_map(m);
        QComboBox list;
        list.addItems(
            {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});
        std::vector<int> removed;
        const serial::probe_result result = serial::probe_ports(comm, [&](int index) {
            removed.push_back(index);
            list.removeItem(index);
        });
        EXPECT_EQ(result.any_open, r.any) << r.layout;
        EXPECT_EQ(removed, r.removed) << r.layout;
        QStringList left;
        for (int i = 0; i < list.count(); ++i)
            left << list.itemText(i);
        QStringList want;
        for (int p = 1; p <= 4; ++p)
            if (r.layout[p - 1] == 'p')
                want << QString::number(p);
        EXPECT_EQ(left, want) << r.layout;
        EXPECT_EQ(comm.comm_port(), 1);
        EXPECT_FALSE(comm.port_open());
    }
}

TEST(port_probe, explains_why_no_port_opened) {
    QTemporaryDir dir;
    rules::port_map m;
    m.set_device(1, dir.filePath(QStringLiteral("gone")));
    m.set_device(2, dir.path());
    serial::probe_result r;
    r.failures[0] =
        serial::port_failure{m.device(1), QSerialPort::DeviceNotFoundError, QStringLiteral("x")};
    r.failures[1] = serial::port_failure{m.device(2), QSerialPort::UnsupportedOperationError,
                                         QStringLiteral("Is a directory")};
    const QString text = serial::no_port_details(r, m);
    EXPECT_TRUE(text.contains(QStringLiteral("Port 1 (%1): no such device").arg(m.device(1))))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Port 2 (%1): not a serial device").arg(m.device(2))))
        << text.toStdString();
}
