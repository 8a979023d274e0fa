#include "updater/update/signed_list.h"

#include <algorithm>

#include "core/base64.h"
#include "core/numeric.h"

namespace update {
namespace {

constexpr std::string_view kHeader = "firmado-vandrel 1";
constexpr std::size_t kMaxSignatures = 16;

// A plain decimal of at most maxDigits digits: no sign, no blanks, no leading zero.
std::optional<std::int64_t> Decimal(std::string_view text, std::size_t maxDigits) {
    if (text.size() > 1 && text[0] == '0') return std::nullopt;
    return core::ParseDigits(text, maxDigits);
}

// The line's fields split at single blanks; empty fields (double blanks, edges) stay empty.
std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t blank = line.find(' ');
        fields.push_back(line.substr(0, blank));
        if (blank == std::string_view::npos) return fields;
        line.remove_prefix(blank + 1);
    }
}

// Splits text into lines that each ended in CR LF; nothing when a line ends otherwise or a
// CR or LF stands alone.
std::optional<std::vector<std::string_view>> CrLfLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        if (end == std::string_view::npos || text.compare(end, 2, "\r\n") != 0) return std::nullopt;
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
    return lines;
}

}  // namespace

bool IsLowerHex(std::string_view text, std::size_t size) {
    return text.size() == size && std::all_of(text.begin(), text.end(),
                                              [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

std::string KeyId(const core::crypto::PublicPoint& key) {
    const auto digest = core::crypto::Sha256Of(std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
    return core::crypto::HexOf(digest.data(), 8);
}

std::string PublicKeyText(const core::crypto::PublicPoint& key) { return core::Base64Encode(key.data(), key.size()); }

std::optional<core::crypto::PublicPoint> ParsePublicKey(std::string_view text) {
    const auto bytes = core::Base64Decode(text);
    core::crypto::PublicPoint key{};
    if (!bytes || bytes->size() != key.size() || (*bytes)[0] != 0x04) return std::nullopt;
    std::copy(bytes->begin(), bytes->end(), key.begin());
    return key;
}

std::string FormatListBody(std::int64_t serie, const std::vector<ListedPatch>& patches) {
    std::string body = core::DecimalText(static_cast<std::int64_t>(patches.size()));
    body += "\r\n";
    body += kHeader;
    body += "\r\nserie ";
    body += core::DecimalText(serie);
    body += "\r\n";
    for (std::size_t i = 0; i < patches.size(); ++i) {
        body += "parche ";
        body += core::DecimalText(static_cast<std::int64_t>(i + 1));
        body += " ";
        body += core::DecimalText(patches[i].size);
        body += " ";
        body += patches[i].sha256;
        body += "\r\n";
    }
    return body;
}

std::string FormatSignatureLine(const core::crypto::PublicPoint& key, const core::crypto::Signature& signature) {
    return "firma " + KeyId(key) + " " + core::Base64Encode(signature.data(), signature.size()) + "\r\n";
}

std::optional<SignedList> ParseSignedList(std::string_view text) {
    if (text.size() > kMaxListBytes) return std::nullopt;
    const auto lines = CrLfLines(text);
    if (!lines || lines->size() < 4) return std::nullopt;
    SignedList list;
    const auto count = Decimal((*lines)[0], 3);
    if (!count || (*lines)[1] != kHeader) return std::nullopt;
    list.count = static_cast<std::int16_t>(*count);

    const auto serieFields = Fields((*lines)[2]);
    if (serieFields.size() != 2 || serieFields[0] != "serie") return std::nullopt;
    const auto serie = Decimal(serieFields[1], 18);
    if (!serie || *serie < 1 || *serie > kMaxSerie) return std::nullopt;
    list.serie = *serie;

    std::size_t at = 3;
    std::size_t signedBytes = (*lines)[0].size() + (*lines)[1].size() + (*lines)[2].size() + 6;
    for (; at < lines->size() && (*lines)[at].substr(0, 7) == "parche "; ++at) {
        const auto f = Fields((*lines)[at]);
        if (f.size() != 4) return std::nullopt;
        const auto n = Decimal(f[1], 3);
        const auto size = Decimal(f[2], 10);
        if (!n || *n != static_cast<std::int64_t>(list.patches.size() + 1)) return std::nullopt;
        if (!size || *size > kMaxArchiveBytes || !IsLowerHex(f[3], 64)) return std::nullopt;
        list.patches.push_back({*size, std::string(f[3])});
        signedBytes += (*lines)[at].size() + 2;
    }
    if (list.patches.size() != static_cast<std::size_t>(list.count)) return std::nullopt;
    list.signedPart = std::string(text.substr(0, signedBytes));

    for (; at < lines->size(); ++at) {
        const auto f = Fields((*lines)[at]);
        if (f.size() != 3 || f[0] != "firma" || !IsLowerHex(f[1], 16)) return std::nullopt;
        const auto bytes = core::Base64Decode(f[2]);
        ListSignature signature;
        if (!bytes || bytes->size() != signature.signature.size()) return std::nullopt;
        std::copy(bytes->begin(), bytes->end(), signature.signature.begin());
        signature.keyId = std::string(f[1]);
        list.signatures.push_back(std::move(signature));
    }
    if (list.signatures.empty() || list.signatures.size() > kMaxSignatures) return std::nullopt;
    return list;
}

bool SignedByAny(const SignedList& list, const std::vector<core::crypto::PublicPoint>& keys) {
    for (const core::crypto::PublicPoint& key : keys) {
        const std::string id = KeyId(key);
        for (const ListSignature& s : list.signatures) {
            if (s.keyId == id && core::crypto::VerifyP256(key, list.signedPart, s.signature)) return true;
        }
    }
    return false;
}

}  // namespace update
