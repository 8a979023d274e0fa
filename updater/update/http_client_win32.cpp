#include "updater/update/http_client_win32.h"

#include <winerror.h>

#include <wininet.h>

#include <iterator>
#include <string>
#include <utility>

#include "core/handle_win32.h"
#include "core/numeric.h"
#include "core/text_win32.h"

namespace update {
namespace {

// An HINTERNET (session, connection or request).
using InternetHandle = core::UniqueResource<core::NullIsEmpty<HINTERNET, ::InternetCloseHandle>>;

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

// Failures that a later attempt may not meet: the network or the server, not the address,
// its certificate or a redirect.
bool IsTransientOpenFailure(DWORD err) {
    switch (err) {
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
        case ERROR_INTERNET_CANNOT_CONNECT:
        case ERROR_INTERNET_CONNECTION_RESET:
        case ERROR_INTERNET_CONNECTION_ABORTED:
        case ERROR_INTERNET_TIMEOUT:
        case ERROR_INTERNET_SERVER_UNREACHABLE:
        case ERROR_HTTP_INVALID_SERVER_RESPONSE:
        case WSAETIMEDOUT:
        case ERROR_TIMEOUT: return true;
        default: return false;
    }
}

OpenResult OpenFailure(DWORD err) {
    return OpenResult::Failure(DescribeOpenFailure(err),
                               IsTransientOpenFailure(err) ? OpenFault::Transient : OpenFault::Lasting);
}

// WinINet reports an expired receive time-out as its own code or passes the socket's on.
bool IsTimeout(DWORD err) { return err == ERROR_INTERNET_TIMEOUT || err == WSAETIMEDOUT || err == ERROR_TIMEOUT; }

class WinInetResponse final : public HttpResponse {
public:
    WinInetResponse(InternetHandle session, InternetHandle connection, InternetHandle request)
        : m_session(std::move(session)), m_connection(std::move(connection)), m_request(std::move(request)) {}

    int StatusCode() override {
        DWORD code = 0;
        DWORD size = sizeof code;
        DWORD index = 0;
        if (!::HttpQueryInfoW(m_request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, &index)) {
            return 0;
        }
        return static_cast<int>(code);
    }

    std::optional<std::string> ContentLengthText() override { return Query(HTTP_QUERY_CONTENT_LENGTH); }

    std::optional<std::string> HeaderText(Header which) override {
        switch (which) {
            case Header::ContentRange: return Query(HTTP_QUERY_CONTENT_RANGE);
            case Header::ETag: return Query(HTTP_QUERY_ETAG);
            case Header::LastModified: return Query(HTTP_QUERY_LAST_MODIFIED);
            case Header::RetryAfter: return Query(HTTP_QUERY_RETRY_AFTER);
        }
        return std::nullopt;
    }

    ReadResult Read(void* buffer, std::size_t size) override {
        DWORD got = 0;
        if (!::InternetReadFile(m_request.Get(), buffer, static_cast<DWORD>(size), &got)) {
            const DWORD err = ::GetLastError();
            return {IsTimeout(err) ? ReadStatus::TimedOut : ReadStatus::Failed, 0, err};
        }
        if (got == 0) return {ReadStatus::End, 0};
        return {ReadStatus::Data, got};
    }

private:
    // A header as text, at most 1239 characters (a longer one is absent for this program).
    std::optional<std::string> Query(DWORD level) {
        wchar_t buffer[1240] = {};
        DWORD size = sizeof buffer;
        DWORD index = 0;
        if (!::HttpQueryInfoW(m_request.Get(), level, buffer, &size, &index)) return std::nullopt;
        buffer[std::size(buffer) - 1] = L'\0';
        return core::WideToUtf8(buffer);
    }

