#pragma once

#include "chart/history_stats.h"

#include <QColor>
#include <QString>
#include <cstdint>

// How the history chart and its report colour the sensors and write times,
// readings and figures.
namespace history {

// The colours of the main window's sensor group captions.
inline const QColor sensor1_colour(0x00, 0x00, 0xC0);
inline const QColor sensor2_colour(0x80, 0x00, 0x00);
inline const QColor& sensor_colour(int sensor) {
    return sensor == 0 ? sensor1_colour : sensor2_colour;
}

// "°C", after a reading and on the value scale.
QString degrees();
// The figures of the status line for one sensor.
QString summary_text(const QString& name, const chart::sensor_summary& s);
// "2026-12-05 21:10:05" in local time, as the report writes it.
QString time_text(double utc_seconds);
// "23 °C", or "- -" without a reading.
QString reading_text(std::uint8_t value);
// "Freezer A high 30 °C": a threshold line's label.
QString threshold_label(const QString& name, const char* which, double value);

} // namespace history
