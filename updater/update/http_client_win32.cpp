#include "updater/update/http_client_win32.h"

#include <wininet.h>

#include <string>
#include <utility>

#include "core/numeric.h"
#include "core/text_win32.h"

namespace update {
namespace {

// Owns an HINTERNET (session or request).
class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET h) : m_h(h) {}
    ~InternetHandle() {
        if (m_h) ::InternetCloseHandle(m_h);
    }
    InternetHandle(InternetHandle&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    InternetHandle& operator=(InternetHandle&&) = delete;
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    HINTERNET m_h = nullptr;
};

std::string DescribeOpenFailure(DWORD err) {
    switch (err) {
        case ERROR_INTERNET_NAME_NOT_RESOLVED: return "no se encontró el servidor";
        case ERROR_INTERNET_CANNOT_CONNECT:
        case ERROR_INTERNET_CONNECTION_RESET:
        case ERROR_INTERNET_CONNECTION_ABORTED: return "no se pudo conectar con el servidor";
        case ERROR_INTERNET_TIMEOUT: return "el servidor no respondió a tiempo";
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        case ERROR_INTERNET_INVALID_CA:
        case ERROR_INTERNET_SEC_CERT_ERRORS:
        case ERROR_INTERNET_SEC_CERT_NO_REV:
        case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        case ERROR_INTERNET_SEC_INVALID_CERT:
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR: return "el certificado del servidor no es válido";
        case ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR: return "el servidor redirigió a una dirección no segura";
        default: return "no se pudo abrir la dirección (código " + core::DecimalText(err) + ")";
    }
}

class WinInetResponse final : public HttpResponse {
public:
    WinInetResponse(InternetHandle session, InternetHandle request)
        : m_session(std::move(session)), m_request(std::move(request)) {}

    int StatusCode() override {
        DWORD code = 0;
        DWORD size = sizeof code;
        DWORD index = 0;
        if (!::HttpQueryInfoA(m_request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, &index)) {
            return 0;
        }
        return static_cast<int>(code);
    }

    std::optional<std::string> ContentLengthText() override {
        char buffer[1240] = {};
        DWORD size = sizeof buffer;
        DWORD index = 0;
        if (!::HttpQueryInfoA(m_request.Get(), HTTP_QUERY_CONTENT_LENGTH, buffer, &size, &index)) return std::nullopt;
        buffer[sizeof buffer - 1] = '\0';
        return std::string(buffer);
    }

    ReadResult Read(void* buffer, std::size_t size) override {
        DWORD got = 0;
        if (!::InternetReadFile(m_request.Get(), buffer, static_cast<DWORD>(size), &got)) {
            return {::GetLastError() == ERROR_INTERNET_TIMEOUT ? ReadStatus::TimedOut : ReadStatus::Failed, 0};
        }
        if (got == 0) return {ReadStatus::End, 0};
        return {ReadStatus::Data, got};
    }

private:
    // Declared in this order so that the request closes before its session.
    InternetHandle m_session;
    InternetHandle m_request;
};

// The URL the request ended at, after any redirect.
std::string FinalUrl(HINTERNET request) {
    char buffer[INTERNET_MAX_URL_LENGTH + 1] = {};
    DWORD size = sizeof buffer - 1;
    if (!::InternetQueryOptionA(request, INTERNET_OPTION_URL, buffer, &size)) return {};
    return std::string(buffer, size < sizeof buffer ? size : sizeof buffer - 1);
}

}  // namespace

OpenResult WinInetClient::Open(const std::string& url) {
    InternetHandle session(::InternetOpenA(" ", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return {nullptr, "no se pudo iniciar la conexión a internet"};

    // A server that stops answering must not hang the program for ever.
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD value = m_timeoutMs;
        ::InternetSetOptionA(session.Get(), option, &value, sizeof value);
    }

    const std::string ansiUrl = core::Utf8ToCodePage(url, CP_ACP);
    InternetHandle request(::InternetOpenUrlA(session.Get(), ansiUrl.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0));
    if (!request) return {nullptr, DescribeOpenFailure(::GetLastError())};

    // Never accept a redirect away from https, whatever the WinINet in use does by itself.
    const std::string finalUrl = FinalUrl(request.Get());
    if (finalUrl.size() >= 5 && _strnicmp(finalUrl.c_str(), "http:", 5) == 0) {
        return {nullptr, DescribeOpenFailure(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR)};
    }
    return {std::make_unique<WinInetResponse>(std::move(session), std::move(request)), {}};
}

}  // namespace update
