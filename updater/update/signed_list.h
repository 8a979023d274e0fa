// The signed patch list: parches/version.txt with, after the count that every Updater reads,
// the list's series number, each archive's size and SHA-256, and signatures over all of it.
//
//   7                       <- the count, as Updater always read it
//   firmado-vandrel 1
//   serie 20261209153000    <- grows with every publication
//   parche 1 <size> <sha256>
//   ...
//   firma <keyid> <base64 of r ‖ s>   <- one or more, over every byte before the first
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/crypto.h"
#include "updater/update/signed_text.h"

namespace update {

inline constexpr std::size_t kMaxListBytes = 1u << 20;
inline constexpr std::size_t kMaxTrustedKeys = 4;
// Updater reads an archive's Content-Length as a 32-bit signed number.
inline constexpr std::int64_t kMaxArchiveBytes = std::numeric_limits<std::int32_t>::max();
// The serie is read as at most 18 digits: the largest a list can carry.
inline constexpr std::int64_t kMaxSerie = 999'999'999'999'999'999;

struct ListedPatch {
    std::int64_t size = 0;
    std::string sha256;  // lowercase hex
};

struct SignedList {
    std::int16_t count = 0;
    std::int64_t serie = 0;
    std::vector<ListedPatch> patches;  // patches[n - 1] describes n.zip
    std::string signedPart;            // every byte before the first firma line
    std::vector<ListSignature> signatures;
};

// A public key as builds and operators write it: base64 of the 65-byte point.
std::string PublicKeyText(const core::crypto::PublicPoint& key);
std::optional<core::crypto::PublicPoint> ParsePublicKey(std::string_view text);

// The signed part of a list: count, header, serie and one parche line per archive.
std::string FormatListBody(std::int64_t serie, const std::vector<ListedPatch>& patches);
std::string FormatSignatureLine(const core::crypto::PublicPoint& key, const core::crypto::Signature& signature);

// Nothing unless text is exactly the form above: CR LF after every line, one blank between
// fields, numbers without signs or leading zeros, the count equal to the parche lines, and
// nothing after the last firma line. Signatures are not checked here.
std::optional<SignedList> ParseSignedList(std::string_view text);

// True when a signature by one of keys verifies over the signed part.
bool SignedByAny(const SignedList& list, const std::vector<core::crypto::PublicPoint>& keys);

}  // namespace update
