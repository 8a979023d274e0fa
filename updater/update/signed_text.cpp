#include "updater/update/signed_text.h"

#include <algorithm>

#include "core/base64.h"
#include "core/numeric.h"

namespace update {

bool IsLowerHex(std::string_view text, std::size_t size) {
    return text.size() == size && std::all_of(text.begin(), text.end(),
                                              [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

std::string KeyId(const core::crypto::PublicPoint& key) {
    const auto digest = core::crypto::Sha256Of(std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
    return core::crypto::HexOf(digest.data(), 8);
}

std::optional<std::vector<std::string_view>> SplitCrLfLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        if (end == std::string_view::npos || text.compare(end, 2, "\r\n") != 0) return std::nullopt;
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
    return lines;
}

std::vector<std::string_view> SplitFields(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t blank = line.find(separator);
        fields.push_back(line.substr(0, blank));
        if (blank == std::string_view::npos) return fields;
        line.remove_prefix(blank + 1);
    }
}

std::optional<std::int64_t> PlainDecimal(std::string_view text, std::size_t maxDigits) {
    if (text.size() > 1 && text[0] == '0') return std::nullopt;
    return core::ParseDigits(text, maxDigits);
}

std::optional<TextSignatures> ReadSignatures(std::string_view text, const std::vector<std::string_view>& lines,
                                             std::size_t first) {
    if (first >= lines.size() || lines.size() - first > kMaxSignatures) return std::nullopt;
    TextSignatures read;
    read.signedPart = std::string(text.substr(0, static_cast<std::size_t>(lines[first].data() - text.data())));
    for (std::size_t at = first; at < lines.size(); ++at) {
        const auto f = SplitFields(lines[at]);
        if (f.size() != 3 || f[0] != "firma" || !IsLowerHex(f[1], 16)) return std::nullopt;
        const auto bytes = core::Base64Decode(f[2]);
        ListSignature signature;
        if (!bytes || bytes->size() != signature.signature.size()) return std::nullopt;
        std::copy(bytes->begin(), bytes->end(), signature.signature.begin());
        signature.keyId = std::string(f[1]);
        read.signatures.push_back(std::move(signature));
    }
    return read;
}

bool SignedByAny(std::string_view signedPart, const std::vector<ListSignature>& signatures,
                 const std::vector<core::crypto::PublicPoint>& keys) {
    for (const core::crypto::PublicPoint& key : keys) {
        const std::string id = KeyId(key);
        for (const ListSignature& s : signatures) {
            if (s.keyId == id && core::crypto::VerifyP256(key, signedPart, s.signature)) return true;
        }
    }
    return false;
}

}  // namespace update
