// Download benchmark: the patch download as Updater runs it (progress, message pump, file
// writes, retries with their real waits) against a bare WinINet loop of the same 1 KiB reads
// with the same cache flags, on the same URL.
//   bench_download URL OUT_FILE full|bare|nopump
// Prints seconds, MB/s, the body bytes received over all requests, the time spent waiting
// between attempts and the process's peak working set.
#include <windows.h>

// After windows.h, which defines its types.
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "core/file_system.h"
#include "core/text_win32.h"
#include "updater/update/download.h"
#include "updater/update/http_client_win32.h"
#include "updater/window/message_pump_win32.h"
#include "updater/window/seams_win32.h"

namespace {

// Caption and width updates go through the same conversions a window would make.
class TextProgress final : public update::ProgressView {
public:
    void SetCaption(const std::string& c) override { m_caption = core::Utf8ToWide(c); }
    void SetBarWidthTwips(float w) override { m_width = static_cast<int>(w / 15.0f + 0.5f); }
    void SetBarVisible(bool) override {}

private:
    std::wstring m_caption;
    int m_width = 0;
};

// The waits between attempts, really waited, and the time they really took (a slice may
// oversleep; that time belongs to the back-off, not to the transfer).
class TimedSleeper final : public update::Sleeper {
public:
    void SleepMs(unsigned ms) override {
        LARGE_INTEGER a, b, f;
        ::QueryPerformanceCounter(&a);
        ::Sleep(ms);
        ::QueryPerformanceCounter(&b);
        ::QueryPerformanceFrequency(&f);
        waitedS += static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
    }
    double waitedS = 0;
};

// Counts the body bytes that arrive, whichever request they belong to.
class CountingResponse final : public update::HttpResponse {
public:
    CountingResponse(std::unique_ptr<update::HttpResponse> inner, std::uint64_t& received)
        : m_inner(std::move(inner)), m_received(received) {}
    int StatusCode() override { return m_inner->StatusCode(); }
    std::optional<std::string> ContentLengthText() override { return m_inner->ContentLengthText(); }
    std::optional<std::string> HeaderText(update::Header h) override { return m_inner->HeaderText(h); }
    update::ReadResult Read(void* buffer, std::size_t size) override {
        const update::ReadResult r = m_inner->Read(buffer, size);
        m_received += r.count;
        return r;
    }

private:
    std::unique_ptr<update::HttpResponse> m_inner;
    std::uint64_t& m_received;
};

class CountingClient final : public update::HttpClient {
public:
    explicit CountingClient(update::HttpClient& inner) : m_inner(inner) {}
    update::OpenResult Open(const std::string& url) override { return Wrap(m_inner.Open(url)); }
    update::OpenResult OpenRange(const std::string& url, const update::RangeRequest& range) override {
        return Wrap(m_inner.OpenRange(url, range));
    }
    std::uint64_t received = 0;

private:
    update::OpenResult Wrap(update::OpenResult opened) {
        if (opened.value) opened.value = std::make_unique<CountingResponse>(std::move(opened.value), received);
        return opened;
    }
    update::HttpClient& m_inner;
};

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

// The limit of this design: the same reads with nothing else done.
std::uint64_t Bare(update::HttpClient& http, const std::string& url) {
    update::OpenResult opened = http.Open(url);
    if (!opened.value) return 0;
    char buffer[update::kChunkBytes];
    std::uint64_t total = 0;
    for (;;) {
        const update::ReadResult r = opened.value->Read(buffer, sizeof buffer);
        if (r.status != update::ReadStatus::Data) break;
        total += r.count;
    }
    return total;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fputs("uso: bench_download URL OUT_FILE full|bare\n", stderr);
        return 2;
    }
    const std::string url = core::WideToUtf8(argv[1]);
    const std::string out = core::WideToUtf8(argv[2]);
    const std::wstring mode = argv[3];

    update::WinInetClient wininet;
    CountingClient http(wininet);
    TextProgress progress;
    window::Win32MessagePump pump;
    class NoPump final : public update::MessagePump {
    public:
        void ProcessPending() override {}
    } noPump;
    TimedSleeper sleeper;
    update::MessagePump& chosenPump = mode == L"nopump" ? static_cast<update::MessagePump&>(noPump) : pump;
    window::Win32Clock clock;
    update::DownloadServices services{core::RealFileSystem(), http, progress, chosenPump, sleeper, clock, '.', {}};

    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    std::uint64_t bytes = 0;
    if (mode == L"bare") {
        bytes = Bare(http, url);
    } else {
        const core::Outcome o = update::DownloadPatch(services, url, out);
        if (!o.ok) {
            std::fprintf(stderr, "falló: %s\n", o.reason.c_str());
            return 1;
        }
        bytes = core::RealFileSystem().FileSize(out);
    }
    QueryPerformanceCounter(&end);
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    const double s = Seconds(start, end);
    std::printf("%s bytes=%llu received=%llu waited_s=%.3f seconds=%.3f mbps=%.1f peak_kib=%llu\n",
                core::WideToUtf8(mode).c_str(), static_cast<unsigned long long>(bytes),
                static_cast<unsigned long long>(http.received), sleeper.waitedS, s,
                static_cast<double>(bytes) / 1e6 / s, static_cast<unsigned long long>(pmc.PeakWorkingSetSize / 1024));
    return 0;
}
