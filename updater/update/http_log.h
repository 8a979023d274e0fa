// Every request Updater makes, in the log: what was asked and what the server answered.
#pragma once

#include <string>

#include "updater/update/http_client.h"
#include "updater/update/log.h"

namespace update {

// Passes every request on to another client and writes one line for it: the URL without
// credentials, the part asked for (Range, If-Range), then the status, Content-Length, ETag,
// Last-Modified and Content-Range; or why it was not opened, with the system's code. The end of
// a body read to its last byte, or cut off, gets a line of its own with the bytes read.
class LoggedHttpClient final : public HttpClient {
public:
    LoggedHttpClient(HttpClient& inner, Log& log) : m_inner(inner), m_log(log) {}
    OpenResult Open(const std::string& url) override;
    OpenResult OpenRange(const std::string& url, const RangeRequest& range) override;
    OpenResult OpenPart(const std::string& url, std::uint64_t first, std::uint64_t last) override;
    unsigned long LastSystemError() const override { return m_inner.LastSystemError(); }
    void SetDeadline(std::uint64_t atMs) override { m_inner.SetDeadline(atMs); }

private:
    // asked: the part asked for, as the log shows it.
    OpenResult Logged(const std::string& url, const std::string& asked, OpenResult opened);
    HttpClient& m_inner;
    Log& m_log;
};

}  // namespace update
