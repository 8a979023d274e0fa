// Updater.exe under Wine for the end-to-end suites: one run read and driven through its main
// window as a player would, and an installation folder with its own copy of the program.
#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/probe/probe.h"

namespace harness {

namespace fs = std::filesystem;

inline constexpr const char* kDone = "Juego actualizado correctamente.";
inline constexpr DWORD kWindowTimeoutMs = 20000;
inline constexpr DWORD kRunTimeoutMs = 60000;
// Client points of the buttons: Jugar on the left, Salir on the right.
inline constexpr POINT kJugar{48 + 50, 352 + 12};
inline constexpr POINT kSalir{480 + 50, 352 + 12};

std::string Env(const char* name);
// A Unix path handed over by the test runner, as Wine sees it (empty when the variable is unset).
fs::path FromUnix(const char* variable);

// Text split at CR LF; a last line without a break counts too.
std::vector<std::string> Lines(const std::string& text);
// Whether a console line is one of a run's closing lines (success or failure).
bool ClosesRun(const std::string& line);

// How a wait for the end of a run ended: the console's lines, and what went wrong (empty when
// the last line closes the run).
struct RunEnd {
    std::vector<std::string> lines;
    std::string failure;
};

// One Updater process at a time, read and driven through its main window; a process still
// running at the end is killed.
class UpdaterRun {
public:
    UpdaterRun() = default;
    explicit UpdaterRun(const fs::path& exe) { Start(exe); }
    ~UpdaterRun() { Stop(); }
    UpdaterRun(const UpdaterRun&) = delete;
    UpdaterRun& operator=(const UpdaterRun&) = delete;

    // Starts exe with its command line's arguments and waits for its window; false when none appeared.
    bool Start(const fs::path& exe, const std::string& arguments = "");
    HWND Window() const { return m_window; }
    probe::Process& Process() { return m_process; }
    HWND Control(int id) const;
    std::vector<std::string> Console() const;
    // Polls the console until its last line closes the run, the process ends, check names a
    // failure (check runs first, every 100 ms) or timeoutMs pass.
    RunEnd WaitForEnd(DWORD timeoutMs = kRunTimeoutMs, const std::function<std::string()>& check = {});
    // The console's lines at the end of WaitForEnd.
    std::vector<std::string> WaitForEndOfRun(DWORD timeoutMs = kRunTimeoutMs) { return WaitForEnd(timeoutMs).lines; }
    // A message box of the process, once one shows.
    std::optional<probe::Dialog> WaitForBox(DWORD timeoutMs = kRunTimeoutMs) const;
    // A left click at a point of the client area.
    void Click(POINT at) const;
    // Presses Salir and waits for the end; kills the process when it does not end.
    bool Exit();

protected:
    void Stop();

    probe::Process m_process;
    HWND m_window = nullptr;
};

// A fresh folder holding a copy of the program as Updater.exe and Recursos/OUTPUT; removed
// (after its run is stopped) at the end.
class UpdaterFolder : public UpdaterRun {
public:
    UpdaterFolder(const fs::path& updaterExe, fs::path folder);
    ~UpdaterFolder();

    const fs::path& Folder() const { return m_folder; }
    // rel is UTF-8 with '/' separators.
    fs::path Path(const std::string& rel) const;
    void Version(const std::string& content) const;
    std::string Version() const;

    // Starts the installation's own Updater.exe, or the one at exe (the same folder seen elsewhere).
    bool Start(const fs::path& exe = {}, const std::string& arguments = "") {
        return UpdaterRun::Start(exe.empty() ? Path("Updater.exe") : exe, arguments);
    }

private:
    fs::path m_folder;
};

}  // namespace harness
