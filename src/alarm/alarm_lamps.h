#pragma once

#include "app/frm_thermometer.h"

#include <QColor>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

// Alarm indication: two lamps per sensor, recoloured by a 100 ms timer while
// the sensor's alarm switch is on, white while it is off.
namespace alarms {

enum class lamp_state { alarm, normal, off };
enum class lamp_row { high, low };

// Colours as the platform value 0x00BBGGRR, red in the low byte.
inline constexpr std::uint32_t alarm_value = 0x0000FF;
inline constexpr std::uint32_t normal_value = 0x008000;
inline constexpr std::uint32_t off_value = 0xFFFFFF;

QColor from_platform_value(std::uint32_t bgr);
QColor lamp_color(lamp_state s);
// What the lamp shows, in words, for its accessible description and tooltip.
QString lamp_description(lamp_state s, lamp_row row);

// The whole number in front of "ºC" in a reading text; nullopt for " - - ",
// an empty field or anything else that carries no reading.
std::optional<double> reading_value(const QString& reading);

// A comparison that lacks either number shows the alarm: a missing reading
// or threshold is itself a condition the operator must look at.
lamp_state high_lamp_state(std::optional<double> reading, std::optional<double> threshold);
lamp_state low_lamp_state(std::optional<double> reading, std::optional<double> threshold);

// Sets the lamp's colour and keeps its description and tooltip in step.
// Costs nothing when the lamp already shows that state.
void show_lamp(shape* lamp, lamp_state s, lamp_row row);

// One sensor's alarm controls.
struct sensor_alarm {
    QCheckBox* check;
    ::timer* timer;
    // Whatever kind of box the window shows the reading in.
    decltype(thermometer_controls::Text2) reading;
    QLineEdit* high_text;
    shape* high_lamp;
    QLineEdit* low_text;
    shape* low_lamp;
};

// On click of the alarm switch (also for programmatic changes and at the
// end of start-up): 1 starts the timer, 0 stops it and whitens both lamps,
// 2 changes nothing.
void on_alarm_switch_clicked(const sensor_alarm& s);
// On tick of the sensor's timer: recolours both lamps from the texts.
void on_alarm_tick(const sensor_alarm& s);

} // namespace alarms
