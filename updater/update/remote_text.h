// Short texts read from the patch server with a single read: the patch count and GetStringJuego's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/outcome.h"
#include "updater/update/http_client.h"

namespace update {

inline constexpr std::size_t kCountReadBytes = 3;
// The largest count that three bytes hold.
inline constexpr int kMaxPatchCount = 999;
inline constexpr std::size_t kShortTextReadBytes = 255;

// ok: the server really sent a count (the value). Otherwise the value is 0 and reason says why.
using CountFetch = core::Result<std::int16_t>;

// The number at the start of the first three body bytes. Not fetched when the URL cannot be
// opened, the status is not 200, nothing is read, or the bytes start with no number.
// A count outside the 16-bit range raises Overflow. Every call returns by deadlineMs (0: none).
CountFetch FetchCount(HttpClient& http, const std::string& url, std::uint64_t deadlineMs = 0);

// One read of at most size bytes of an opened response; empty when it brings nothing.
std::string ReadOnce(HttpResponse& response, std::size_t size);

// The whole body of an opened response; nothing when the transfer fails or the body is longer
// than limit (tooLong then says which).
std::optional<std::string> ReadWholeBody(HttpResponse& response, std::size_t limit, bool& tooLong);

}  // namespace update
