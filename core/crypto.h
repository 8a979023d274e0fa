// The cryptography both programs take from the platform: SHA-256 and ECDSA P-256 signatures
// (CNG on Windows, OpenSSL natively). Nothing here is implemented by hand.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_system.h"

namespace core::crypto {

using Sha256Digest = std::array<std::uint8_t, 32>;
// An uncompressed P-256 point: 0x04, X, Y (32 bytes each, big-endian).
using PublicPoint = std::array<std::uint8_t, 65>;
// r and s, 32 bytes each, big-endian.
using Signature = std::array<std::uint8_t, 64>;
// The secret scalar d, 32 bytes big-endian.
using PrivateScalar = std::array<std::uint8_t, 32>;

// The platform's cryptography failed (no provider, no memory, a refused key). Not a file error,
// so not a RuntimeError: each caller turns it into its own refusal. what() is the Spanish cause.
class Failure : public std::runtime_error {
public:
    // operation: what was being computed ("SHA-256", "firma").
    explicit Failure(const std::string& operation);
};

// SHA-256 over data given in pieces.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void Update(const void* data, std::size_t size);
    // The digest of everything given; the object then starts over, so that one serves many files.
    Sha256Digest Finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

Sha256Digest Sha256Of(std::string_view bytes);
// The digest of a whole file, read in large pieces through the file seam.
Sha256Digest Sha256OfFile(FileSystem& fs, const std::string& path);
// The same with the caller's hash and buffer (its size is the piece read), kept from file to
// file; read, when given, hears of each piece once it is hashed.
Sha256Digest Sha256OfFile(FileSystem& fs, const std::string& path, Sha256& hash, std::vector<char>& buffer,
                          const std::function<void(std::size_t)>& read = {});

// True only when signature is a valid ECDSA P-256 / SHA-256 signature of message by key. A
// point that is not on the curve is simply not valid.
bool VerifyP256(const PublicPoint& key, std::string_view message, const Signature& signature);

// A key pair for signing (parchear only; Updater never holds a private key).
struct KeyPair {
    PrivateScalar d{};
    PublicPoint point{};
};

// A fresh key pair from the platform's random source.
KeyPair GenerateP256();
// Signs message. Both raise Failure when the platform fails, as do the hashes.
Signature SignP256(const KeyPair& key, std::string_view message);

// Lowercase hexadecimal text of bytes.
std::string HexOf(const std::uint8_t* bytes, std::size_t size);
template <std::size_t N>
std::string HexOf(const std::array<std::uint8_t, N>& bytes) {
    return HexOf(bytes.data(), N);
}

}  // namespace core::crypto