    // Declared in this order so that they close request first, session last.
    InternetHandle m_session;
    InternetHandle m_connection;
    InternetHandle m_request;
};

// The URL the request ended at, after any redirect.
std::wstring FinalUrl(HINTERNET request) {
    wchar_t buffer[INTERNET_MAX_URL_LENGTH + 1] = {};
    DWORD size = sizeof buffer - sizeof buffer[0];
    if (!::InternetQueryOptionW(request, INTERNET_OPTION_URL, buffer, &size)) return {};
    buffer[std::size(buffer) - 1] = L'\0';
    return buffer;
}

void SetTimeouts(HINTERNET handle, DWORD timeoutMs) {
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD value = timeoutMs;
        ::InternetSetOptionW(handle, option, &value, sizeof value);
    }
}

// The URL with every byte outside ASCII written as %XX: a path's UTF-8 then reaches the server
// as it is, whatever code page the player's WinINet would otherwise put it through.
std::string EscapeNonAscii(const std::string& url) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

// "Range: bytes=k-" and "If-Range: v", each ending in CR LF; nothing from byte 0. The
// validator came from a response header; one with a line break in it is not sent.
std::string RangeHeaders(const RangeRequest& range) {
    if (range.from == 0) return {};
    std::string headers = "Range: bytes=";
    headers += core::DecimalText(static_cast<std::int64_t>(range.from));
    headers += "-\r\n";
    if (!range.ifRange.empty() && range.ifRange.find_first_of("\r\n") == std::string::npos) {
        headers += "If-Range: ";
        headers += range.ifRange;
        headers += "\r\n";
    }
    return headers;
}

}  // namespace

OpenResult WinInetClient::Open(const std::string& url) { return OpenRange(url, RangeRequest{}); }

OpenResult WinInetClient::OpenRange(const std::string& url, const RangeRequest& range) {
    m_lastError = 0;
    return Attempt(url, range);
}

OpenResult WinInetClient::Attempt(const std::string& url, const RangeRequest& range) {
    // Read at the failing call, before any handle's closing can change it.
    const auto failed = [this](DWORD err) {
        m_lastError = err;
        return OpenFailure(err);
    };
    InternetHandle session(::InternetOpenW(L" ", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) {
        m_lastError = ::GetLastError();
        return OpenResult::Failure("no se pudo iniciar la conexión a internet");
    }
    SetTimeouts(session.Get(), m_timeoutMs);

    // The request is opened step by step rather than with InternetOpenUrl so that the
    // time-outs are on the request before it is sent: some WinINet versions (Wine's) give a
    // request made by InternetOpenUrl no receive time-out at all.
    const std::wstring wideUrl = core::Utf8ToWide(EscapeNonAscii(url));
    wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    wchar_t path[INTERNET_MAX_URL_LENGTH + 1] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = std::size(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = std::size(path);
    if (!::InternetCrackUrlW(wideUrl.c_str(), 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTPS) {
        return OpenResult::Failure("la dirección del servidor no es una dirección https válida");
    }
    InternetHandle connection(
        ::InternetConnectW(session.Get(), host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return failed(::GetLastError());
    SetTimeouts(connection.Get(), m_timeoutMs);
    // Never from the user's cache and never into it: an archive would be written twice and a
    // copy would stay behind.
    const DWORD flags =
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_SECURE;
    InternetHandle request(
        ::HttpOpenRequestW(connection.Get(), L"GET", path[0] ? path : L"/", nullptr, nullptr, nullptr, flags, 0));
    if (!request) return failed(::GetLastError());
    SetTimeouts(request.Get(), m_timeoutMs);
    const std::wstring headers = core::Utf8ToWide(RangeHeaders(range));
    if (!::HttpSendRequestW(request.Get(), headers.empty() ? nullptr : headers.c_str(),
                            static_cast<DWORD>(headers.size()), nullptr, 0)) {
        return failed(::GetLastError());
    }

    // Never accept a redirect away from https, whatever the WinINet in use does by itself.
    const std::wstring finalUrl = FinalUrl(request.Get());
    if (finalUrl.size() >= 5 && _wcsnicmp(finalUrl.c_str(), L"http:", 5) == 0) {
        return failed(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
    }
    return OpenResult::Success(
        std::make_unique<WinInetResponse>(std::move(session), std::move(connection), std::move(request)));
}

}  // namespace update
