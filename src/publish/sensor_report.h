#pragma once

#include "controls/roles.h"

#include <QString>
#include <optional>

class link_watch;

// One sensor as it leaves the machine, for the broker and the desktop alike:
// its reading while current (else none), and its alarm judged from that
// reading and the threshold texts at once (the lamps follow within a tick).
struct sensor_report {
    std::optional<int> reading;
    QString alarm; // "off", "no_reading", "high", "low" or "normal"
    bool current = false;
};

sensor_report report_sensor(const sensor_role& s, const link_watch& link);
