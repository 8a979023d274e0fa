#include "updater/update/range_fetch.h"

#include <algorithm>
#include <vector>

#include "core/numeric.h"
#include "core/runtime_error.h"
#include "updater/update/mensajes.h"
#include "updater/update/resume_headers.h"

namespace update {
namespace {

// The reads of one range: enough to keep a connection busy, small beside a 32-bit address space.
constexpr std::size_t kRangeReadBytes = 64u << 10;

RangeFetch Fails(RangeFault fault, std::string why) { return RangeFetch::Failure(std::move(why), fault); }

// True when the 206's headers describe exactly range of an archive of archiveSize bytes.
bool IsThePart(HttpResponse& response, ByteRange range, std::uint64_t archiveSize) {
    const auto text = response.HeaderText(Header::ContentRange);
    const auto part = text ? ParseContentRange(*text) : std::nullopt;
    if (!part || part->first != range.offset || part->last != range.offset + range.length - 1 ||
        part->total != archiveSize) {
        return false;
    }
    const auto length = response.ContentLengthText();
    return !length || *length == core::DecimalText(static_cast<std::int64_t>(range.length));
}

}  // namespace

RangeFetch FetchRange(HttpClient& http, const std::string& url, ByteRange range, std::uint64_t archiveSize,
                      core::FileWriter& out, const RangeProgress& progress) {
    if (range.length == 0 || range.offset >= archiveSize || range.length > archiveSize - range.offset) {
        return Fails(RangeFault::Refused, mensajes::kParteEquivocada);
    }
    OpenResult opened = http.OpenPart(url, range.offset, range.offset + range.length - 1);
    if (!opened.ok) {
        return Fails(opened.code == OpenFault::Transient ? RangeFault::Network : RangeFault::Refused, opened.reason);
    }
    HttpResponse& response = *opened.value;
    const int status = response.StatusCode();
    if (status == kHttpOk) return Fails(RangeFault::Whole, mensajes::Respondio("200"));
    if (status != kHttpPartial) {
        return Fails(IsTransientStatus(status) ? RangeFault::Network : RangeFault::Refused,
                     mensajes::Respondio(core::DecimalText(status)));
    }
    if (!IsThePart(response, range, archiveSize)) return Fails(RangeFault::Refused, mensajes::kParteEquivocada);

    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(range.length, kRangeReadBytes)));
    std::uint64_t received = 0;
    while (received < range.length) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), range.length - received));
        const ReadResult read = response.Read(buffer.data(), want);
        if (read.status == ReadStatus::TimedOut) return Fails(RangeFault::Network, mensajes::kSinRespuesta);
        if (read.status == ReadStatus::Failed) return Fails(RangeFault::Network, mensajes::kConexionCortada);
        if (read.status == ReadStatus::End || read.count == 0) return Fails(RangeFault::Network, mensajes::kIncompleta);
        if (read.count > want) return Fails(RangeFault::Refused, mensajes::kDatosDeMas);
        try {
            out.Write(buffer.data(), read.count);
        } catch (const core::RuntimeError& e) {
            return Fails(RangeFault::Write, e.Description());
        }
        received += read.count;
        if (progress) progress(received);
    }
    // The body must end with the range: one byte more is a server sending something else.
    char extra = 0;
    const ReadResult after = response.Read(&extra, 1);
    if (after.status == ReadStatus::Data && after.count > 0) return Fails(RangeFault::Refused, mensajes::kDatosDeMas);
    return RangeFetch::Success();
}

}  // namespace update
