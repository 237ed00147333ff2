#pragma once

#include "rules/port_map.h"

namespace settings {

class inifile;

// The devices of ports 1..4: the platform's defaults, each overridden by a
// non-empty key "1".."4" of section "Ports" in the settings file. The
// program only reads this section.
rules::port_map read_port_map(const inifile& ini);

} // namespace settings
