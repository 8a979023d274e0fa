#include "updater/update/signed_list.h"

#include <algorithm>

#include "core/base64.h"
#include "core/numeric.h"

namespace update {
namespace {

constexpr std::string_view kHeader = "firmado-vandrel 1";

}  // namespace

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
    const auto lines = SplitCrLfLines(text);
    if (!lines || lines->size() < 4) return std::nullopt;
    SignedList list;
    const auto count = PlainDecimal((*lines)[0], 3);
    if (!count || (*lines)[1] != kHeader) return std::nullopt;
    list.count = static_cast<std::int16_t>(*count);

    const auto serieFields = SplitFields((*lines)[2]);
    if (serieFields.size() != 2 || serieFields[0] != "serie") return std::nullopt;
    const auto serie = PlainDecimal(serieFields[1], 18);
    if (!serie || *serie < 1 || *serie > kMaxSerie) return std::nullopt;
    list.serie = *serie;

    std::size_t at = 3;
    for (; at < lines->size() && (*lines)[at].substr(0, 7) == "parche "; ++at) {
        const auto f = SplitFields((*lines)[at]);
        if (f.size() != 4) return std::nullopt;
        const auto n = PlainDecimal(f[1], 3);
        const auto size = PlainDecimal(f[2], 10);
        if (!n || *n != static_cast<std::int64_t>(list.patches.size() + 1)) return std::nullopt;
        if (!size || *size > kMaxArchiveBytes || !IsLowerHex(f[3], 64)) return std::nullopt;
        list.patches.push_back({*size, std::string(f[3])});
    }
    if (list.patches.size() != static_cast<std::size_t>(list.count)) return std::nullopt;
    std::optional<TextSignatures> signatures = ReadSignatures(text, *lines, at);
    if (!signatures) return std::nullopt;
    list.signedPart = std::move(signatures->signedPart);
    list.signatures = std::move(signatures->signatures);
    return list;
}

bool SignedByAny(const SignedList& list, const std::vector<core::crypto::PublicPoint>& keys) {
    return SignedByAny(list.signedPart, list.signatures, keys);
}

}  // namespace update
