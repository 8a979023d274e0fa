#include "updater/update/network_deadline.h"

#include <algorithm>

namespace update {

NetworkLimits NetworkLimits::DividedBy(std::uint64_t divisor) const {
    const std::uint64_t d = std::max<std::uint64_t>(divisor, 1);
    return {callMs / d, giveUpMs / d, paceWindowMs / d};
}

void ProgressWatch::BodyStarts(std::uint64_t nowMs) {
    m_inBody = true;
    m_windowStart = nowMs;
    m_windowBytes = 0;
}

void ProgressWatch::Arrived(std::size_t count, bool fresh, std::uint64_t nowMs) {
    m_windowBytes += count;
    if (fresh && AtPace(nowMs)) {
        m_since = nowMs;
        m_progress = true;
    }
}

bool ProgressWatch::KeepsPace(std::uint64_t nowMs) {
    if (!m_inBody || nowMs - m_windowStart < m_limits.paceWindowMs) return true;
    if (m_windowBytes < WindowBytes()) return false;
    m_windowStart = nowMs;
    m_windowBytes = 0;
    return true;
}

std::uint64_t ProgressWatch::CallDeadline(std::uint64_t nowMs) const {
    std::uint64_t deadline = std::min(nowMs + m_limits.callMs, m_since + m_limits.giveUpMs);
    // A read is cut at the end of a window that has not yet brought its bytes: a dripping
    // host cannot hold the attempt past it.
    if (m_inBody && m_windowBytes < WindowBytes()) deadline = std::min(deadline, m_windowStart + m_limits.paceWindowMs);
    return deadline;
}

bool ProgressWatch::TakeProgress() {
    const bool progress = m_progress;
    m_progress = false;
    return progress;
}

// The bytes a whole window must bring.
std::uint64_t ProgressWatch::WindowBytes() const { return kMinBytesPerSecond * m_limits.paceWindowMs / 1000; }

// The window's bytes so far average at least the pace over the time it has been open.
bool ProgressWatch::AtPace(std::uint64_t nowMs) const {
    return m_windowBytes * 1000 >= kMinBytesPerSecond * (nowMs - m_windowStart);
}

}  // namespace update
