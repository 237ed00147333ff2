#include "controls/shape.h"

#include "controls/accessible.h"

#include <QPainter>

namespace controls {

shape::shape(kind k, QColor fill, QColor border, QWidget* parent)
    : QWidget(parent)
    , kind_(k)
    , fill_(fill)
    , border_(border) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    install_accessible_controls();
}

void shape::set_fill_color(QColor c) {
    if (c == fill_)
        return;
    fill_ = c;
    update();
    Q_EMIT fill_changed(fill_);
}

void shape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(border_, 1));
    p.setBrush(fill_);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (kind_ == kind::circle)
        p.drawEllipse(r);
    else
        p.drawRoundedRect(r, 8, 8);
}

} // namespace controls
