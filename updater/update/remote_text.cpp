#include "updater/update/remote_text.h"

#include "updater/update/mensajes.h"

#include "core/numeric.h"

namespace update {

CountFetch FetchCount(HttpClient& http, const std::string& url, std::uint64_t deadlineMs) {
    const DeadlineScope limit(http, deadlineMs);
    OpenResult opened = http.Open(url);
    if (!opened.ok) return CountFetch::Failure(opened.reason);
    const int status = opened.value->StatusCode();
    if (status != kHttpOk) return CountFetch::Failure(mensajes::Respondio(core::DecimalText(status)));
    const std::string bytes = ReadOnce(*opened.value, kCountReadBytes);
    if (bytes.empty()) return CountFetch::Failure(mensajes::kSinDatos);
    const core::LeadingNumber number = core::ScanLeadingNumber(bytes);
    if (!number.found) return CountFetch::Failure(mensajes::kNoEsNumero);
    return CountFetch::Success(core::ToInt16(number.value));
}

std::string ReadOnce(HttpResponse& response, std::size_t size) {
    std::string buffer(size, ' ');
    const ReadResult r = response.Read(buffer.data(), buffer.size());
    if (r.status != ReadStatus::Data || r.count == 0) return {};
    buffer.resize(r.count < size ? r.count : size);
    return buffer;
}

std::optional<std::string> ReadWholeBody(HttpResponse& response, std::size_t limit, bool& tooLong) {
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

}  // namespace update
