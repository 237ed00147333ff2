#include "publish/alarm_judge.h"

#include "controls/display_box.h"
#include "controls/timer.h"
#include "publish/link_watch.h"
#include "rules/numbers.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>

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
    if (text == value_ || alarms::judge_threshold_text(text, QLocale()).what ==
                              alarms::threshold_verdict::kind::refuse)
        return;
    value_ = text;
    Q_EMIT settled();
}

alarm_judge::alarm_judge(const sensor_roles& sensors, const link_watch& link,
                         std::chrono::milliseconds settle_pause, QObject* parent)
    : QObject(parent)
    , sensors_(sensors)
    , link_(link) {
    for (std::size_t i = 0; i < watches_.size(); ++i) {
        watch& w = watches_[i];
        const sensor_role& s = sensors_[i];
        w.role = &s;
        w.high = std::make_unique<settled_text>(s.high_text, settle_pause);
        w.low = std::make_unique<settled_text>(s.low_text, settle_pause);
        const auto judge_this = [this, &w] { judge(w); };
        connect(s.reading, &display_box::textChanged, this, judge_this);
        // The lamps' own handler, connected first, has set the timer by now.
        connect(s.alarm_switch, &QCheckBox::stateChanged, this, judge_this);
        connect(w.high.get(), &settled_text::settled, this, judge_this);
        connect(w.low.get(), &settled_text::settled, this, judge_this);
        connect(&link_, &link_watch::changed, this, judge_this);
        judge(w);
    }
}

alarm_judge::~alarm_judge() = default;

void alarm_judge::judge(watch& w) {
    const sensor_role& s = *w.role;
    sensor_report r;
    r.current = link_.current(s.number);
    const auto value = alarms::reading_value(s.reading->text());
    // Readings are whole degrees 0 to 124; anything else carries none.
    if (r.current && value && *value >= 0 && *value <= 124)
        r.reading = rules::to_int32_half_even(*value);
    r.high = w.high->value();
    r.low = w.low->value();
    const QLocale locale;
    // The switch runs the lamp timer exactly while the alarm is on.
    r.state = alarms::judge_sensor(
        s.lamp_timer->enabled(), r.reading ? std::optional<double>(*r.reading) : std::nullopt,
        rules::read_decimal(r.high, locale), rules::read_decimal(r.low, locale));
    if (r == w.last)
        return;
    w.last = r;
    Q_EMIT changed(s.number);
}
