#include "updater/update/http_log.h"

#include <memory>
#include <utility>

#include "core/numeric.h"

namespace update {
namespace {

std::string Decimal(std::uint64_t value) { return core::DecimalText(static_cast<std::int64_t>(value)); }

// The response as the caller sees it, counting the body's bytes for the line about its end.
class LoggedResponse final : public HttpResponse {
public:
    LoggedResponse(std::unique_ptr<HttpResponse> inner, Log& log, std::string url)
        : m_inner(std::move(inner)), m_log(log), m_url(std::move(url)) {}
    int StatusCode() override { return m_inner->StatusCode(); }
    std::optional<std::string> ContentLengthText() override { return m_inner->ContentLengthText(); }
    std::optional<std::string> HeaderText(Header which) override { return m_inner->HeaderText(which); }
    ReadResult Read(void* buffer, std::size_t size) override {
        const ReadResult r = m_inner->Read(buffer, size);
        if (r.status == ReadStatus::Data) {
            m_bytes += r.count;
            return r;
        }
        std::string event = "GET " + m_url;
        if (r.status == ReadStatus::End) {
            event += ": cuerpo completo, ";
        } else {
            event += r.status == ReadStatus::TimedOut ? ": el servidor dejó de enviar" : ": lectura fallida";
            if (r.systemError != 0) event += " (código " + Decimal(r.systemError) + ")";
            event += " tras ";
        }
        event += Decimal(m_bytes) + " bytes";
        m_log.Write(event);
        return r;
    }

private:
    std::unique_ptr<HttpResponse> m_inner;
    Log& m_log;
    std::string m_url;
    std::uint64_t m_bytes = 0;
};

// ", Name: value", or ", Name: -" when the response has no such header.
void AppendHeader(std::string& event, const char* name, const std::optional<std::string>& value) {
    event += ", ";
    event += name;
    event += ": ";
    event += value ? *value : "-";
}

// The part asked for as the log shows it; nothing for the whole resource.
std::string Asked(const RangeRequest& range) {
    if (range.from == 0) return {};
    std::string asked = " (Range: bytes=" + Decimal(range.from) + "-";
    if (!range.ifRange.empty()) asked += ", If-Range: " + range.ifRange;
    return asked + ")";
}

}  // namespace

OpenResult LoggedHttpClient::Open(const std::string& url) { return Logged(url, {}, m_inner.Open(url)); }

OpenResult LoggedHttpClient::OpenRange(const std::string& url, const RangeRequest& range) {
    return Logged(url, Asked(range), m_inner.OpenRange(url, range));
}

OpenResult LoggedHttpClient::OpenPart(const std::string& url, std::uint64_t first, std::uint64_t last) {
    return Logged(url, " (Range: bytes=" + Decimal(first) + "-" + Decimal(last) + ")",
                  m_inner.OpenPart(url, first, last));
}

OpenResult LoggedHttpClient::Logged(const std::string& url, const std::string& asked, OpenResult opened) {
    const std::string shown = WithoutCredentials(url);
    std::string event = "GET " + shown + asked;
    if (!opened.ok) {
        event += ": no abierta, " + opened.reason;
        const unsigned long code = m_inner.LastSystemError();
        if (code != 0) event += " (código " + Decimal(code) + ")";
        event += opened.code == OpenFault::Transient ? "; pasajero" : "; duradero";
        m_log.Write(event);
        return opened;
    }
    HttpResponse& response = *opened.value;
    event += " -> " + core::DecimalText(response.StatusCode());
    AppendHeader(event, "Content-Length", response.ContentLengthText());
    AppendHeader(event, "ETag", response.HeaderText(Header::ETag));
    AppendHeader(event, "Last-Modified", response.HeaderText(Header::LastModified));
    AppendHeader(event, "Content-Range", response.HeaderText(Header::ContentRange));
    if (const auto retryAfter = response.HeaderText(Header::RetryAfter)) event += ", Retry-After: " + *retryAfter;
    m_log.Write(event);
    return OpenResult::Success(std::make_unique<LoggedResponse>(std::move(opened.value), m_log, shown));
}

}  // namespace update
