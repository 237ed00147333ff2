#include "settings/inifile.h"
#include "settings/port_settings.h"
#include "support/files.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(port_settings, ports_section_overrides_the_platform_defaults_one_by_one) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    settings::inifile ini;
    ini.set_ini_dir(dir.path());
    const rules::port_map defaults = rules::port_map::platform_default();

    const rules::port_map without_file = settings::read_port_map(ini);
    for (int p = 1; p <= 4; ++p)
        EXPECT_EQ(without_file.device(p), defaults.device(p)) << "port " << p;

    const QString long_path = QStringLiteral("/dev/serial/by-path/") + QString(200, u'x');
    ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("Tarnwick.INI")),
                           "[VEZ]\n4=/dev/not-this-one\n"
                           "[ports]\n"
                           " 1 =  /dev/pts/7  \n"
                           "2=\n"
                           "3=/dev/serial/by-id/usb-FTDI_logger-if00-port0\n"
                           "5=/dev/ttyS9\n"
                           "4=" +
                               long_path.toLatin1() + "\n"));
    const rules::port_map ports = settings::read_port_map(ini);
    EXPECT_EQ(ports.device(1), QStringLiteral("/dev/pts/7"));
    EXPECT_EQ(ports.device(2), defaults.device(2)) << "an empty value keeps the default";
    EXPECT_EQ(ports.device(3), QStringLiteral("/dev/serial/by-id/usb-FTDI_logger-if00-port0"));
    EXPECT_EQ(ports.device(4), long_path) << "device paths are not cut to 127 characters";
}
