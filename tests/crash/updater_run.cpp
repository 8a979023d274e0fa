#include "tests/crash/updater_run.h"

#include "tests/support/files.h"

namespace crash {
namespace {

constexpr DWORD kRunTimeoutMs = 90000;
// A run that starts at the final version only asks for the count; this is ample for that.
constexpr ULONGLONG kIdleRunMs = 4000;
constexpr const char* kVersionRel = "Recursos/OUTPUT/Update.ini";

}  // namespace

KillableUpdater::KillableUpdater(const std::string& name, std::string finalVersionText)
    : harness::UpdaterFolder(UPDATER_EXE, fs::temp_directory_path() / ("vandrel-crash-" + name)),
      m_finalVersionText(std::move(finalVersionText)) {}

std::string KillableUpdater::VersionText() const {
    std::error_code ec;
    return fs::exists(Path(kVersionRel), ec) ? testsupport::ReadBytes(Path(kVersionRel)) : std::string();
}

// Attributes only: the file is never opened, so Updater's moves and deletions are not disturbed.
KillableUpdater::Stat KillableUpdater::StatOf(const std::string& rel) const {
    Stat s;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Path(rel).wstring().c_str(), GetFileExInfoStandard, &data)) return s;
    s.exists = true;
    s.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    s.written =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return s;
}

bool KillableUpdater::WrittenSince(const std::string& rel, const Stat& before, std::uint64_t minSize) const {
    const Stat now = StatOf(rel);
    if (!now.exists || now.size < minSize) return false;
    return !before.exists || now.size != before.size || now.written != before.written;
}

std::string KillableUpdater::StartAndWaitForWindow() {
    ++m_runs;
    return Start() ? std::string() : "no Updater window";
}

// A box on screen, or a process that ended by itself: both mean the run went wrong.
std::string KillableUpdater::UnexpectedState() {
    if (!m_process.Running()) return "Updater ended by itself";
    const auto box = WaitForBox(0);
    if (!box) return {};
    // The console's red line after the box says what failed.
    std::string failure = "a box: " + box->text + "; console:";
    probe::Press(*box);
    Sleep(500);
    for (const std::string& line : Console()) failure += " | " + line;
    return failure;
}

KillResult KillableUpdater::RunAndKill(const KillPoint& point) {
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

std::vector<std::string> KillableUpdater::RunToEnd() {
    const std::string failure = StartAndWaitForWindow();
    if (!failure.empty()) {
        m_process.Kill();
        return {"!" + failure};
    }
    harness::RunEnd end = WaitForEnd(kRunTimeoutMs, [this] { return UnexpectedState(); });
    if (!end.failure.empty()) end.lines.push_back("!" + end.failure);
    // Salir, as the player would; the process is killed only when it does not go.
    if (!Exit()) end.lines.push_back("!Salir did not end Updater");
    return end.lines;
}

}  // namespace crash
