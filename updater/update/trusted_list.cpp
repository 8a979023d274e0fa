#include "updater/update/trusted_list.h"

#include <algorithm>

#include "core/numeric.h"
#include "core/runtime_error.h"
#include "updater/update/mensajes.h"

namespace update {

TrustedKeys ParseTrustedKeys(const std::vector<std::string>& texts) {
    TrustedKeys keys;
    for (const std::string& t : texts) {
        const auto key = ParsePublicKey(t);
        if (!key) core::Raise(core::ErrorKind::TypeMismatch, "clave pública " + t);
        keys.push_back(*key);
    }
    return keys;
}

std::string SerieFilePath(const std::string& installFolder) { return installFolder + "\\Recursos\\OUTPUT\\Serie.ini"; }

std::string SerieDigest(const SignedList& list) {
    return core::crypto::HexOf(core::crypto::Sha256Of(list.signedPart)).substr(0, kSerieDigestHex);
}

std::string FormatSerieFile(const RecordedSerie& recorded) {
    std::string text = core::DecimalText(recorded.serie) + "\r\n";
    if (!recorded.digest.empty()) text += recorded.digest + "\r\n";
    return text;
}

std::optional<RecordedSerie> ParseSerieFile(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    if (lines.empty() || lines.size() > 2) return std::nullopt;
    RecordedSerie recorded;
    const auto serie = core::ParseDigits(lines[0], 18);
    if (!serie) return std::nullopt;
    recorded.serie = *serie;
    if (lines.size() == 2) {
        if (!IsLowerHex(lines[1], kSerieDigestHex)) return std::nullopt;
        recorded.digest = std::string(lines[1]);
    }
    return recorded;
}

namespace {

// What Serie.ini records: nothing ({0, ""}) when it is missing or empty; otherwise the cause
// for the red line when it cannot be read or parsed.
core::Result<RecordedSerie> ReadRecordedSerie(core::FileSystem& fs, const std::string& path) {
    std::string text;
    try {
        if (!fs.FileExists(path)) return core::Result<RecordedSerie>::Success();
        if (fs.FileSize(path) > kMaxSerieFileBytes) return core::Result<RecordedSerie>::Failure(mensajes::kNoValido);
        text = fs.ReadFile(path, kMaxSerieFileBytes);
    } catch (const core::RuntimeError& e) {
        return core::Result<RecordedSerie>::Failure(e.Description());
    }
    if (text.empty()) return core::Result<RecordedSerie>::Success();
    const std::optional<RecordedSerie> recorded = ParseSerieFile(text);
    if (!recorded) return core::Result<RecordedSerie>::Failure(mensajes::kNoValido);
    return core::Result<RecordedSerie>::Success(*recorded);
}

}  // namespace

TrustedCount FetchTrustedCount(HttpClient& http, core::FileSystem& fs, const std::string& installFolder,
                               const std::string& url, const TrustedKeys& keys, std::uint64_t deadlineMs) {
    std::optional<DeadlineScope> limit(std::in_place, http, deadlineMs);
    const auto notRead = [](std::string why) { return TrustedCount::Failure(std::move(why), ListRefusal::NotRead); };
    OpenResult opened = http.Open(url);
    if (!opened.ok) return notRead(opened.reason);
    const int status = opened.value->StatusCode();
    if (status != kHttpOk) return notRead(mensajes::Respondio(core::DecimalText(status)));
    bool tooLong = false;
    const std::optional<std::string> body = ReadWholeBody(*opened.value, kMaxListBytes, tooLong);
    opened.value.reset();
    limit.reset();
    if (!body && !tooLong) return notRead(mensajes::kConexionCortada);
    std::optional<SignedList> list;
    if (body) list = ParseSignedList(*body);
    bool signedByKey = false;
    std::string digest;
    try {
        signedByKey = list && SignedByAny(*list, keys);
        if (signedByKey) digest = SerieDigest(*list);
    } catch (const core::crypto::Failure& e) {
        return TrustedCount::Failure(mensajes::ListaNoComprobada(e.what()), ListRefusal::CannotCheck);
    }
    if (!signedByKey) return TrustedCount::Failure(mensajes::kListaNoFirmada, ListRefusal::NotSigned);
    const std::string serieFile = SerieFilePath(installFolder);
    const core::Result<RecordedSerie> read = ReadRecordedSerie(fs, serieFile);
    if (!read.ok) return TrustedCount::Failure(mensajes::SerieIlegible(read.reason), ListRefusal::SerieUnreadable);
    const RecordedSerie& recorded = read.value;
    if (list->serie < recorded.serie) return TrustedCount::Failure(mensajes::kListaAntigua, ListRefusal::Older);
    const bool same = list->serie == recorded.serie;
    if (same && !recorded.digest.empty() && recorded.digest != digest) {
        return TrustedCount::Failure(mensajes::kListaDistinta, ListRefusal::OtherContents);
    }
    // A file an earlier Updater wrote learns the digest of the serie it holds.
    if (!same || recorded.digest.empty())
        core::WriteFileAtomically(fs, serieFile, FormatSerieFile({list->serie, digest}));
    return TrustedCount::Success(std::move(*list));
}

const ListedPatch* ListedFor(const SignedList& list, std::int32_t number) {
    if (number < 1 || static_cast<std::size_t>(number) > list.patches.size()) return nullptr;
    return &list.patches[static_cast<std::size_t>(number) - 1];
}

core::Outcome CheckAgainstList(core::FileSystem& fs, const std::string& path, const ListedPatch& listed) {
    bool same = false;
    try {
        same = static_cast<std::int64_t>(fs.FileSize(path)) == listed.size &&
               core::crypto::HexOf(core::crypto::Sha256OfFile(fs, path)) == listed.sha256;
    } catch (const core::crypto::Failure& e) {
        return core::Outcome::Failure(e.what());
    }
    if (same) return core::Outcome::Success();
    return core::Outcome::Failure(mensajes::kNoCoincideConLista);
}

}  // namespace update
