#include "app/port_event.h"

#include "controls/display_box.h"
#include "rules/decoder.h"
#include "serial/comm_control.h"

#include <QString>

namespace app {

using rules::decoder::target;

target on_port_event(const port_event_fields& f) {
    target written = target::none;
    if (f.comm->comm_event() == serial::comm_control::ev_receive) {
        const QByteArray in = f.comm->input();
        f.comm->set_rthreshold(0);
        f.comm->set_input_len(0);
        // An empty read carries no byte; it only re-arms and re-captions.
        if (!in.isEmpty()) {
            const int code = static_cast<unsigned char>(in.front());
            const rules::decoder::step s = rules::decoder::decode(f.state->text(), code);
            if (s.new_state)
                f.state->setText(*s.new_state);
            if (s.field == target::sensor1)
                f.sensor1->setText(s.text);
            else if (s.field == target::sensor2)
                f.sensor2->setText(s.text);
            written = s.field;
        }
    }
    f.comm->set_rthreshold(1);
    f.comm->set_input_len(1);
    *f.caption = rules::decoder::caption(f.sensor1->text(), f.sensor2->text());
    return written;
}

} // namespace app
