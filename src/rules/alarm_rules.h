#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

// What the alarm lamps and the threshold fields decide, free of any widget.
namespace rules::alarms {

enum class lamp_state { alarm, normal, off };
enum class lamp_row { high, low };

// Colours as the platform value 0x00BBGGRR, red in the low byte.
inline constexpr std::uint32_t alarm_value = 0x0000FF;
inline constexpr std::uint32_t normal_value = 0x008000;
inline constexpr std::uint32_t off_value = 0xFFFFFF;

// What the lamp shows, in words, for its accessible description and tooltip.
QString lamp_description(lamp_state s, lamp_row row);

// The whole number in front of "ºC" in a reading text; nullopt for " - - ",
// an empty field or anything else that carries no reading.
std::optional<double> reading_value(const QString& reading);

// A comparison that lacks either number shows the alarm: a missing reading
// or threshold is itself a condition the operator must look at.
lamp_state high_lamp_state(std::optional<double> reading, std::optional<double> threshold);
lamp_state low_lamp_state(std::optional<double> reading, std::optional<double> threshold);

// A sensor's alarm as one state, for what leaves the machine: off while its
// switch is off, no_reading without a reading (one state, not a high and a
// low alarm at once), high or low while the reading has reached that
// threshold (the high lamp first), else normal.
enum class sensor_state { off, no_reading, high, low, normal };

// The one rule for a sensor's alarm: what each of its lamps shows and the
// state published and notified, from the alarm switch, the reading and the
// thresholds. The lamps take it from the texts as they stand; what leaves
// the machine takes it from settled facts (a current reading, settled
// thresholds).
struct sensor_judgement {
    lamp_state high = lamp_state::off;
    lamp_state low = lamp_state::off;
    sensor_state state = sensor_state::off;
    friend bool operator==(const sensor_judgement&, const sensor_judgement&) = default;
};
sensor_judgement judge_sensor(bool alarm_on, std::optional<double> reading,
                              std::optional<double> high, std::optional<double> low);

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

} // namespace rules::alarms
