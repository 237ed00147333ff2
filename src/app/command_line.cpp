#include "app/command_line.h"

#include "logging/logging.h"

#include <QtGlobal>
#include <cstdio>
#include <cstring>

namespace app::command_line {

namespace {

constexpr const char* help_text =
    "Usage: kestrova [Qt options]\n"
    "Monitors a two-channel temperature data logger on a serial port: both\n"
    "readings, thresholds with alarm lamps, a data log, and optionally\n"
    "desktop notifications and publishing on an MQTT broker.\n"
    "\n"
    "It works in the directory it is started in: the settings in Tarnwick.INI\n"
    "(sections [VEZ], [Ports], [MQTT], [Notify]), the data log in TARNWICK.txt.\n"
    "Without a display it runs without windows, as with QT_QPA_PLATFORM=offscreen,\n"
    "and every message is one line on standard error.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n"
    "Qt's standard options and environment variables apply. See kestrova(1).\n";

bool is(const char* arg, const char* name) {
    return std::strcmp(arg, name) == 0;
}

} // namespace

std::optional<int> answer_at_once(int argc, const char* const* argv, const char* version) {
    for (int i = 1; i < argc; ++i) {
        if (is(argv[i], "--help") || is(argv[i], "-h")) {
            std::fputs(help_text, stdout);
            return 0;
        }
        if (is(argv[i], "--version")) {
            std::printf("kestrova %s\n", version);
            return 0;
        }
    }
    return std::nullopt;
}

bool choose_offscreen_without_display(int argc, const char* const* argv) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    for (int i = 1; i < argc; ++i)
        if (is(argv[i], "-platform") || is(argv[i], "--platform"))
            return false;
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
#else
    // Windows and macOS always have their window system.
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return false;
#endif
}

void say_offscreen() {
    qCInfo(logging::log_app).noquote()
        << QStringLiteral("no display (DISPLAY and WAYLAND_DISPLAY are not set): running without "
                          "windows, as with QT_QPA_PLATFORM=offscreen");
}

std::optional<int> refuse_the_rest(const QStringList& arguments) {
    if (arguments.size() < 2)
        return std::nullopt;
    const QString& first = arguments.at(1);
    qCCritical(logging::log_app).noquote()
        << QStringLiteral("%1 %2 (see kestrova --help)")
               .arg(first.startsWith(u'-') ? QStringLiteral("unknown option")
                                           : QStringLiteral("unexpected argument"),
                    first);
    return 2;
}

} // namespace app::command_line
