// 64-bit FNV-1a: a quick, non-cryptographic hash of bytes, for lookups and names within one run.
#pragma once

#include <cstdint>

namespace core {

inline constexpr std::uint64_t kFnv1aOffsetBasis = 14695981039346656037ull;

// The hash so far extended by one byte.
constexpr std::uint64_t Fnv1aStep(std::uint64_t hash, std::uint8_t byte) { return (hash ^ byte) * 1099511628211ull; }

}  // namespace core
