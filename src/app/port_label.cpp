#include "app/port_label.h"

#include <QLabel>

namespace app {

void show_port_state(QLabel* label, const serial::port_keeper::state& s,
                     const QString& publishing) {
    QStringList tip;
    if (s.port != 0) {
        QPalette p = label->palette();
        if (s.open) {
            tip << QStringLiteral("Port %1 (%2) is open").arg(s.port).arg(s.device);
            p.setColor(QPalette::WindowText, QColor(0x00, 0x60, 0x00));
        } else {
            tip << QStringLiteral("Port %1 (%2) is not open: %3. Trying again every second.")
                       .arg(s.port)
                       .arg(s.device, s.reason);
            p.setColor(QPalette::WindowText, QColor(0xC0, 0x00, 0x00));
        }
        label->setPalette(p);
    }
    if (!publishing.isEmpty())
        tip << publishing;
    label->setToolTip(tip.join(u'\n'));
}

} // namespace app
