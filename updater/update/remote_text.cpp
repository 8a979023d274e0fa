#include "updater/update/remote_text.h"

#include <utility>

#include "updater/update/mensajes.h"

#include "core/numeric.h"

namespace update {
namespace {

constexpr int kHttpOk = 200;

CountFetch NoCount(std::string why) {
    CountFetch result;
    result.ok = false;
    result.reason = std::move(why);
    return result;
}

// One read into a blank-filled buffer; returns the bytes read, empty on failure.
std::string ReadOnce(HttpResponse& response, std::size_t size) {
    std::string buffer(size, ' ');
    const ReadResult r = response.Read(buffer.data(), buffer.size());
    if (r.status != ReadStatus::Data || r.count == 0) return {};
    buffer.resize(r.count < size ? r.count : size);
    return buffer;
}

}  // namespace

CountFetch FetchCount(HttpClient& http, const std::string& url) {
    OpenResult opened = http.Open(url);
    if (!opened.ok) return NoCount(opened.reason);
    const int status = opened.response->StatusCode();
    if (status != kHttpOk) return NoCount(mensajes::Respondio(core::DecimalText(status)));
    const std::string bytes = ReadOnce(*opened.response, kCountReadBytes);
    if (bytes.empty()) return NoCount(mensajes::kSinDatos);
    const core::LeadingNumber number = core::ScanLeadingNumber(bytes);
    if (!number.found) return NoCount(mensajes::kNoEsNumero);
    CountFetch result;
    result.count = core::ToInt16(number.value);
    return result;
}

std::string FetchShortText(HttpClient& http, const std::string& url) {
    OpenResult opened = http.Open(url);
    if (!opened.ok) return {};
    return ReadOnce(*opened.response, kShortTextReadBytes);
}

}  // namespace update
