#include "tests/crash/updater_run.h"

#include "core/text_win32.h"
#include "tests/crash/tree.h"

namespace crash {
namespace {

constexpr DWORD kWindowTimeoutMs = 20000;
constexpr ULONGLONG kRunTimeoutMs = 90000;
// A run that starts at the final version only asks for the count; this is ample for that.
constexpr ULONGLONG kIdleRunMs = 4000;
constexpr const char* kVersionRel = "Recursos/OUTPUT/Update.ini";
constexpr const char* kDone = "Juego actualizado correctamente.";

struct ChildSearch {
    HWND parent;
    POINT at;
    HWND found = nullptr;
};

BOOL CALLBACK FindChildAt(HWND child, LPARAM param) {
    auto* s = reinterpret_cast<ChildSearch*>(param);
    RECT r;
    if (!GetWindowRect(child, &r)) return TRUE;
    POINT tl{r.left, r.top};
    ScreenToClient(s->parent, &tl);
    if (tl.x == s->at.x && tl.y == s->at.y) {
        s->found = child;
        return FALSE;
    }
    return TRUE;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out.push_back(line);
            line.clear();
            ++i;
        } else {
            line += text[i];
        }
    }
    if (!line.empty()) out.push_back(line);
    return out;
}

}  // namespace

Installation::Installation(const std::string& name, std::string finalVersionText)
    : m_root(fs::temp_directory_path() / ("vandrel-crash-" + name)), m_finalVersionText(std::move(finalVersionText)) {
    fs::remove_all(m_root);
    fs::create_directories(m_root / "Recursos" / "OUTPUT");
    fs::copy_file(UPDATER_EXE, m_root / "Updater.exe");
}

Installation::~Installation() {
    if (m_process.Running()) m_process.Kill();
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

fs::path Installation::Path(const std::string& rel) const { return m_root / testsupport::U8Path(rel); }

std::string Installation::VersionText() const {
    std::error_code ec;
    return fs::exists(Path(kVersionRel), ec) ? ReadBytes(Path(kVersionRel)) : std::string();
}

// Attributes only: the file is never opened, so Updater's moves and deletions are not disturbed.
Installation::Stat Installation::StatOf(const std::string& rel) const {
    Stat s;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Path(rel).wstring().c_str(), GetFileExInfoStandard, &data)) return s;
    s.exists = true;
    s.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    s.written =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return s;
}

bool Installation::WrittenSince(const std::string& rel, const Stat& before, std::uint64_t minSize) const {
    const Stat now = StatOf(rel);
    if (!now.exists || now.size < minSize) return false;
    return !before.exists || now.size != before.size || now.written != before.written;
}

std::string Installation::StartAndWaitForWindow() {
    ++m_runs;
    const auto u8 = (m_root / "Updater.exe").u8string();
    m_process = probe::Process::Start(std::string(u8.begin(), u8.end()), "");
    m_window = probe::WaitForWindow(m_process.Pid(), "Vandrel Updater", kWindowTimeoutMs);
    return m_window ? std::string() : "no Updater window";
}

// A box on screen, or a process that ended by itself: both mean the run went wrong.
std::string Installation::UnexpectedState() {
    if (!m_process.Running()) return "Updater ended by itself";
    const auto box = probe::WaitForDialog(m_process.Pid(), 0);
    if (!box) return {};
    // The console's red line after the box says what failed.
    std::string failure = "a box: " + box->text + "; console:";
    probe::Press(*box);
    Sleep(500);
    for (const std::string& line : Console()) failure += " | " + line;
    return failure;
}

std::vector<std::string> Installation::Console() const {
    ChildSearch s{m_window, {152, 272}};
    EnumChildWindows(m_window, FindChildAt, reinterpret_cast<LPARAM>(&s));
    return s.found ? Lines(probe::WindowText(s.found)) : std::vector<std::string>{};
}

KillResult Installation::RunAndKill(const KillPoint& point) {
    KillResult result;
    const Stat target = StatOf(point.path.empty() ? kVersionRel : point.path);
    const Stat version = StatOf(kVersionRel);
    const bool alreadyFinal = VersionText() == m_finalVersionText;
    result.failure = StartAndWaitForWindow();
    if (!result.failure.empty()) {
        m_process.Kill();
        return result;
    }
    const ULONGLONG start = GetTickCount64();
    bool appeared = false;  // for Gone: the file was written in this run
    ULONGLONG nextLook = start;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        // The run is over once the final version is on disk (or, for a run that starts there,
        // once it has had the time to ask for the count). Told by the size alone: reading the
        // file here could make Updater's replacement of it fail. Looked at before the point's
        // condition, so that a change between the two looks counts as the condition seen.
        const bool over = alreadyFinal ? now - start >= kIdleRunMs
                                       : WrittenSince(kVersionRel, version, 0) &&
                                             StatOf(kVersionRel).size == m_finalVersionText.size();
        bool holds = false;
        switch (point.when) {
            case KillPoint::When::AfterWindow: holds = now - start >= point.delay; break;
            case KillPoint::When::Written: holds = WrittenSince(point.path, target, point.minSize); break;
            case KillPoint::When::Gone:
                if (!appeared) {
                    appeared = WrittenSince(point.path, target, point.minSize);
                } else {
                    holds = !StatOf(point.path).exists;
                }
                break;
        }
        if (holds) {
            result.seen = true;
            break;
        }
        if (over) break;
        if (now >= nextLook) {
            nextLook = now + 100;
            result.failure = UnexpectedState();
            if (result.failure.empty() && now - start > kRunTimeoutMs) {
                result.failure = "time-out; console:";
                for (const std::string& line : Console()) result.failure += " | " + line;
            }
            if (!result.failure.empty()) break;
        }
        // Moments that last microseconds are watched without pause; the rest at a gentler pace.
        if (!point.fleeting) Sleep(1);
    }
    result.seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
    m_process.Kill();
    if (!m_process.Wait(10000) && result.failure.empty()) result.failure = "Updater still there after TerminateProcess";
    return result;
}

std::vector<std::string> Installation::RunToEnd() {
    const std::string failure = StartAndWaitForWindow();
    if (!failure.empty()) {
        m_process.Kill();
        return {"!" + failure};
    }
    const ULONGLONG end = GetTickCount64() + kRunTimeoutMs;
    std::vector<std::string> lines;
    for (;;) {
        lines = Console();
        if (!lines.empty() && (lines.back() == kDone || lines.back().rfind("No se pudo", 0) == 0)) break;
        const std::string wrong = UnexpectedState();
        if (!wrong.empty() || GetTickCount64() > end) {
            lines.push_back("!" + (wrong.empty() ? std::string("time-out") : wrong));
            break;
        }
        Sleep(100);
    }
    // Salir, as the player would; the process is killed only when it does not go.
    const LPARAM at = MAKELPARAM(480 + 50, 352 + 12);
    PostMessageW(m_window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(m_window, WM_LBUTTONUP, 0, at);
    if (!m_process.Wait(10000)) {
        lines.push_back("!Salir did not end Updater");
        m_process.Kill();
    }
    return lines;
}

}  // namespace crash
