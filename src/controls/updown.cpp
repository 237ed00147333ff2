#include "controls/updown.h"

#include "controls/accessible.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>

namespace controls {

updown::updown(QWidget* parent)
    : QWidget(parent)
    , up_(new QToolButton(this))
    , down_(new QToolButton(this)) {
    setFocusPolicy(Qt::StrongFocus);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setIconSize(QSize(7, 7));
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    up_->setObjectName(QStringLiteral("up"));
    down_->setObjectName(QStringLiteral("down"));
    connect(up_, &QToolButton::clicked, this, [this] { step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
    install_accessible_controls();
}

void updown::set_accessible_subject(const QString& subject) {
    setAccessibleName(subject);
    const QString object = subject.left(1).toLower() + subject.mid(1);
    up_->setAccessibleName(QStringLiteral("Raise ") + object);
    down_->setAccessibleName(QStringLiteral("Lower ") + object);
}

bool updown::set_value(int v) {
    if (v < minimum_ || v > maximum_)
        return false;
    if (v != value_) {
        value_ = v;
        if (QAccessible::isActive()) {
            QAccessibleValueChangeEvent event(this, value_);
            QAccessible::updateAccessibility(&event);
        }
        Q_EMIT value_changed(value_);
    }
    return true;
}

void updown::step_by(int steps) {
    // The arrows stop at the ends of the range.
    const long long target = static_cast<long long>(value_) + steps;
    set_value(static_cast<int>(std::clamp<long long>(target, minimum_, maximum_)));
}

void updown::step(int steps) {
    Q_EMIT stepped();
    step_by(steps);
}

void updown::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        step(1);
        break;
    case Qt::Key_Down:
        step(-1);
        break;
    case Qt::Key_PageUp:
        step(10);
        break;
    case Qt::Key_PageDown:
        step(-10);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void updown::wheelEvent(QWheelEvent* event) {
    // One step a notch (15 degrees); a touchpad's small turns add up to one.
    wheel_ += event->angleDelta().y();
    const int steps = wheel_ / 120;
    wheel_ %= 120;
    if (steps != 0)
        step(steps);
    event->accept();
}

void updown::resizeEvent(QResizeEvent* event) {
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
    QWidget::resizeEvent(event);
}

} // namespace controls
