#include "alarm/threshold_entry.h"

#include "controls/prompts.h"
#include "controls/updown.h"

#include <QLineEdit>

namespace alarms {

using rules::alarms::threshold_verdict;

void on_threshold_text_changed(const threshold_pair& pair, controls::prompts& ask) {
    const threshold_verdict v = rules::alarms::judge_threshold_text(pair.text->text(), QLocale());
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
        ask.message(rules::alarms::threshold_limit_message);
        pair.text->setText(QString::number(rules::alarms::threshold_limit));
        break;
    }
}

void on_threshold_spin_changed(const threshold_pair& pair) {
    pair.text->setText(QString::number(pair.spin->value()));
}

} // namespace alarms
