#include "updater/update/http_client_win32.h"

#include <winerror.h>

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// One request's handles and the worker thread that makes its blocking calls, shared by that
// thread and the one waiting for it: whichever lets go last closes the handles. A call touches
// nothing but the exchange, so that one given up on can finish on its own.
struct Exchange {
    // Declared in this order so that they close request first, session last.
    InternetHandle session;
    InternetHandle connection;
    InternetHandle request;
    HINTERNET raw = nullptr;  // the request's handle, as the calls use it
    core::UniqueHandle wake{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    core::UniqueHandle done{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::function<void(Exchange&)> call;
    std::atomic<bool> quit{false};
    bool abandoned = false;  // the waiting thread gave a call up
    // The last call's outcome and the bytes read ahead of what was asked.
    BOOL ok = FALSE;
    DWORD error = 0;
    std::vector<char> buffer;
    std::size_t used = 0;  // of buffer, already handed out
    bool ended = false;    // the body is complete
};

DWORD WINAPI Work(void* parameter) {
    const std::unique_ptr<std::shared_ptr<Exchange>> held(static_cast<std::shared_ptr<Exchange>*>(parameter));
    Exchange& x = **held;
    for (;;) {
        if (::WaitForSingleObject(x.wake.Get(), INFINITE) != WAIT_OBJECT_0 || x.quit) return 0;
        x.call(x);
        ::SetEvent(x.done.Get());
    }
}

// Starts the exchange's worker; false when the system gives no thread.
bool StartWorker(const std::shared_ptr<Exchange>& x) {
    if (!x->wake || !x->done) return false;
    auto* held = new std::shared_ptr<Exchange>(x);
    core::UniqueHandle thread(::CreateThread(nullptr, 0, Work, held, 0, nullptr));
    if (!thread) delete held;
    return static_cast<bool>(thread);
}

// The worker ends after its current call, the handles close when it lets go.
void Dismiss(Exchange& x) {
    x.quit = true;
    ::SetEvent(x.wake.Get());
}

// Runs call on the exchange's worker and waits, dispatching the window's messages, until it
// returns (true) or the deadline comes (false). Then closing the request's handle ends the
// pending WinINet call, and the worker is left to finish it.
bool RunOnWorker(Exchange& x, const NetworkWait& wait, std::function<void(Exchange&)> call) {
    constexpr std::uint64_t kSliceMs = 10;
    if (x.abandoned) return false;
    x.call = std::move(call);
    ::SetEvent(x.wake.Get());
    for (;;) {
        std::uint64_t slice = kSliceMs;
        if (wait.deadlineMs != 0) {
            const std::uint64_t now = wait.NowMs();
            if (now >= wait.deadlineMs) break;
            slice = std::min(slice, wait.deadlineMs - now);
        }
        const HANDLE done = x.done.Get();
        const DWORD woke = wait.pump ? ::MsgWaitForMultipleObjectsEx(1, &done, static_cast<DWORD>(slice), QS_ALLINPUT,
                                                                     MWMO_INPUTAVAILABLE)
                                     : ::WaitForSingleObject(done, static_cast<DWORD>(slice));
        if (woke == WAIT_OBJECT_0) return true;
        if (woke == WAIT_FAILED) ::Sleep(static_cast<DWORD>(slice));
        if (wait.pump) wait.pump->ProcessPending();
    }
    x.abandoned = true;
    ::InternetCloseHandle(x.request.Release());
    Dismiss(x);
    return false;
}

class WinInetResponse final : public HttpResponse {
public:
    WinInetResponse(std::shared_ptr<Exchange> exchange, const NetworkWait& wait)
        : m_x(std::move(exchange)), m_wait(wait) {}
    ~WinInetResponse() override { Dismiss(*m_x); }

    int StatusCode() override {
        DWORD code = 0;
        DWORD size = sizeof code;
        DWORD index = 0;
        if (!::HttpQueryInfoW(m_x->raw, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, &index)) {
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

    // As InternetReadFile: size bytes unless the body ends first. The worker reads what was
    // asked and whatever else has already arrived (up to 64 KiB), which later reads hand out.
    ReadResult Read(void* buffer, std::size_t size) override {
        Exchange& x = *m_x;
        if (x.buffer.size() - x.used < size && !x.ended) {
            const DWORD need = static_cast<DWORD>(size - (x.buffer.size() - x.used));
            const bool returned = RunOnWorker(x, m_wait, [need](Exchange& w) {
                w.buffer.erase(w.buffer.begin(), w.buffer.begin() + static_cast<std::ptrdiff_t>(w.used));
                w.used = 0;
                DWORD available = 0;
                DWORD got = 0;
                const std::size_t had = w.buffer.size();
                w.ok = ::InternetQueryDataAvailable(w.raw, &available, 0, 0);
                if (w.ok) {
                    const DWORD want = std::max(need, std::min<DWORD>(available, 64 * 1024));
                    w.buffer.resize(had + want);
                    w.ok = ::InternetReadFile(w.raw, w.buffer.data() + had, want, &got);
                }
                w.error = w.ok ? 0 : ::GetLastError();
                w.buffer.resize(had + (w.ok ? got : 0));
                w.ended = w.ok && got == 0;
            });
            if (!returned) return {ReadStatus::TimedOut, 0, ERROR_INTERNET_TIMEOUT};
            if (!x.ok && x.buffer.size() == x.used)
                return {IsTimeout(x.error) ? ReadStatus::TimedOut : ReadStatus::Failed, 0, x.error};
        }
        const std::size_t n = std::min(size, x.buffer.size() - x.used);
        if (n == 0) return {ReadStatus::End, 0};
        std::copy_n(x.buffer.data() + x.used, n, static_cast<char*>(buffer));
        x.used += n;
        return {ReadStatus::Data, n};
    }

private:
    // A header as text, at most 1239 characters (a longer one is absent for this program).
    std::optional<std::string> Query(DWORD level) {
        wchar_t buffer[1240] = {};
        DWORD size = sizeof buffer;
        DWORD index = 0;
        if (!::HttpQueryInfoW(m_x->raw, level, buffer, &size, &index)) return std::nullopt;
        buffer[std::size(buffer) - 1] = L'\0';
        return core::WideToUtf8(buffer);
    }

    std::shared_ptr<Exchange> m_x;
    const NetworkWait& m_wait;
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
    return Attempt(url, RangeHeaders(range));
}

OpenResult WinInetClient::OpenPart(const std::string& url, std::uint64_t first, std::uint64_t last) {
    m_lastError = 0;
    if (last < first) return OpenResult::Failure("se pidió una parte vacía");
    std::string headers = "Range: bytes=";
    headers += core::DecimalText(static_cast<std::int64_t>(first));
    headers += '-';
    headers += core::DecimalText(static_cast<std::int64_t>(last));
    headers += "\r\n";
    return Attempt(url, headers);
}

OpenResult WinInetClient::Attempt(const std::string& url, const std::string& requestHeaders) {
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
    auto x = std::make_shared<Exchange>();
    x->raw = request.Get();
    x->session = std::move(session);
    x->connection = std::move(connection);
    x->request = std::move(request);
    if (!StartWorker(x)) return OpenResult::Failure("no se pudo iniciar la conexión a internet");
    // The connection, the TLS handshake and the response's headers, on the worker.
    const bool returned = RunOnWorker(*x, m_wait, [headers = core::Utf8ToWide(requestHeaders)](Exchange& w) {
        w.ok = ::HttpSendRequestW(w.raw, headers.empty() ? nullptr : headers.c_str(),
                                  static_cast<DWORD>(headers.size()), nullptr, 0);
        w.error = w.ok ? 0 : ::GetLastError();
    });
    auto response = std::make_unique<WinInetResponse>(x, m_wait);
    if (!returned) return failed(ERROR_INTERNET_TIMEOUT);
    if (!x->ok) return failed(x->error);

    // Never accept a redirect away from https, whatever the WinINet in use does by itself.
    const std::wstring finalUrl = FinalUrl(x->raw);
    if (finalUrl.size() >= 5 && _wcsnicmp(finalUrl.c_str(), L"http:", 5) == 0) {
        return failed(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
    }
    return OpenResult::Success(std::move(response));
}

}  // namespace update
