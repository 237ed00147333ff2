#include "serial/port_probe.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
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
        const port_failure f{device, QSerialPort::PermissionError, r.error};
        EXPECT_EQ(describe_failure(f), r.expected) << r.owner << ':' << r.group << ' ' << std::oct
                                                   << r.mode << ' ' << r.error.toStdString();
    }
}
