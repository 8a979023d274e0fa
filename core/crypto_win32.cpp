// The Windows build's cryptography: CNG (bcrypt.dll), present since Vista.
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <algorithm>
#include <vector>

#include "core/crypto.h"
#include "core/handle_win32.h"

namespace core::crypto {
namespace {

void CloseAlgorithm(BCRYPT_ALG_HANDLE h) { ::BCryptCloseAlgorithmProvider(h, 0); }
using UniqueAlgorithm = UniqueResource<NullIsEmpty<BCRYPT_ALG_HANDLE, CloseAlgorithm>>;
using UniqueHash = UniqueResource<NullIsEmpty<BCRYPT_HASH_HANDLE, ::BCryptDestroyHash>>;
using UniqueKey = UniqueResource<NullIsEmpty<BCRYPT_KEY_HANDLE, ::BCryptDestroyKey>>;

bool Ok(NTSTATUS status) { return status >= 0; }
[[noreturn]] void Fail(const char* what) { throw Failure(what); }

UniqueAlgorithm OpenAlgorithm(LPCWSTR name) {
    UniqueAlgorithm algorithm;
    if (!Ok(::BCryptOpenAlgorithmProvider(algorithm.Receive(), name, nullptr, 0))) Fail("CNG");
    return algorithm;
}

// BCRYPT_ECCKEY_BLOB followed by X, Y and, for a private blob, d.
std::vector<UCHAR> KeyBlob(ULONG magic, const PublicPoint& point, const PrivateScalar* d) {
    BCRYPT_ECCKEY_BLOB header{magic, 32};
    std::vector<UCHAR> blob(sizeof(header) + 64 + (d != nullptr ? 32 : 0));
    auto at = std::copy_n(reinterpret_cast<const UCHAR*>(&header), sizeof(header), blob.begin());
    at = std::copy_n(point.begin() + 1, 64, at);
    if (d != nullptr) std::copy_n(d->begin(), 32, at);
    return blob;
}

UniqueKey ImportKey(BCRYPT_ALG_HANDLE algorithm, LPCWSTR type, std::vector<UCHAR>& blob) {
    UniqueKey key;
    const NTSTATUS status =
        ::BCryptImportKeyPair(algorithm, nullptr, type, key.Receive(), blob.data(), static_cast<ULONG>(blob.size()), 0);
    std::fill(blob.begin(), blob.end(), 0);
    if (!Ok(status)) key.Reset();
    return key;
}

}  // namespace

struct Sha256::State {
    UniqueAlgorithm algorithm = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
    UniqueHash hash;
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {
    if (!Ok(::BCryptCreateHash(m_state->algorithm.Get(), m_state->hash.Receive(), nullptr, 0, nullptr, 0, 0)))
        Fail("SHA-256");
}
Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (size > 0) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        if (!Ok(::BCryptHashData(m_state->hash.Get(), bytes, piece, 0))) Fail("SHA-256");
        bytes += piece;
        size -= piece;
    }
}

Sha256Digest Sha256::Finish() {
    Sha256Digest digest{};
    if (!Ok(::BCryptFinishHash(m_state->hash.Get(), digest.data(), static_cast<ULONG>(digest.size()), 0)))
        Fail("SHA-256");
    // A new hash from the provider already open: starting over costs no provider load.
    if (!Ok(::BCryptCreateHash(m_state->algorithm.Get(), m_state->hash.Receive(), nullptr, 0, nullptr, 0, 0)))
        Fail("SHA-256");
    return digest;
}

bool VerifyP256(const PublicPoint& point, std::string_view message, const Signature& signature) {
    if (point[0] != 0x04) return false;
    const UniqueAlgorithm algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    std::vector<UCHAR> blob = KeyBlob(BCRYPT_ECDSA_PUBLIC_P256_MAGIC, point, nullptr);
    const UniqueKey key = ImportKey(algorithm.Get(), BCRYPT_ECCPUBLIC_BLOB, blob);
    if (!key) return false;
    Sha256Digest digest = Sha256Of(message);
    Signature copy = signature;
    return ::BCryptVerifySignature(key.Get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()), copy.data(),
                                   static_cast<ULONG>(copy.size()), 0) == 0;
}

KeyPair GenerateP256() {
    const UniqueAlgorithm algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    UniqueKey key;
    if (!Ok(::BCryptGenerateKeyPair(algorithm.Get(), key.Receive(), 256, 0)) ||
        !Ok(::BCryptFinalizeKeyPair(key.Get(), 0))) {
        Fail("P-256");
    }
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 3 * 32);
    ULONG size = 0;
    if (!Ok(::BCryptExportKey(key.Get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(), static_cast<ULONG>(blob.size()),
                              &size, 0)) ||
        size != blob.size()) {
        Fail("P-256");
    }
    KeyPair pair;
    pair.point[0] = 0x04;
    const UCHAR* at = blob.data() + sizeof(BCRYPT_ECCKEY_BLOB);
    std::copy_n(at, 64, pair.point.begin() + 1);
    std::copy_n(at + 64, 32, pair.d.begin());
    std::fill(blob.begin(), blob.end(), 0);
    return pair;
}

Signature SignP256(const KeyPair& pair, std::string_view message) {
    const UniqueAlgorithm algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    std::vector<UCHAR> blob = KeyBlob(BCRYPT_ECDSA_PRIVATE_P256_MAGIC, pair.point, &pair.d);
    const UniqueKey key = ImportKey(algorithm.Get(), BCRYPT_ECCPRIVATE_BLOB, blob);
    if (!key) Fail("clave P-256");
    Sha256Digest digest = Sha256Of(message);
    Signature signature{};
    ULONG size = 0;
    if (!Ok(::BCryptSignHash(key.Get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()), signature.data(),
                             static_cast<ULONG>(signature.size()), &size, 0)) ||
        size != signature.size()) {
        Fail("firma");
    }
    return signature;
}

}  // namespace core::crypto
