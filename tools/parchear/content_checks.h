// What must never leave the operator's machine inside a patch: a private key in PEM form, whose
// first line reads "-----BEGIN <kind> PRIVATE KEY-----" for every kind (PKCS#8, RSA, EC,
// ENCRYPTED, OPENSSH...).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace parchear {

// Watches a stream of bytes fed in order, in chunks of any size, for the start of a PEM private key.
class PrivateKeyWatch {
public:
    void Feed(std::string_view bytes);
    bool Found() const { return m_found; }

private:
    std::string m_tail;  // the last bytes fed, for a marker split between two chunks
    bool m_found = false;
};

// The refusal text for entries (names as in the archive) that hold a private key.
std::string PrivateKeysText(const std::vector<std::string>& entries);

}  // namespace parchear
