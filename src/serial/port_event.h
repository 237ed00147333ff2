#pragma once

class comm_control;
class QLineEdit;
class QWidget;

namespace decoder {

// The fields one port event touches.
struct port_event_fields {
    comm_control* comm;
    QLineEdit* state;   // Text8
    QLineEdit* sensor1; // Text2
    QLineEdit* sensor2; // Text1
    QWidget* window;    // carries the caption
};

// The handler of every port event of MSComm1: decodes a received byte into
// the decoder state or a reading field, re-arms the receive notification and
// rebuilds the window caption.
void on_port_event(const port_event_fields& f);

} // namespace decoder
