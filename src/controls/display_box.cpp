#include "controls/display_box.h"

#include "controls/accessible.h"

#include <QAccessible>
#include <QPainter>
#include <utility>

namespace controls {

display_box::display_box(QWidget* parent)
    : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::TabFocus);
    install_accessible_controls();
}

void display_box::setText(const QString& text) {
    if (text == text_)
        return;
    const QString old = std::exchange(text_, text);
    update();
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent event(this, 0, spoken_text(old), spoken_text(text_));
        QAccessible::updateAccessibility(&event);
    }
    Q_EMIT textChanged(text_);
}

QSize display_box::sizeHint() const {
    return {fontMetrics().horizontalAdvance(text_) + 8, fontMetrics().height() + 6};
}

void display_box::mouseDoubleClickEvent(QMouseEvent* event) {
    QFrame::mouseDoubleClickEvent(event);
    Q_EMIT double_clicked();
}

void display_box::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter p(this);
    p.setPen(palette().color(QPalette::Text));
    p.drawText(contentsRect().adjusted(4, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, text_);
}

} // namespace controls
