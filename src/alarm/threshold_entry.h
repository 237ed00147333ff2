#pragma once

#include <QLocale>
#include <QString>

class QLineEdit;
class prompts;
class updown;

// Threshold entry: each threshold field and the spin button beside it stay
// in step, and a threshold above 125 degrees is refused.
namespace alarms {

inline constexpr int threshold_limit = 125;
inline const QString threshold_limit_message = QStringLiteral("Maximum Temperature is 125\u00BAC");

// What a new threshold text asks of its spin button.
struct threshold_verdict {
    enum class kind {
        keep,     // not a number: the spin button stays as it is
        set_spin, // move the spin button to `spin`
        refuse,   // above the limit: tell the operator, then put the limit in the field
    };
    kind what = kind::keep;
    int spin = 0;

    friend bool operator==(const threshold_verdict&, const threshold_verdict&) = default;
};

// The rule for a threshold text: read as a decimal number with the locale's
// separator; above 125 refused; below 0 the spin button's lower end, 0;
// otherwise rounded half to even.
threshold_verdict judge_threshold_text(const QString& text, const QLocale& locale);

struct threshold_pair {
    QLineEdit* text;
    updown* spin;
};

// On change of the threshold text. Reads the number with the user's locale.
void on_threshold_text_changed(const threshold_pair& pair, prompts& ask);
// On change of the spin button's value: the field gets the plain decimal.
void on_threshold_spin_changed(const threshold_pair& pair);

} // namespace alarms
