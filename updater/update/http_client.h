// The HTTP seam: one synchronous GET at a time, as the patch server is read.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "core/outcome.h"

namespace update {

enum class ReadStatus {
    Data,      // count > 0 bytes were read
    End,       // the body is complete
    Failed,    // the connection broke or the read failed
    TimedOut,  // the server stopped sending
};

struct ReadResult {
    ReadStatus status = ReadStatus::End;
    std::size_t count = 0;
    unsigned long systemError = 0;  // the platform's error code when Failed
};

// An opened URL: headers are known, the body can be read.
class HttpResponse {
public:
    virtual ~HttpResponse() = default;
    // HTTP status code, 0 when the server sent none that could be read.
    virtual int StatusCode() = 0;
    // The Content-Length header as text; nothing when the response has none.
    virtual std::optional<std::string> ContentLengthText() = 0;
    // One read of at most size bytes.
    virtual ReadResult Read(void* buffer, std::size_t size) = 0;
};

// Opened: ok with a response. Not opened: !ok, no response, and the Spanish reason.
struct OpenResult : core::Outcome {
    std::unique_ptr<HttpResponse> response;

    static OpenResult Opened(std::unique_ptr<HttpResponse> opened) {
        OpenResult result;
        result.response = std::move(opened);
        return result;
    }
    static OpenResult Failed(std::string why) {
        OpenResult result;
        result.ok = false;
        result.reason = std::move(why);
        return result;
    }
};

class HttpClient {
public:
    virtual ~HttpClient() = default;
    // Opens the URL (session and request), following no https -> http redirect.
    virtual OpenResult Open(const std::string& url) = 0;
};

}  // namespace update
