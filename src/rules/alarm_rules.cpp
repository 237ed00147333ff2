#include "rules/alarm_rules.h"

#include "rules/numbers.h"

namespace rules::alarms {

QString lamp_description(lamp_state s, lamp_row row) {
    switch (s) {
    case lamp_state::alarm:
        return row == lamp_row::high ? QStringLiteral("High alarm") : QStringLiteral("Low alarm");
    case lamp_state::normal:
        return QStringLiteral("Normal");
    case lamp_state::off:
        return QStringLiteral("Alarm off");
    }
    return {};
}

std::optional<double> reading_value(const QString& reading) {
    static const QString unit = QStringLiteral("\u00BAC");
    if (!reading.endsWith(unit))
        return std::nullopt;
    const QString digits = reading.chopped(unit.size());
    if (digits.isEmpty())
        return std::nullopt;
    for (QChar c : digits)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    // However many digits a restored text holds, this reads them safely.
    return rules::read_decimal(digits, QLocale::c());
}

lamp_state high_lamp_state(std::optional<double> reading, std::optional<double> threshold) {
    if (!reading || !threshold)
        return lamp_state::alarm;
    return *reading >= *threshold ? lamp_state::alarm : lamp_state::normal;
}

lamp_state low_lamp_state(std::optional<double> reading, std::optional<double> threshold) {
    if (!reading || !threshold)
        return lamp_state::alarm;
    return *reading <= *threshold ? lamp_state::alarm : lamp_state::normal;
}

sensor_judgement judge_sensor(bool alarm_on, std::optional<double> reading,
                              std::optional<double> high, std::optional<double> low) {
    if (!alarm_on)
        return {};
    sensor_judgement j{high_lamp_state(reading, high), low_lamp_state(reading, low),
                       sensor_state::normal};
    if (!reading)
        j.state = sensor_state::no_reading;
    else if (j.high == lamp_state::alarm)
        j.state = sensor_state::high;
    else if (j.low == lamp_state::alarm)
        j.state = sensor_state::low;
    return j;
}

threshold_verdict judge_threshold_text(const QString& text, const QLocale& locale) {
    using kind = threshold_verdict::kind;
    const std::optional<double> n = rules::read_decimal(text, locale);
    if (!n)
        return {kind::keep, 0};
    // The limit is compared before rounding: 125.4 is refused although it
    // would round to 125. Infinity is above it too.
    if (*n > threshold_limit)
        return {kind::refuse, 0};
    if (*n < 0)
        return {kind::set_spin, 0};
    // 0..125 always fits; value_or only guards the helper's contract.
    return {kind::set_spin, rules::to_int32_half_even(*n).value_or(0)};
}

} // namespace rules::alarms
