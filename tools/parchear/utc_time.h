// The calendar time in UTC, the one time parchear writes: series and lock notes read the same
// on every operator's machine, whatever its time zone.
#pragma once

#include <ctime>

namespace parchear {

// Now, broken down in UTC.
std::tm UtcCalendarNow();

}  // namespace parchear
