// The HTTP seam on WinINet: synchronous HTTPS GETs with the system's proxy settings.
#pragma once

#include <windows.h>

#include "updater/update/http_client.h"

namespace update {

class WinInetClient final : public HttpClient {
public:
    // Connect, send and receive time-outs; the program uses 30 s.
    explicit WinInetClient(DWORD timeoutMs = 30000) : m_timeoutMs(timeoutMs) {}
    OpenResult Open(const std::string& url) override;
    OpenResult OpenRange(const std::string& url, const RangeRequest& range) override;
    unsigned long LastSystemError() const override { return m_lastError; }

private:
    OpenResult Attempt(const std::string& url, const RangeRequest& range);
    DWORD m_timeoutMs;
    DWORD m_lastError = 0;
};

}  // namespace update
