// One range of a patch archive read with a single-range GET ("Range: bytes=a-b"; many CDNs do
// not serve several ranges in one response), taken only when the server sends exactly it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/file_system.h"
#include "core/outcome.h"
#include "updater/update/catch_up_plan.h"
#include "updater/update/http_client.h"

namespace update {

enum class RangeFault {
    Whole,    // the server answered 200: it does not serve ranges, so this patch goes whole
    Network,  // no connection, a body that broke, stopped or came short, a status worth retrying
    Refused,  // 416, another status, another part than asked, more bytes than asked
    Write,    // out could not take the bytes
};
using RangeFetch = core::Result<std::monostate, RangeFault>;

// Called after each read with the bytes of the range received so far.
using RangeProgress = std::function<void(std::uint64_t received)>;

// Writes the bytes range of url (an archive of archiveSize bytes, as the signed list gives it)
// to out: only from a 206 whose Content-Range is exactly that range of archiveSize bytes, whose
// Content-Length (when sent) is the range's, and whose body is exactly as long. out never gets
// more than range.length bytes, nor the body of any other answer; what it got is the caller's
// to drop on failure. A range that is empty or past archiveSize is Refused unasked.
RangeFetch FetchRange(HttpClient& http, const std::string& url, ByteRange range, std::uint64_t archiveSize,
                      core::FileWriter& out, const RangeProgress& progress = {});

}  // namespace update
