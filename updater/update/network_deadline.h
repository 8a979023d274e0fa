// How long the network may keep a player waiting: the limit of each call, the budget of a
// download that makes no progress across its attempts, and the pace an attempt must keep.
#pragma once

#include <cstddef>
#include <cstdint>

namespace update {

// One call (connection and headers, or one read) that brings nothing back.
inline constexpr std::uint64_t kCallTimeoutMs = 30000;
// A download without progress, across its attempts and the waits between them, is given up
// after this; the count and the signed list must arrive whole within it.
inline constexpr std::uint64_t kGiveUpMs = 90000;
// An attempt must bring kMinBytesPerSecond on average over each window of this length.
inline constexpr std::uint64_t kPaceWindowMs = 60000;
inline constexpr std::uint64_t kMinBytesPerSecond = 1000;

// The limits above as one set: the players' values, or (test builds only) all of them divided
// by one factor, so that a test can watch a stalled server being given up in seconds.
struct NetworkLimits {
    std::uint64_t callMs = kCallTimeoutMs;
    std::uint64_t giveUpMs = kGiveUpMs;
    std::uint64_t paceWindowMs = kPaceWindowMs;
    // The same set with every time divided by divisor (at least 1).
    NetworkLimits DividedBy(std::uint64_t divisor) const;
};

// One download's progress over its attempts. Bytes beyond any the download had before count
// as progress only while the attempt keeps the pace: a host that sends a byte now and then
// neither resets the count of attempts nor keeps the download alive past the budget.
class ProgressWatch {
public:
    explicit ProgressWatch(std::uint64_t nowMs, const NetworkLimits& limits = {}) : m_limits(limits), m_since(nowMs) {}
    // An attempt's body begins (its first window) or ends (no window).
    void BodyStarts(std::uint64_t nowMs);
    void BodyEnds() { m_inBody = false; }
    // count bytes arrived at nowMs; fresh when they go beyond what the download ever had.
    void Arrived(std::size_t count, bool fresh, std::uint64_t nowMs);
    // False once a window has run out below the pace; a window that kept it opens the next.
    bool KeepsPace(std::uint64_t nowMs);
    // When the call that starts at nowMs must have returned.
    std::uint64_t CallDeadline(std::uint64_t nowMs) const;
    // Whether the budget without progress is spent by atMs.
    bool Spent(std::uint64_t atMs) const { return atMs >= m_since + m_limits.giveUpMs; }
    // Whether there was progress since the last time this was asked.
    bool TakeProgress();

private:
    bool AtPace(std::uint64_t nowMs) const;
    std::uint64_t WindowBytes() const;

    NetworkLimits m_limits;
    std::uint64_t m_since;  // the start of the time without progress
    bool m_progress = false;
    bool m_inBody = false;
    std::uint64_t m_windowStart = 0;
    std::uint64_t m_windowBytes = 0;
};

}  // namespace update
