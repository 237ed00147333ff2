#include "alarm/threshold_entry.h"

#include "app/prompts.h"
#include "controls/numbers.h"
#include "controls/updown.h"

#include <QLineEdit>

namespace alarms {

threshold_verdict judge_threshold_text(const QString& text, const QLocale& locale) {
    using kind = threshold_verdict::kind;
    const std::optional<double> n = controls::read_decimal(text, locale);
    if (!n)
        return {kind::keep, 0};
    // The limit is compared before rounding: 125.4 is refused although it
    // would round to 125. Infinity is above it too.
    if (*n > threshold_limit)
        return {kind::refuse, 0};
    if (*n < 0)
        return {kind::set_spin, 0};
    // 0..125 always fits; value_or only guards the helper's contract.
    return {kind::set_spin, controls::to_int32_half_even(*n).value_or(0)};
}

void on_threshold_text_changed(const threshold_pair& pair, prompts& ask) {
    const threshold_verdict v = judge_threshold_text(pair.text->text(), QLocale());
    switch (v.what) {
    case threshold_verdict::kind::keep:
        break;
    case threshold_verdict::kind::set_spin:
        // Writes the plain form back into the field through the spin
        // button's own change, only if the value really moved.
        pair.spin->set_value(v.spin);
        break;
    case threshold_verdict::kind::refuse:
        // The refused text stays in the field while the box is up; the
        // new text then sets the spin button on the nested change.
        ask.message(threshold_limit_message);
        pair.text->setText(QString::number(threshold_limit));
        break;
    }
}

void on_threshold_spin_changed(const threshold_pair& pair) {
    pair.text->setText(QString::number(pair.spin->value()));
}

} // namespace alarms
