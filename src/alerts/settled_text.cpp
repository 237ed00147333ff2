#include "alerts/settled_text.h"

#include "controls/updown.h"
#include "rules/alarm_rules.h"
#include "rules/numbers.h"

#include <QFocusEvent>
#include <QLineEdit>

namespace alerts {

settled_text::settled_text(QLineEdit* field, controls::updown* spin,
                           std::chrono::milliseconds pause, QObject* parent)
    : QObject(parent)
    , field_(field)
    , spin_(spin)
    , value_(field->text())
    , number_(rules::read_decimal(value_, QLocale())) {
    pause_.setSingleShot(true);
    pause_.setInterval(pause);
    connect(&pause_, &QTimer::timeout, this, &settled_text::settle);
    connect(field_, &QLineEdit::textChanged, this, &settled_text::on_text_changed);
    connect(field_, &QLineEdit::returnPressed, this, &settled_text::settle);
    field_->installEventFilter(this);
    if (spin_) {
        // A step writes the field next; that change waits like a typed one.
        connect(spin_, &controls::updown::stepped, this, [this] {
            stepping_ = true;
            pause_.start();
        });
        spin_->installEventFilter(this);
    }
}

bool settled_text::eventFilter(QObject* watched, QEvent* event) {
    // A context menu or a completer over the field is not leaving it.
    if (event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
        (watched == field_ || (watched == spin_ && stepping_)))
        settle();
    return false;
}

void settled_text::on_text_changed() {
    if (field_->hasFocus() || stepping_)
        pause_.start();
    else
        settle();
}

void settled_text::settle() {
    pause_.stop();
    stepping_ = false;
    const QString text = field_->text();
    if (text == value_ || rules::alarms::judge_threshold_text(text, QLocale()).what ==
                              rules::alarms::threshold_verdict::kind::refuse)
        return;
    value_ = text;
    number_ = rules::read_decimal(text, QLocale());
    Q_EMIT settled();
}

} // namespace alerts
