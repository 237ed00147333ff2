#pragma once

#include "rules/decoder.h"

class comm_control;
class display_box;
class QString;

namespace decoder {

// The fields one port event touches.
struct port_event_fields {
    comm_control* comm;
    display_box* state;   // Text8
    display_box* sensor1; // Text2
    display_box* sensor2; // Text1
    QString* caption;     // the window caption, shown by the window
};

// The handler of every port event of MSComm1: decodes a received byte into
// the decoder state or a reading field, re-arms the receive notification and
// rebuilds the window caption. Answers which reading field the byte went to.
target on_port_event(const port_event_fields& f);

} // namespace decoder
