// Settings file costs on this machine:
//   settings::restore_window_state on the 22-key file (45 reads, each a whole file
//   access) into the offscreen main window, handlers included;
//   settings::save_window_state (one replacement: write, fsync, rename);
//   one ini_read, and a restore against a 1 MiB file with no section VEZ,
//   the largest file that is still read.
// Prints median, mean and worst per operation; never pass/fail.
//   settings_bench [repetitions, default 200]

#include "app/frm_thermometer.h"
#include "settings/inifile.h"
#include "settings/window_state.h"
#include "support/silent_prompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <vector>

namespace {

void measure(const char* what, int repetitions, const std::function<void()>& op) {
    std::vector<double> us;
    us.reserve(static_cast<std::size_t>(repetitions));
    QElapsedTimer t;
    for (int i = 0; i < repetitions; ++i) {
        t.start();
        op();
        us.push_back(static_cast<double>(t.nsecsElapsed()) / 1000.0);
    }
    std::sort(us.begin(), us.end());
    const double mean = std::accumulate(us.begin(), us.end(), 0.0) / static_cast<double>(us.size());
    std::printf("%-44s median %9.1f us   mean %9.1f us   worst %9.1f us   (%d runs)\n", what,
                us[us.size() / 2], mean, us.back(), repetitions);
}

bool write_file(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    silent_prompts ask;
    app::window_seams seams{ask};
    seams.work_dir = dir.path();
    app::frm_thermometer window(seams);
    settings::inifile ini;
    ini.set_ini_dir(dir.path());

    // The file a save leaves during operation: the window restored from a
    // saved state, saved once.
    settings::save_window_state(window.controls(), ini);
    static_cast<void>(
        ini.ini_write(QStringLiteral("frm_thermometer.Text7.text"), QStringLiteral("2")));
    static_cast<void>(
        ini.ini_write(QStringLiteral("frm_thermometer.Text1.text"), QStringLiteral("24\u00BAC")));
    static_cast<void>(
        ini.ini_write(QStringLiteral("frm_thermometer.UpDown1.value"), QStringLiteral("40")));
    static_cast<void>(
        ini.ini_write(QStringLiteral("frm_thermometer.Check2.value"), QStringLiteral("1")));
    std::printf("settings file: %s, %lld bytes\n", qPrintable(ini.path()),
                static_cast<long long>(QFile(ini.path()).size()));

    measure("restore_window_state (22-key file)", repetitions, [&] {
        settings::restore_window_state(window.controls(), window.seams().work_dir, ini);
    });
    measure("save_window_state (write, fsync, rename)", repetitions,
            [&] { settings::save_window_state(window.controls(), ini); });
    measure("ini_read of one key", repetitions * 10, [&] {
        (void)ini.ini_read(QStringLiteral("frm_thermometer.UpDown2.value"), QStringLiteral("0"));
    });

    QByteArray big(settings::inifile::max_settings_size - 64, 'x');
    for (qsizetype i = 80; i < big.size(); i += 81)
        big[i] = '\n';
    if (!write_file(ini.path(), big))
        return 1;
    measure("restore_window_state (1 MiB, no VEZ)", std::max(1, repetitions / 10), [&] {
        settings::restore_window_state(window.controls(), window.seams().work_dir, ini);
    });
    return 0;
}
