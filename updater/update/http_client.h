// The HTTP seam: one synchronous GET at a time, as the patch server is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/outcome.h"

namespace update {

// The one status that carries a whole resource.
inline constexpr int kHttpOk = 200;
// The status of a part of a resource, answering Range.
inline constexpr int kHttpPartial = 206;

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

// The response headers a resumed download looks at.
enum class Header { ContentRange, ETag, LastModified, RetryAfter };

// An opened URL: headers are known, the body can be read.
class HttpResponse {
public:
    virtual ~HttpResponse() = default;
    // HTTP status code, 0 when the server sent none that could be read.
    virtual int StatusCode() = 0;
    // The Content-Length header as text; nothing when the response has none.
    virtual std::optional<std::string> ContentLengthText() = 0;
    // Another header's value as text; nothing when absent (or not offered by this client).
    virtual std::optional<std::string> HeaderText(Header) { return std::nullopt; }
    // One read of at most size bytes.
    virtual ReadResult Read(void* buffer, std::size_t size) = 0;
};

// Why a URL could not be opened: a failure that may pass if tried again (reset, time-out) or not.
enum class OpenFault { Lasting, Transient };

// Opened: ok with the response as value. Not opened: !ok, no response, and the Spanish reason.
using OpenResult = core::Result<std::unique_ptr<HttpResponse>, OpenFault>;

// The rest of a resource from byte `from` on, only while it is still the version `ifRange`
// names (a strong ETag or a Last-Modified date); otherwise the server sends it whole.
struct RangeRequest {
    std::uint64_t from = 0;
    std::string ifRange;
};

class HttpClient {
public:
    virtual ~HttpClient() = default;
    // Opens the URL (session and request), following no https -> http redirect.
    virtual OpenResult Open(const std::string& url) = 0;
    // Open with Range and If-Range. A client that cannot ask for a part behaves as a server
    // that ignores Range: the whole resource with 200.
    virtual OpenResult OpenRange(const std::string& url, const RangeRequest&) { return Open(url); }
    // Open with "Range: bytes=first-last" alone: one part of the resource, whatever its version
    // (the caller checks the part against what it knows of the resource). A client that cannot
    // ask for a part behaves as a server that ignores Range: the whole resource with 200.
    virtual OpenResult OpenPart(const std::string& url, std::uint64_t /*first*/, std::uint64_t /*last*/) {
        return Open(url);
    }
    // The platform's error code behind the last Open or OpenRange that failed, for the log; 0
    // when there was none or the client cannot say.
    virtual unsigned long LastSystemError() const { return 0; }
    // The time of the Platform's clock by which every call from now on (opening, and reading
    // its response) must return, 0 for the client's own time-outs alone. A connection or
    // headers still awaited then fail as a transient time-out, a read as TimedOut.
    virtual void SetDeadline(std::uint64_t /*atMs*/) {}
};

// Every call of a client within the scope returns by atMs; the limit ends with the scope.
class DeadlineScope {
public:
    DeadlineScope(HttpClient& client, std::uint64_t atMs) : m_client(client) { m_client.SetDeadline(atMs); }
    ~DeadlineScope() { m_client.SetDeadline(0); }
    DeadlineScope(const DeadlineScope&) = delete;
    DeadlineScope& operator=(const DeadlineScope&) = delete;

private:
    HttpClient& m_client;
};

}  // namespace update
