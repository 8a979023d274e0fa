#include "updater/update/remote_text.h"

#include "updater/update/mensajes.h"

#include "core/numeric.h"

namespace update {
namespace {

constexpr int kHttpOk = 200;

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
    CountFetch result;
    OpenResult opened = http.Open(url);
    if (!opened.response) {
        result.failure = opened.failure;
        return result;
    }
    const int status = opened.response->StatusCode();
    if (status != kHttpOk) {
        result.failure = mensajes::Respondio(core::DecimalText(status));
        return result;
    }
    const std::string bytes = ReadOnce(*opened.response, kCountReadBytes);
    if (bytes.empty()) {
        result.failure = mensajes::kSinDatos;
        return result;
    }
    const core::LeadingNumber number = core::ScanLeadingNumber(bytes);
    if (!number.found) {
        result.failure = mensajes::kNoEsNumero;
        return result;
    }
    result.count = core::ToInt16(number.value);
    result.fetched = true;
    return result;
}

std::string FetchShortText(HttpClient& http, const std::string& url) {
    OpenResult opened = http.Open(url);
    if (!opened.response) return {};
    return ReadOnce(*opened.response, kShortTextReadBytes);
}

}  // namespace update
