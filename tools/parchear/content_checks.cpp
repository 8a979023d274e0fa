#include "tools/parchear/content_checks.h"

#include <algorithm>

#include "tools/parchear/refusal.h"

namespace parchear {
namespace {

constexpr std::string_view kBegin = "-----BEGIN ";
constexpr std::string_view kEnd = "PRIVATE KEY-----";
// Longest kind word(s) between the two: "ENCRYPTED", "OPENSSH", "RSA"... with room to spare.
constexpr std::size_t kMaxKind = 40;
constexpr std::size_t kLongest = kBegin.size() + kMaxKind + kEnd.size();

bool KindCharacter(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' '; }

// Whether text holds kBegin, up to kMaxKind kind characters and kEnd.
bool HoldsMarker(std::string_view text) {
    for (std::size_t at = text.find(kBegin); at != std::string_view::npos; at = text.find(kBegin, at + 1)) {
        const std::size_t from = at + kBegin.size();
        for (std::size_t k = from; k <= from + kMaxKind && k < text.size(); ++k) {
            if (text.compare(k, kEnd.size(), kEnd) == 0) return true;
            if (!KindCharacter(text[k])) break;
        }
    }
    return false;
}

}  // namespace

void PrivateKeyWatch::Feed(std::string_view bytes) {
    if (m_found || bytes.empty()) return;
    // A marker across the seam lies within the kept tail and the chunk's first kLongest bytes.
    std::string seam = m_tail;
    seam.append(bytes.substr(0, kLongest));
    m_found = HoldsMarker(seam) || HoldsMarker(bytes);
    if (bytes.size() >= kLongest) {
        m_tail.assign(bytes.substr(bytes.size() - kLongest));
    } else {
        m_tail = seam.substr(seam.size() - std::min(seam.size(), kLongest));
    }
}

std::string PrivateKeysText(const std::vector<std::string>& entries) {
    std::string names;
    for (const std::string& e : entries) names += (names.empty() ? "" : ", ") + Quoted(e);
    return names + (entries.size() == 1 ? " contiene" : " contienen") +
           " una clave privada («-----BEGIN … PRIVATE KEY-----»): el parche la entregaría a todos los jugadores. "
           "Sáquela de la carpeta del juego y cree el parche de nuevo";
}

}  // namespace parchear
