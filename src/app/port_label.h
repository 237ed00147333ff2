#pragma once

#include "serial/port_keeper.h"

class QLabel;

namespace app {

// Label8 shows the port number as before; its colour and tooltip tell
// whether the chosen port is open and, if not, why. The tooltip's second line
// says how publishing goes, when it is on.
void show_port_state(QLabel* label, const serial::port_keeper::state& s, const QString& publishing);

} // namespace app
