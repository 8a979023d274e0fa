// Short texts read from the patch server with a single read: the patch count and GetStringJuego.
#pragma once

#include <cstdint>
#include <string>

#include "core/outcome.h"
#include "updater/update/http_client.h"

namespace update {

inline constexpr std::size_t kCountReadBytes = 3;
inline constexpr std::size_t kShortTextReadBytes = 255;

// ok: the server really sent a count. Otherwise count is 0 and reason says why, in Spanish.
struct CountFetch : core::Outcome {
    std::int16_t count = 0;
};

// The number at the start of the first three body bytes. Not fetched when the URL cannot be
// opened, the status is not 200, nothing is read, or the bytes start with no number.
// A count outside the 16-bit range raises Overflow.
CountFetch FetchCount(HttpClient& http, const std::string& url);

// The first bytes (at most 255, one read) of a resource; empty on any failure.
std::string FetchShortText(HttpClient& http, const std::string& url);

}  // namespace update
