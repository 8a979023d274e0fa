// Download benchmark: the patch download as Updater runs it (progress, message pump, file
// writes) against a bare WinINet loop of the same 1 KiB reads, on the same URL.
//   bench_download URL OUT_FILE full|bare
// Prints seconds, MB/s and the process's peak working set.
#include <windows.h>

// After windows.h, which defines its types.
#include <psapi.h>

#include <cstdio>
#include <string>

#include "core/file_system.h"
#include "core/text_win32.h"
#include "updater/update/download.h"
#include "updater/update/http_client_win32.h"
#include "updater/window/message_pump_win32.h"

namespace {

class NullConsole final : public update::RichTextBox {
public:
    std::size_t TextLength() override { return 0; }
    void ClearText() override {}
    void SetSelection(std::size_t, std::size_t) override {}
    void SetSelBold(bool) override {}
    void SetSelItalic(bool) override {}
    void SetSelColor(std::uint32_t) override {}
    void SetSelAlignment(update::Alignment) override {}
    void SetSelText(const std::string&) override {}
    void Refresh() override {}
};

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

class NoSound final : public update::Sound {
public:
    void PlayFileSync(const std::string&) override {}
};
class NoSleep final : public update::Sleeper {
public:
    void SleepMs(unsigned) override {}
};
class NoLaunch final : public update::Launcher {
public:
    bool ShellOpen(const std::string&, const std::string&, const std::string&) override { return false; }
};

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

// The limit of this design: the same reads with nothing else done.
std::uint64_t Bare(update::HttpClient& http, const std::string& url) {
    update::OpenResult opened = http.Open(url);
    if (!opened.response) return 0;
    char buffer[update::kChunkBytes];
    std::uint64_t total = 0;
    for (;;) {
        const update::ReadResult r = opened.response->Read(buffer, sizeof buffer);
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

    update::WinInetClient http;
    NullConsole console;
    TextProgress progress;
    window::Win32MessagePump pump;
    class NoPump final : public update::MessagePump {
    public:
        void ProcessPending() override {}
    } noPump;
    NoSound sound;
    NoSleep sleeper;
    NoLaunch launcher;
    update::MessagePump& chosenPump = mode == L"nopump" ? static_cast<update::MessagePump&>(noPump) : pump;
    update::Platform platform{core::RealFileSystem(),   http, console, progress, chosenPump, sound, sleeper, launcher,
                              core::ExecutableFolder(), '.'};

    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    std::uint64_t bytes = 0;
    if (mode == L"bare") {
        bytes = Bare(http, url);
    } else {
        const core::Outcome o = update::DownloadPatch(platform, url, out);
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
    std::printf("%s bytes=%llu seconds=%.3f mbps=%.1f peak_kib=%llu\n", core::WideToUtf8(mode).c_str(),
                static_cast<unsigned long long>(bytes), s, static_cast<double>(bytes) / 1e6 / s,
                static_cast<unsigned long long>(pmc.PeakWorkingSetSize / 1024));
    return 0;
}
