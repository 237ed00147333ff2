#pragma once

#include <QString>
#include <optional>

class QObject;
class QCheckBox;

// Uniform access to the three properties the settings walk knows (Text,
// Caption, Value) over whatever Qt object stands for a control. A control
// that lacks a property answers nullopt / false, which the walk treats as a
// step that fails and skips.
namespace controls {

// The kinds the settings walk tells apart; every other control is "other".
enum class control_kind {
    text_box,
    combo_box,
    check_box,
    option_button,
    other,
};

control_kind kind_of(const QObject* control);

std::optional<QString> text_of(const QObject* control);
bool set_text(QObject* control, const QString& text);

std::optional<QString> caption_of(const QObject* control);
bool set_caption(QObject* control, const QString& caption);

// The text form of Value: the decimal number for check boxes and spin
// buttons, "True" or "False" for option and command buttons.
std::optional<QString> value_text_of(const QObject* control);
// Puts a number into Value. A value the control cannot hold (a fraction or
// out-of-range number for a spin button, a check box state beyond 0..2, NaN
// or infinity) is refused and leaves the control as it was.
bool set_value(QObject* control, double value);
// Value as a number: check box 0/1/2, option and command buttons 1/0, spin
// button its position.
std::optional<int> value_of(const QObject* control);

// Check box states as the program counts them: 0 cleared, 1 checked, 2 greyed.
int check_value(const QCheckBox* box);
void set_check_value(QCheckBox* box, int value);

} // namespace controls
