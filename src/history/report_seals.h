#pragma once

#include "chart/report_period.h"
#include "chart/report_settings.h"

#include <QString>
#include <vector>

// Each day of a report's period checked against the seal the monitor wrote
// for it in its journal: the day's lines of the log found again by their
// time and hashed.
namespace history {

class log_file;

// One text per day of `period`: "sealed, matches (lines A–B)", "changed
// since it was sealed (lines A–B)", "not sealed", … `size`: the log's bytes.
std::vector<QString> check_seals(const log_file& log, qint64 size,
                                 const chart::report_period& period,
                                 const std::vector<chart::day_seal>& seals);

} // namespace history
