#pragma once

#include <QStringList>
#include <optional>

// The monitor's command line. It has no options of its own beyond --help and
// --version; Qt's standard ones (-platform, -style, ...) work as in every Qt
// program.
namespace app::command_line {

// --help or --version: answered on standard output before any window system
// or file is touched. The exit status, or nullopt to go on.
std::optional<int> answer_at_once(int argc, const char* const* argv, const char* version);

// Without any display (neither DISPLAY nor WAYLAND_DISPLAY) and no platform
// chosen, the monitor runs as with QT_QPA_PLATFORM=offscreen instead of
// failing to connect. True when it chose so; call before the application
// exists.
bool choose_offscreen_without_display(int argc, const char* const* argv);
// One line on standard error that says so.
void say_offscreen();

// What is left once Qt has taken its own options: anything is refused with
// one line on standard error. The exit status, or nullopt to go on.
std::optional<int> refuse_the_rest(const QStringList& arguments);

} // namespace app::command_line
