#pragma once

#include "datalog/logging_role.h"

namespace datalog {

// Sets Timer1's period from the four option buttons, on every call.
void apply_sample_interval(const logging_role& log);

} // namespace datalog
