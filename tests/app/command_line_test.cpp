// The programs' command lines, where no display and no settings file may be
// needed: --help and --version answer at once, anything else unknown is one
// line and status 2; and the monitor without any display runs offscreen.
#include "support/build_paths.h"
#include "support/files.h"
#include "support/process.h"
#include "support/pty.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct run_result {
    int status = -1;
    QByteArray out, err;
};

// An empty working folder, and a runtime folder of its own: no display of
// any kind, as a service or an ssh session without X has it.
struct sandbox {
    QTemporaryDir dir;
    QString work = dir.filePath(QStringLiteral("work"));
    QString runtime = dir.filePath(QStringLiteral("runtime"));
    sandbox() {
        QDir(dir.path()).mkdir(QStringLiteral("work"));
        QDir(dir.path()).mkdir(QStringLiteral("runtime"));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool untouched() const {
        return QDir(work).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // With `journal`, standard error is the journal's, as systemd says to
    // a service.
    run_result run(const char* program, const QStringList& args, bool journal = false) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "JOURNAL_STREAM"})
            env.remove(QString::fromLatin1(name));
        if (journal)
            env.insert(QStringLiteral("JOURNAL_STREAM"), QStringLiteral("8:4242"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        QProcess p;
        process_guard guard{p};
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(work);
        p.start(QString::fromUtf8(program), args);
        if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit)
            return {};
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }
};

} // namespace

TEST(command_line, help_and_version_answer_at_once_and_the_unknown_is_one_line) {
    const struct {
        const char* program;
        QStringList args;
        int status;
        const char* out; // a pattern; empty: nothing
        const char* err;
    } rows[] = {
        {build_paths::monitor, {"--help"}, 0, "^Usage: kestrova \\[Qt options\\]\n(.*\n)+$", ""},
        {build_paths::monitor, {"-h"}, 0, "^Usage: kestrova ", ""},
        {build_paths::monitor, {"--version"}, 0, "^kestrova \\d+\\.\\d+\\.\\d+\n$", ""},
        {build_paths::monitor, {"-platform", "offscreen", "--version"}, 0, "^kestrova \\d", ""},
        {build_paths::monitor,
         {"--verbose"},
         2,
         "",
         "^kestrova: unknown option --verbose \\(see kestrova --help\\)\n$"},
        {build_paths::monitor,
         {"-platform", "offscreen", "TARNWICK.txt"},
         2,
         "",
         "^kestrova: unexpected argument TARNWICK.txt \\(see kestrova --help\\)\n$"},
        {build_paths::logger_sim, {"--help"}, 0, "^Usage: kestrova-logger-sim --link PATH", ""},
        {build_paths::logger_sim,
         {"--version"},
         0,
         "^kestrova-logger-sim \\d+\\.\\d+\\.\\d+\n$",
         ""},
        {build_paths::logger_sim,
         {"--loop"},
         2,
         "",
         "^kestrova-logger-sim: unknown option --loop \\(see kestrova-logger-sim --help\\)\n$"},
        {build_paths::logger_sim,
         {"--link"},
         2,
         "",
         "^kestrova-logger-sim: --link needs a [^\n]*\n$"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(QFileInfo(QString::fromUtf8(row.program)).fileName().toStdString() + ' ' +
                     row.args.join(u' ').toStdString());
        const sandbox box;
        const run_result r = box.run(row.program, row.args);
        EXPECT_EQ(r.status, row.status) << r.err.toStdString();
        for (const auto& [got, pattern] : {std::pair{r.out, row.out}, std::pair{r.err, row.err}}) {
            if (*pattern == '\0')
                EXPECT_TRUE(got.isEmpty()) << got.toStdString();
            else
                EXPECT_TRUE(QRegularExpression(QString::fromLatin1(pattern))
                                .match(QString::fromUtf8(got))
                                .hasMatch())
                    << got.toStdString();
        }
        EXPECT_TRUE(box.untouched());
    }
}

// The first start of a station without a display: nobody can choose a port,
// so it says how to give one and ends, as it does without any port. Qt's
// minimal platform is no display either. In the journal each line carries
// its priority, so that `journalctl -p warning` shows the one that matters.
TEST(command_line, a_first_start_without_a_display_says_how_to_choose_the_port_and_ends) {
    const QByteArray no_choice = "kestrova: no port chosen: set frm_thermometer.Text7.text in "
                                 "Tarnwick.INI, or start once with a display\n";
    const QByteArray offscreen = "kestrova: no display (DISPLAY and WAYLAND_DISPLAY are not set): "
                                 "running without windows, as with QT_QPA_PLATFORM=offscreen\n";
    const struct {
        const char* platform;
        bool journal;
        QByteArray err;
    } rows[] = {
        {nullptr, false, offscreen + no_choice},
        {"offscreen", false, no_choice},
        {"minimal", false, no_choice},
        {nullptr, true, "<6>" + offscreen + "<4>" + no_choice},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.platform ? row.platform : "no platform");
        SCOPED_TRACE(row.journal ? "journal" : "terminal");
        const sandbox box;
        pty_pair pty;
        const QByteArray settings = "[Ports]\r\n1=" + pty.slave_path().toLocal8Bit() + "\r\n";
        const QString ini = box.work + QStringLiteral("/Tarnwick.INI");
        ASSERT_TRUE(write_file(ini, settings));
        const QStringList platform = row.platform ? QStringList{QStringLiteral("-platform"),
                                                                QString::fromLatin1(row.platform)}
                                                  : QStringList{};
        const run_result r = box.run(build_paths::monitor, platform, row.journal);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, row.err);
        EXPECT_EQ(read_file(ini), settings);
    }
}
