#pragma once

#include <QString>
#include <vector>

class QObject;

namespace settings {

class inifile;

// Puts every saved text, caption and value back into the main window's
// controls, given in the window's control order. Sets ini_dir to `dir`, the
// directory the program started in, first. Each restored value runs the
// control's own change handling at once; a step that fails skips only itself.
void restore_window_state(const std::vector<QObject*>& controls, const QString& dir, inifile& ini);

// Writes "FileId" and then every control's text or value, in the window's
// control order, with one replacement of the settings file.
void save_window_state(const std::vector<QObject*>& controls, inifile& ini);

} // namespace settings
