#include "settings/inifile.h"
#include "support/files.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct inifile_fixture : ::testing::Test {
    QTemporaryDir dir;
    settings::inifile ini;
    QString file;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ini.set_ini_dir(dir.path());
        file = dir.filePath(QStringLiteral("Tarnwick.INI"));
    }

    QStringList entries_in_dir() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

// Restores the working directory when a test has moved it.
struct current_dir_guard {
    QString saved = QDir::currentPath();
    ~current_dir_guard() { QDir::setCurrent(saved); }
};

} // namespace

TEST_F(inifile_fixture, file_lies_in_ini_dir_or_else_in_the_current_directory) {
    EXPECT_EQ(ini.path(), dir.path() + QDir::separator() + QStringLiteral("Tarnwick.INI"));

    // No correction for a directory that already ends in a separator.
    settings::inifile at_root;
    at_root.set_ini_dir(QStringLiteral("/"));
    EXPECT_EQ(at_root.path(), QStringLiteral("//Tarnwick.INI"));

    // Before a restore sets ini_dir, the file goes to the current directory,
    // never to the filesystem root.
    QTemporaryDir cwd;
    current_dir_guard guard;
    ASSERT_TRUE(QDir::setCurrent(cwd.path()));
    settings::inifile fresh;
    EXPECT_TRUE(fresh.ini_dir().isEmpty());
    EXPECT_TRUE(fresh.ini_write(QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_EQ(read_file(cwd.filePath(QStringLiteral("Tarnwick.INI"))), "[VEZ]\r\nk=v\r\n");
    EXPECT_EQ(fresh.ini_read(QStringLiteral("k"), QString()), QStringLiteral("v"));

    // Once set, a change of the working directory does not move the file.
    EXPECT_TRUE(ini.ini_write(QStringLiteral("k"), QStringLiteral("w")));
    EXPECT_EQ(read_file(file), "[VEZ]\r\nk=w\r\n");
    EXPECT_EQ(ini.ini_read(QStringLiteral("k"), QString()), QStringLiteral("w"));
}

TEST_F(inifile_fixture, values_come_back_cut_to_127_characters_and_without_outer_spaces) {
    const QString c127(127, u'x');
    struct row {
        const char* what;
        QString written;
        QString expected;
    };
    const row rows[] = {
        {"127 characters", c127, c127},
        {"128 characters", c127 + u'y', c127},
        {"long with spaces at the cut", QString(125, u'a') + QStringLiteral("   b"),
         QString(125, u'a')},
        {"reading text", QStringLiteral(" - - "), QStringLiteral("- -")},
        {"degree sign", QStringLiteral("24\u00BAC"), QStringLiteral("24\u00BAC")},
        {"only U+0020 is trimmed", QStringLiteral("\tx\u00A0"), QStringLiteral("\tx\u00A0")},
        {"no Windows-1252 byte", QStringLiteral("5\u03A9"), QStringLiteral("5?")},
        {"a line break stays on its line", QStringLiteral("a\r\nb"), QStringLiteral("a??b")},
        {"a zero character ends the value", QStringLiteral("ab") + QChar(u'\0') + u'c',
         QStringLiteral("ab")},
        {"empty", QString(), QString()},
    };
    for (const row& r : rows) {
        EXPECT_TRUE(ini.ini_write(QStringLiteral("key"), r.written));
        EXPECT_EQ(ini.ini_read(QStringLiteral("key"), QStringLiteral("default")), r.expected)
            << r.what;
    }
    EXPECT_TRUE(ini.ini_write(QStringLiteral("reading"), QStringLiteral("24\u00BAC")));
    EXPECT_TRUE(read_file(file).contains("reading=24\xBA"
                                         "C\r\n"));

    // Defaults pass through the same rules.
    const auto missing = [this](const QString& d) {
        return ini.ini_read(QStringLiteral("none"), d);
    };
    EXPECT_EQ(missing(QStringLiteral("PORT ")), QStringLiteral("PORT"));
    EXPECT_EQ(missing(QString()), QString());
    EXPECT_EQ(missing(c127 + QStringLiteral("zz")), c127);
    EXPECT_EQ(missing(QStringLiteral("a") + QChar(u'\0') + u'b'), QStringLiteral("a"));
    EXPECT_EQ(missing(QStringLiteral("\u03A9")), QStringLiteral("\u03A9"));

    // Values written by hand: Windows-1252 bytes, NUL, letter case of names.
    ASSERT_TRUE(write_file(file, bytes_of("[vez]\nKEY=  \x80\x9f\xba \x81 \n"
                                          "z=ab\0cd\n")));
    EXPECT_EQ(ini.ini_read(QStringLiteral("key"), QString()),
              QStringLiteral("\u20AC\u0178\u00BA \u0081"));
    EXPECT_EQ(ini.ini_read(QStringLiteral("z"), QString()), QStringLiteral("ab"));
}

TEST_F(inifile_fixture, tells_missing_from_unreadable_and_never_replaces_what_it_cannot_read) {
    const QString k = QStringLiteral("k");
    EXPECT_EQ(ini.state(), settings::inifile::file_state::missing);
    EXPECT_EQ(ini.ini_read(k, QStringLiteral("d")), QStringLiteral("d"));

    ASSERT_TRUE(write_file(file, "[VEZ]\r\nk=v\r\n"));
    EXPECT_EQ(ini.state(), settings::inifile::file_state::readable);

    // Exactly at the size limit it is still a settings file.
    QByteArray at_limit = "[VEZ]\nk=v\n";
    at_limit += QByteArray(settings::inifile::max_file_size - at_limit.size(), ';');
    ASSERT_TRUE(write_file(file, at_limit));
    EXPECT_EQ(ini.state(), settings::inifile::file_state::readable);
    EXPECT_EQ(ini.ini_read(k, QStringLiteral("d")), QStringLiteral("v"));
    // A write that would push it past the limit is not made: it would
    // make the file unreadable at the next start.
    EXPECT_FALSE(ini.ini_write(QStringLiteral("new"), QStringLiteral("value")));
    EXPECT_EQ(read_file(file), at_limit);

    const QByteArray too_large = at_limit + ';';
    ASSERT_TRUE(write_file(file, too_large));
    EXPECT_EQ(ini.state(), settings::inifile::file_state::unreadable);
    EXPECT_EQ(ini.ini_read(k, QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_FALSE(ini.ini_write(k, QStringLiteral("w")));
    EXPECT_EQ(read_file(file), too_large);

    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Tarnwick.INI")));
    EXPECT_EQ(ini.state(), settings::inifile::file_state::unreadable);
    EXPECT_EQ(ini.ini_read(k, QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_FALSE(ini.ini_write(k, QStringLiteral("w")));
    EXPECT_TRUE(QFileInfo(file).isDir());

    // A FIFO would block a reader that opened it.
    ASSERT_TRUE(QDir(dir.path()).rmdir(QStringLiteral("Tarnwick.INI")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    EXPECT_EQ(ini.state(), settings::inifile::file_state::unreadable);
    EXPECT_EQ(ini.ini_read(k, QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_FALSE(ini.ini_write(k, QStringLiteral("w")));
    EXPECT_FALSE(QFileInfo(file).isFile());
}

TEST_F(inifile_fixture, many_keys_in_one_replacement_give_the_file_of_single_writes) {
    const QByteArray start = "; kept\n[Ports]\n1=/dev/pts/4\n\n[vez]\nFileId=old\nmine=1\n\n"
                             "[Other]\nx=y";
    const settings::inifile::entries entries = {
        {QStringLiteral("FileId"), QStringLiteral("therm")},
        {QStringLiteral("frm_thermometer.Text1.text"), QStringLiteral("24\u00BAC")},
        {QStringLiteral("FILEID"), QStringLiteral("again")},
        {QStringLiteral("bad=key"), QStringLiteral("skipped")},
        {QStringLiteral("frm_thermometer.UpDown1.value"), QStringLiteral("40")},
    };
    ASSERT_TRUE(write_file(file, start));
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadGroup));
    for (const auto& [key, value] : entries)
        EXPECT_TRUE(ini.ini_write(key, value));
    const QByteArray one_by_one = read_file(file);

    ASSERT_TRUE(write_file(file, start));
    EXPECT_TRUE(ini.ini_write_all(entries));
    EXPECT_EQ(read_file(file), one_by_one);
    EXPECT_EQ(one_by_one,
              "; kept\r\n[Ports]\r\n1=/dev/pts/4\r\n\r\n[vez]\r\nFILEID=again\r\nmine=1\r\n"
              "frm_thermometer.Text1.text=24\xBA"
              "C\r\nfrm_thermometer.UpDown1.value=40\r\n\r\n[Other]\r\nx=y\r\n");
    // The replacement keeps the file's permissions and leaves no temporary
    // file behind.
    EXPECT_EQ(QFileInfo(file).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::ReadGroup);
    EXPECT_EQ(entries_in_dir(), QStringList{QStringLiteral("Tarnwick.INI")});
}

TEST_F(inifile_fixture, a_save_cut_short_leaves_the_old_file_whole) {
    const QByteArray old = "[VEZ]\r\nFileId=therm\r\nfrm_thermometer.Text7.text=2\r\n";
    ASSERT_TRUE(write_file(file, old));
    settings::inifile::entries entries;
    for (int i = 0; i < 40; ++i)
        entries.emplace_back(QStringLiteral("key%1").arg(i), QString(100, u'v'));

    // The file system stops the writer half-way: a file size limit below
    // the new file's size, with the signal that would end the process
    // ignored, so that write() fails with EFBIG instead.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = 2048;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    EXPECT_FALSE(ini.ini_write_all(entries));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(read_file(file), old);
    EXPECT_EQ(entries_in_dir(), QStringList{QStringLiteral("Tarnwick.INI")});

    // Without the limit the same save goes through.
    EXPECT_TRUE(ini.ini_write_all(entries));
    EXPECT_GT(read_file(file).size(), 4000);
    EXPECT_EQ(ini.ini_read(QStringLiteral("key39"), QString()), QString(100, u'v'));
}

TEST_F(inifile_fixture, garbage_files_read_as_defaults_without_harm) {
    constexpr qsizetype kib = 1024;
    QRandomGenerator random(1234);
    QByteArray noise(512 * kib, '\0');
    random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);

    struct row {
        const char* what;
        QByteArray content;
        bool replaced; // a save may rewrite it
    };
    const row rows[] = {
        {"random bytes", noise, true},
        {"NUL bytes", QByteArray(64 * kib, '\0'), true},
        {"only line ends", QByteArray(settings::inifile::max_file_size / 4, '\n'), true},
        {"line ends that CR LF would push past the limit",
         QByteArray(settings::inifile::max_file_size / 2, '\n'), false},
        {"one long line without end", QByteArray(900 * kib, 'k') + "=[VEZ]", true},
        {"section headers only", QByteArray("[VEZ\n").repeated(100000), true},
        {"20 MB on one line", QByteArray(20 * kib * kib, 'x'), false},
    };
    for (const row& r : rows) {
        ASSERT_TRUE(write_file(file, r.content)) << r.what;
        EXPECT_EQ(ini.ini_read(QStringLiteral("k"), QStringLiteral("d")), QStringLiteral("d"))
            << r.what;
        EXPECT_EQ(bool(ini.ini_write(QStringLiteral("k"), QStringLiteral("v"))), r.replaced)
            << r.what;
        if (r.replaced) {
            EXPECT_EQ(ini.ini_read(QStringLiteral("k"), QStringLiteral("d")), QStringLiteral("v"))
                << r.what;
            EXPECT_LE(QFileInfo(file).size(), settings::inifile::max_file_size) << r.what;
        } else {
            EXPECT_EQ(QFileInfo(file).size(), r.content.size()) << r.what;
        }
    }
}

TEST_F(inifile_fixture, a_settings_file_near_the_limit_is_saved_and_read_back) {
    // The worst that a save adds to a file it could read: every LF line end
    // becomes CR LF, and keys with long values come in.
    QByteArray near_limit = "[VEZ]\nk=v\n";
    near_limit += QByteArray(settings::inifile::max_settings_size - near_limit.size(), '\n');
    ASSERT_TRUE(write_file(file, near_limit));
    settings::inifile::entries entries{{QStringLiteral("k"), QStringLiteral("changed")}};
    for (int i = 0; i < 2; ++i)
        entries.emplace_back(QStringLiteral("frm_thermometer.Text%1.text").arg(i),
                             QString(127, u'v'));

    testing::internal::CaptureStderr();
    EXPECT_EQ(ini.ini_write_all(entries).why(), QString());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ini.state(), settings::inifile::file_state::readable);
    EXPECT_EQ(ini.ini_read(QStringLiteral("k"), QString()), QStringLiteral("changed"));
    EXPECT_EQ(ini.ini_read(QStringLiteral("frm_thermometer.Text1.text"), QString()),
              QString(127, u'v'));
}

TEST_F(inifile_fixture, a_save_that_fails_leaves_the_file_and_says_why_in_one_line) {
    // Saves one key; returns the reason and checks that it is the one line
    // on standard error.
    const auto failing_save = [&](const char* what) {
        testing::internal::CaptureStderr();
        QString reason = ini.ini_write(QStringLiteral("k"), QStringLiteral("new")).why();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(reason.isEmpty()) << what;
        EXPECT_EQ(err, QStringLiteral("kestrova: settings not saved: %1: %2\n")
                           .arg(QDir::toNativeSeparators(ini.path()), reason)
                           .toStdString())
            << what;
        return reason;
    };

    // A result that would pass the limit.
    QByteArray at_limit = "[VEZ]\nk=v\n";
    at_limit += QByteArray(settings::inifile::max_file_size - at_limit.size(), ';');
    ASSERT_TRUE(write_file(file, at_limit));
    EXPECT_TRUE(failing_save("too large").contains(QLatin1String("larger than")));
    EXPECT_EQ(read_file(file), at_limit);

    // A file that cannot be read is kept.
    ASSERT_TRUE(write_file(file, at_limit + ';'));
    EXPECT_TRUE(failing_save("unreadable").contains(QLatin1String("cannot be read")));
    EXPECT_EQ(read_file(file), at_limit + ';');

    // The file system refuses the bytes even to root: a file size limit
    // below the new file's size, its signal ignored so that write() fails.
    const QByteArray old = "[VEZ]\r\nk=old\r\n" + QByteArray(4000, ';') + "\r\n";
    ASSERT_TRUE(write_file(file, old));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = 2048;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    const QString reason = failing_save("cut short");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(reason, qt_error_string(EFBIG));
    EXPECT_EQ(read_file(file), old);
    EXPECT_EQ(entries_in_dir(), QStringList{QStringLiteral("Tarnwick.INI")});

    // The settings directory is a file: nothing can be created there.
    ini.set_ini_dir(file);
    failing_save("no directory");
    EXPECT_EQ(read_file(file), old);
}

TEST_F(inifile_fixture, a_save_by_root_keeps_the_owner_group_and_mode_of_the_file) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give the file to another user";
    ASSERT_TRUE(write_file(file, "[VEZ]\r\nk=v\r\n"));
    const QByteArray name = QFile::encodeName(file);
    ASSERT_EQ(::chown(name.constData(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(name.constData(), 0640), 0);

    EXPECT_EQ(ini.ini_write(QStringLiteral("k"), QStringLiteral("w")).why(), QString());
    EXPECT_EQ(read_file(file), "[VEZ]\r\nk=w\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(name.constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}
