#include "updater/update/trusted_list.h"

#include <algorithm>

#include "core/numeric.h"
#include "core/runtime_error.h"
#include "updater/update/mensajes.h"

namespace update {
namespace {

constexpr std::size_t kMaxSerieFileBytes = 64;

// The whole body, or nothing when the transfer fails or it is longer than limit.
std::optional<std::string> ReadBody(HttpResponse& response, std::size_t limit, bool& tooLong) {
    std::string body;
    char chunk[4096];
    for (;;) {
        const ReadResult r = response.Read(chunk, sizeof(chunk));
        if (r.status == ReadStatus::Failed || r.status == ReadStatus::TimedOut) return std::nullopt;
        if (r.status == ReadStatus::End || r.count == 0) return body;
        if (body.size() + r.count > limit) {
            tooLong = true;
            return std::nullopt;
        }
        body.append(chunk, r.count);
    }
}

}  // namespace

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

std::int64_t ReadSerie(core::FileSystem& fs, const std::string& path) {
    try {
        if (!fs.FileExists(path) || fs.FileSize(path) > kMaxSerieFileBytes) return 0;
        const std::string text = fs.ReadFile(path, kMaxSerieFileBytes);
        const std::string_view digits(text.data(), std::min(text.find_first_not_of("0123456789"), text.size()));
        return digits.empty() ? 0 : core::ParseDigits(digits, 18).value_or(0);
    } catch (const core::RuntimeError&) {
        return 0;
    }
}

TrustedCount FetchTrustedCount(HttpClient& http, core::FileSystem& fs, const std::string& installFolder,
                               const std::string& url, const TrustedKeys& keys) {
    const auto notRead = [](std::string why) { return TrustedCount::Failure(std::move(why), ListRefusal::NotRead); };
    OpenResult opened = http.Open(url);
    if (!opened.ok) return notRead(opened.reason);
    const int status = opened.value->StatusCode();
    if (status != kHttpOk) return notRead(mensajes::Respondio(core::DecimalText(status)));
    bool tooLong = false;
    const std::optional<std::string> body = ReadBody(*opened.value, kMaxListBytes, tooLong);
    opened.value.reset();
    if (!body && !tooLong) return notRead(mensajes::kConexionCortada);
    std::optional<SignedList> list;
    if (body) list = ParseSignedList(*body);
    bool signedByKey = false;
    try {
        signedByKey = list && SignedByAny(*list, keys);
    } catch (const core::crypto::Failure& e) {
        return TrustedCount::Failure(mensajes::ListaNoComprobada(e.what()), ListRefusal::CannotCheck);
    }
    if (!signedByKey) return TrustedCount::Failure(mensajes::kListaNoFirmada, ListRefusal::NotSigned);
    const std::string serieFile = SerieFilePath(installFolder);
    const std::int64_t recorded = ReadSerie(fs, serieFile);
    if (list->serie < recorded) return TrustedCount::Failure(mensajes::kListaAntigua, ListRefusal::Older);
    if (list->serie > recorded) {
        core::WriteFileAtomically(fs, serieFile, core::DecimalText(list->serie) + "\r\n");
    }
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
