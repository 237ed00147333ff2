#pragma once

class QApplication;

namespace app {

// Starts the monitor and runs it until it ends; returns the exit code.
int run_kestrova(QApplication& app);

} // namespace app
