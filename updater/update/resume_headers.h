// What a resumed download reads from response headers: the file's validator, where a 206's
// part lies, how long the server asks to wait, and which statuses are worth another attempt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "updater/update/http_client.h"

namespace update {

// A strong ETag; with no ETag at all, the Last-Modified date. Nothing with a weak ETag or
// neither, or a value too long or odd to store.
std::optional<std::string> StrongValidator(HttpResponse& response);

struct ContentRange {
    std::uint64_t first = 0, last = 0, total = 0;
};
// "bytes first-last/total" with first <= last < total; nothing otherwise (also for "*").
std::optional<ContentRange> ParseContentRange(std::string_view text);

// Retry-After in whole seconds (an HTTP date is not used); nothing when absent or not a number.
std::optional<unsigned> RetryAfterSeconds(HttpResponse& response);

// 408, 429, 500, 502, 503, 504: the server may answer otherwise in a moment.
bool IsTransientStatus(int status);

}  // namespace update
