// The download's message pump on Windows: dispatches every pending message of the thread.
#pragma once

#include <windows.h>

#include "updater/update/platform.h"

namespace window {

class Win32MessagePump final : public update::MessagePump {
public:
    // Looking at the queue costs a trip to the window server on some systems (tens of
    // microseconds under Wine), far more than a 1 KiB chunk takes to arrive; so the queue is
    // looked at once per interval at most. 10 ms keeps clicks and repaints immediate to the eye.
    explicit Win32MessagePump(ULONGLONG intervalMs = 10) : m_intervalMs(intervalMs) {}
    void ProcessPending() override;

private:
    ULONGLONG m_intervalMs;
    ULONGLONG m_last = 0;
};

}  // namespace window
