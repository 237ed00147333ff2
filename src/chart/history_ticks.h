#pragma once

#include "chart/history_log.h"

#include <QString>
#include <cstdint>
#include <vector>

// Where the chart's time axis puts its labels and grid lines: on round local
// times (whole minutes, quarter hours, hours, midnights, Mondays, the first
// of a month) at a step that suits the span shown. Free of any widget.
namespace chart {

struct time_tick {
    std::int64_t time = 0; // UTC seconds
    QString label;
    friend bool operator==(const time_tick&, const time_tick&) = default;
};

// The ticks with from <= time <= to, at the shortest round step that keeps
// neighbours at least `min_gap` seconds apart. Within a day they are labelled
// by the time of day, and where a day begins by its date.
std::vector<time_tick> time_ticks(double from, double to, double min_gap, local_clock& clock);

} // namespace chart
