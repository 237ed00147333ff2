#include "alerts/settled_text.h"

#include "rules/alarm_rules.h"

#include <QFocusEvent>
#include <QLineEdit>

namespace alerts {

settled_text::settled_text(QLineEdit* field, std::chrono::milliseconds pause, QObject* parent)
    : QObject(parent)
    , field_(field)
    , value_(field->text()) {
    pause_.setSingleShot(true);
    pause_.setInterval(pause);
    connect(&pause_, &QTimer::timeout, this, &settled_text::settle);
    connect(field_, &QLineEdit::textChanged, this, &settled_text::on_text_changed);
    connect(field_, &QLineEdit::returnPressed, this, &settled_text::settle);
    field_->installEventFilter(this);
}

bool settled_text::eventFilter(QObject* watched, QEvent* event) {
    // A context menu or a completer over the field is not leaving it.
    if (watched == field_ && event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        settle();
    return false;
}

void settled_text::on_text_changed() {
    if (field_->hasFocus())
        pause_.start();
    else
        settle();
}

void settled_text::settle() {
    pause_.stop();
    const QString text = field_->text();
    if (text == value_ || rules::alarms::judge_threshold_text(text, QLocale()).what ==
                              rules::alarms::threshold_verdict::kind::refuse)
        return;
    value_ = text;
    Q_EMIT settled();
}

} // namespace alerts
