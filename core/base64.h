// Standard base64 (RFC 4648 alphabet, '=' padding), as keys and signatures are written in text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

std::string Base64Encode(const std::uint8_t* bytes, std::size_t size);
// Only the canonical form is accepted: length a multiple of 4, padding only at the end, unused
// bits zero, nothing else (no blanks or line breaks). Nothing on any deviation.
std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text);

}  // namespace core
