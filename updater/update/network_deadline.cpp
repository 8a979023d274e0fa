#include "updater/update/network_deadline.h"

#include <algorithm>

namespace update {
namespace {

constexpr std::uint64_t kPaceWindowBytes = kMinBytesPerSecond * kPaceWindowMs / 1000;

}  // namespace

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
    if (!m_inBody || nowMs - m_windowStart < kPaceWindowMs) return true;
    if (m_windowBytes < kPaceWindowBytes) return false;
    m_windowStart = nowMs;
    m_windowBytes = 0;
    return true;
}

std::uint64_t ProgressWatch::CallDeadline(std::uint64_t nowMs) const {
    std::uint64_t deadline = std::min(nowMs + kCallTimeoutMs, m_since + kGiveUpMs);
    // A read is cut at the end of a window that has not yet brought its bytes: a dripping
    // host cannot hold the attempt past it.
    if (m_inBody && m_windowBytes < kPaceWindowBytes) deadline = std::min(deadline, m_windowStart + kPaceWindowMs);
    return deadline;
}

bool ProgressWatch::TakeProgress() {
    const bool progress = m_progress;
    m_progress = false;
    return progress;
}

// The window's bytes so far average at least the pace over the time it has been open.
bool ProgressWatch::AtPace(std::uint64_t nowMs) const {
    return m_windowBytes * 1000 >= kMinBytesPerSecond * (nowMs - m_windowStart);
}

}  // namespace update
