// The native build's cryptography: OpenSSL 3 through its EVP interface.
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <vector>

#include "core/crypto.h"
#include "core/key_file.h"

namespace core::crypto {
namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using PKey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using EcSig = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG, ECDSA_SIG_free>>;
using Bignum = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;

[[noreturn]] void Fail(const char* what) { throw Failure(what); }

// SubjectPublicKeyInfo for a P-256 point, up to the point itself.
constexpr std::uint8_t kSpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01,
                                        0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};

PKey PublicKeyOf(const PublicPoint& point) {
    std::vector<std::uint8_t> der(sizeof(kSpkiPrefix) + point.size());
    std::copy_n(point.begin(), point.size(), std::copy_n(kSpkiPrefix, sizeof(kSpkiPrefix), der.begin()));
    const unsigned char* p = der.data();
    return PKey(d2i_PUBKEY(nullptr, &p, static_cast<long>(der.size())));
}

}  // namespace

struct Sha256::State {
    MdCtx ctx{EVP_MD_CTX_new()};
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {
    if (!m_state->ctx || EVP_DigestInit_ex(m_state->ctx.get(), EVP_sha256(), nullptr) != 1) Fail("SHA-256");
}
Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
    if (EVP_DigestUpdate(m_state->ctx.get(), data, size) != 1) Fail("SHA-256");
}

Sha256Digest Sha256::Finish() {
    Sha256Digest digest{};
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(m_state->ctx.get(), digest.data(), &size) != 1 || size != digest.size()) Fail("SHA-256");
    if (EVP_DigestInit_ex(m_state->ctx.get(), EVP_sha256(), nullptr) != 1) Fail("SHA-256");
    return digest;
}

bool VerifyP256(const PublicPoint& key, std::string_view message, const Signature& signature) {
    const PKey pkey = PublicKeyOf(key);
    if (!pkey) return false;
    EcSig sig(ECDSA_SIG_new());
    Bignum r(BN_bin2bn(signature.data(), 32, nullptr)), s(BN_bin2bn(signature.data() + 32, 32, nullptr));
    if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r.get(), s.get()) != 1) return false;
    r.release();
    s.release();
    unsigned char* der = nullptr;
    const int derSize = i2d_ECDSA_SIG(sig.get(), &der);
    if (derSize <= 0) return false;
    const std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(der,
                                                                         [](unsigned char* p) { OPENSSL_free(p); });
    const MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, pkey.get()) != 1) return false;
    return EVP_DigestVerify(ctx.get(), der, static_cast<std::size_t>(derSize),
                            reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

KeyPair GenerateP256() {
    const PKey pkey(EVP_EC_gen("P-256"));
    if (!pkey) Fail("P-256");
    KeyPair key;
    std::size_t size = 0;
    if (EVP_PKEY_get_octet_string_param(pkey.get(), "pub", key.point.data(), key.point.size(), &size) != 1 ||
        size != key.point.size() || key.point[0] != 0x04) {
        Fail("P-256");
    }
    BIGNUM* d = nullptr;
    if (EVP_PKEY_get_bn_param(pkey.get(), "priv", &d) != 1) Fail("P-256");
    const Bignum owned(d);
    if (BN_bn2binpad(d, key.d.data(), static_cast<int>(key.d.size())) != static_cast<int>(key.d.size())) Fail("P-256");
    return key;
}

Signature SignP256(const KeyPair& key, std::string_view message) {
    // The key reaches OpenSSL as the same PKCS#8 bytes the key file holds.
    std::vector<std::uint8_t> der = PrivateKeyDer(key);
    const unsigned char* p = der.data();
    const PKey pkey(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(der.size())));
    std::fill(der.begin(), der.end(), 0);
    if (!pkey) Fail("clave P-256");
    const MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, pkey.get()) != 1) Fail("firma");
    std::size_t size = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
    if (EVP_DigestSign(ctx.get(), nullptr, &size, bytes, message.size()) != 1) Fail("firma");
    std::vector<unsigned char> out(size);
    if (EVP_DigestSign(ctx.get(), out.data(), &size, bytes, message.size()) != 1) Fail("firma");
    const unsigned char* q = out.data();
    const EcSig sig(d2i_ECDSA_SIG(nullptr, &q, static_cast<long>(size)));
    if (!sig) Fail("firma");
    Signature signature{};
    if (BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), signature.data(), 32) != 32 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), signature.data() + 32, 32) != 32) {
        Fail("firma");
    }
    return signature;
}

}  // namespace core::crypto
