#include "tools/parchear/utc_time.h"

namespace parchear {

std::tm UtcCalendarNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    return utc;
}

}  // namespace parchear
