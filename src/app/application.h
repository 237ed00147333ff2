#pragma once

class QApplication;

namespace app {

// Before the QApplication exists: a session bus that does not answer is
// kept off for this run, said once, so that Qt's screen reader bridge does
// not wait for it on the window thread.
void keep_off_a_silent_session_bus();

// Starts the monitor and runs it until it ends; returns the exit code.
int run_kestrova(QApplication& app);

} // namespace app
