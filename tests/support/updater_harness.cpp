#include "tests/support/updater_harness.h"

#include <cstdlib>

#include "tests/support/files.h"
#include "updater/window/window_ids.h"

namespace harness {

namespace {
constexpr const char* kVersionRel = "Recursos/OUTPUT/Update.ini";
}  // namespace

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

fs::path FromUnix(const char* variable) {
    const std::string unix = Env(variable);
    return unix.empty() ? fs::path() : fs::path("Z:" + unix);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", start)) {
        out.push_back(text.substr(start, at - start));
        start = at + 2;
    }
    if (start < text.size()) out.push_back(text.substr(start));
    return out;
}

bool ClosesRun(const std::string& line) {
    // The keyed Updater's refusals of the list ("La lista de actualizaciones del servidor ..."), an
    // unreadable Serie.ini and a disk without room for the next patch end it too: a wait that missed
    // them would sit out its whole time-out.
    for (const char* start : {"No se pudo", "La lista de actualizaciones",
                              "No se puede leer Recursos\\OUTPUT\\Serie.ini", "Falta espacio en el disco: "}) {
        if (line.rfind(start, 0) == 0) return true;
    }
    return line == kDone;
}

bool UpdaterRun::Start(const fs::path& exe, const std::string& arguments) {
    m_process = probe::Process::Start(testsupport::U8(exe), arguments);
    m_window = probe::WaitForWindow(m_process.Pid(), "Vandrel Updater", kWindowTimeoutMs);
    return m_window != nullptr;
}

HWND UpdaterRun::Control(int id) const { return m_window ? GetDlgItem(m_window, id) : nullptr; }

std::vector<std::string> UpdaterRun::Console() const {
    HWND console = Control(window::ids::kConsoleId);
    return console ? Lines(probe::WindowText(console)) : std::vector<std::string>{};
}

RunEnd UpdaterRun::WaitForEnd(DWORD timeoutMs, const std::function<std::string()>& check) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (std::string failure = check ? check() : std::string(); !failure.empty()) return {Console(), failure};
        if (!m_process.Running()) return {Console(), "Updater ended"};
        RunEnd result{Console(), {}};
        if (!result.lines.empty() && ClosesRun(result.lines.back())) return result;
        if (GetTickCount64() >= end) {
            result.failure = "time-out";
            return result;
        }
        Sleep(100);
    }
}

std::optional<probe::Dialog> UpdaterRun::WaitForBox(DWORD timeoutMs) const {
    return probe::WaitForDialog(m_process.Pid(), timeoutMs);
}

void UpdaterRun::Click(POINT at) const {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(m_window, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(m_window, WM_LBUTTONUP, 0, where);
}

bool UpdaterRun::Exit() {
    if (m_window && m_process.Running()) Click(kSalir);
    if (m_process.Wait(10000).has_value()) return true;
    m_process.Kill();
    return false;
}

void UpdaterRun::Stop() {
    if (m_process.Running()) m_process.Kill();
}

UpdaterFolder::UpdaterFolder(const fs::path& updaterExe, fs::path folder) : m_folder(std::move(folder)) {
    fs::remove_all(m_folder);
    fs::create_directories(m_folder / "Recursos" / "OUTPUT");
    fs::copy_file(updaterExe, m_folder / "Updater.exe");
}

UpdaterFolder::~UpdaterFolder() {
    Stop();
    std::error_code ec;
    fs::remove_all(m_folder, ec);
}

fs::path UpdaterFolder::Path(const std::string& rel) const { return m_folder / testsupport::U8Path(rel); }

void UpdaterFolder::Version(const std::string& content) const { testsupport::WriteBytes(Path(kVersionRel), content); }

std::string UpdaterFolder::Version() const { return testsupport::ReadBytes(Path(kVersionRel)); }

}  // namespace harness
