#pragma once

#include "chart/history_series.h"
#include "chart/history_stats.h"
#include "chart/report_text.h"

#include <QString>
#include <array>

// What the history chart takes from the monitor's settings file beside the
// log: the sampling period, the sensors' names and, for each sensor whose
// alarm switch is on, its thresholds. The file is only ever read.
namespace history {

struct log_settings {
    chart::gap_rule gaps;
    std::array<chart::sensor_limits, 2> limits;
    std::array<QString, 2> names{QStringLiteral("Sensor 1"), QStringLiteral("Sensor 2")};

    friend bool operator==(const log_settings& a, const log_settings& b) {
        return a.gaps.period_seconds == b.gaps.period_seconds && a.names == b.names &&
               a.limits[0].high == b.limits[0].high && a.limits[0].low == b.limits[0].low &&
               a.limits[1].high == b.limits[1].high && a.limits[1].low == b.limits[1].low;
    }
};

// Tarnwick.INI in `dir`; a missing file or key gives a 5 s period, "Sensor 1"
// and "Sensor 2", and no thresholds.
log_settings read_log_settings(const QString& dir);

// Both sensors' alarm switches and thresholds, whether on or off.
std::array<chart::sensor_alarm, 2> read_alarm_settings(const QString& dir);

} // namespace history
