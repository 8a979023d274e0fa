// What the signed texts Updater reads (version.txt, estado.txt) share: lines that each end in
// CR LF, fields at single blanks, plain decimals, and the firma lines that close the text, each
// an ECDSA P-256 signature over every byte before the first of them.
//
//   firma <keyid> <base64 of r ‖ s>   <- one or more, nothing after the last
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/crypto.h"

namespace update {

inline constexpr std::size_t kMaxSignatures = 16;

struct ListSignature {
    std::string keyId;
    core::crypto::Signature signature{};
};

// Exactly size characters, each 0-9 or a-f: how the list and Serie.ini write digests and key ids.
bool IsLowerHex(std::string_view text, std::size_t size);

// The first 16 hex digits of the SHA-256 of the point.
std::string KeyId(const core::crypto::PublicPoint& key);

// Splits text into lines that each ended in CR LF; nothing when a line ends otherwise or a CR
// or LF stands alone. The lines are views into text.
std::optional<std::vector<std::string_view>> SplitCrLfLines(std::string_view text);

// The line's fields split at each separator (a single blank unless given); empty fields
// (doubled separators, edges) stay empty.
std::vector<std::string_view> SplitFields(std::string_view line, char separator = ' ');

// A plain decimal of at most maxDigits digits: no sign, no blanks, no leading zero.
std::optional<std::int64_t> PlainDecimal(std::string_view text, std::size_t maxDigits);

struct TextSignatures {
    std::string signedPart;  // every byte before the first firma line
    std::vector<ListSignature> signatures;
};

// The signatures of text, whose lines (from SplitCrLfLines) are all firma lines from index
// first on; nothing when there are none, too many, or one is not exactly a firma line.
std::optional<TextSignatures> ReadSignatures(std::string_view text, const std::vector<std::string_view>& lines,
                                             std::size_t first);

// True when a signature by one of keys verifies over signedPart. Raises core::crypto::Failure
// when the platform's cryptography fails.
bool SignedByAny(std::string_view signedPart, const std::vector<ListSignature>& signatures,
                 const std::vector<core::crypto::PublicPoint>& keys);

}  // namespace update
