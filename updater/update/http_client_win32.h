// The HTTP seam on WinINet: HTTPS GETs with the system's proxy settings. Each request's
// blocking calls run on a worker thread while the calling thread keeps the window alive and
// gives the call up at its deadline.
#pragma once

#include <windows.h>

#include <cstdint>

#include "updater/update/http_client.h"
#include "updater/update/platform.h"

namespace update {

// What a thread waiting for WinINet needs: the pump that keeps its window alive (none: only
// wait), the clock deadlines are told in (none: the tick count) and the deadline (0: none).
struct NetworkWait {
    MessagePump* pump = nullptr;
    Clock* clock = nullptr;
    std::uint64_t deadlineMs = 0;
    std::uint64_t NowMs() const { return clock ? clock->NowMs() : ::GetTickCount64(); }
};

class WinInetClient final : public HttpClient {
public:
    // Connect, send and receive time-outs (the program uses 30 s), the window's pump and the
    // Platform's clock.
    explicit WinInetClient(DWORD timeoutMs = 30000, MessagePump* pump = nullptr, Clock* clock = nullptr)
        : m_timeoutMs(timeoutMs), m_wait{pump, clock, 0} {}
    OpenResult Open(const std::string& url) override;
    OpenResult OpenRange(const std::string& url, const RangeRequest& range) override;
    OpenResult OpenPart(const std::string& url, std::uint64_t first, std::uint64_t last) override;
    unsigned long LastSystemError() const override { return m_lastError; }
    void SetDeadline(std::uint64_t atMs) override { m_wait.deadlineMs = atMs; }

private:
    // One request with the extra headers given (each ending in CR LF; empty for none).
    OpenResult Attempt(const std::string& url, const std::string& requestHeaders);
    DWORD m_timeoutMs;
    DWORD m_lastError = 0;
    NetworkWait m_wait;  // read by this client's responses, which never outlive it
};

}  // namespace update
