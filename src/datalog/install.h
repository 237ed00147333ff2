#pragma once

#include "datalog/logging_role.h"

#include <QDateTime>
#include <QString>
#include <functional>

namespace datalog {

// Wires the sample-time options to the sampling period and Timer1's tick to
// the data log in `dir`, dated by `clock`.
void install(const logging_role& log, const QString& dir, std::function<QDateTime()> clock);

} // namespace datalog
