#pragma once

#include "rules/decoder.h"

class QString;

namespace controls {
class display_box;
} // namespace controls
namespace serial {
class comm_control;
} // namespace serial

namespace app {

// The fields one port event touches.
struct port_event_fields {
    serial::comm_control* comm;
    controls::display_box* state;   // Text8
    controls::display_box* sensor1; // Text2
    controls::display_box* sensor2; // Text1
    QString* caption;               // the window caption, shown by the window
};

// The handler of every port event of MSComm1: decodes a received byte into
// the decoder state or a reading field, re-arms the receive notification and
// rebuilds the window caption. Answers which reading field the byte went to.
rules::decoder::target on_port_event(const port_event_fields& f);

} // namespace app
