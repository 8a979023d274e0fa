// An installation of the game for the fault tests: a folder with its own copy of Updater.exe,
// a neighbour folder beside it that no run may touch, and what Updater shows while it runs.
#pragma once

#include <windows.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/probe/probe.h"
#include "tests/support/files.h"

namespace faults {

namespace fs = std::filesystem;

std::string Env(const char* name);
// A Unix path handed over by the harness, as Wine sees it (empty when the variable is unset).
fs::path FromUnix(const char* variable);
using testsupport::ReadBytes;
using testsupport::WriteBytes;

// Every file (with its bytes) and folder (as "<carpeta>") below root, by relative path.
using Tree = std::map<std::string, std::string>;
Tree Snapshot(const fs::path& root);
// Relative paths of leftovers: temporary files of the extractor and downloaded archives.
std::vector<std::string> Leftovers(const fs::path& root);

inline constexpr DWORD kRunTimeoutMs = 60000;

class Installation {
public:
    // base/name/juego is the installation, base/name/vecino its neighbour.
    Installation(const fs::path& base, const std::string& name);
    ~Installation();
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    fs::path Folder() const { return m_root / "juego"; }
    fs::path Neighbour() const { return m_root / "vecino"; }
    fs::path Path(const std::string& rel) const { return Folder() / testsupport::U8Path(rel); }
    void Version(const std::string& content) const;
    std::string Version() const;

    // Starts Updater.exe of the installation, or the one at exe (the same folder seen elsewhere).
    void Start(const fs::path& exe = {});
    // The console's lines once its last one closes the run (or what it shows after the time-out).
    std::vector<std::string> WaitForEndOfRun(DWORD timeoutMs = kRunTimeoutMs);
    std::optional<probe::Dialog> WaitForBox(DWORD timeoutMs) const;
    // Presses Salir and waits for the end; kills the process when it does not end.
    bool Exit();
    probe::Process& Process() { return m_process; }

private:
    HWND Console() const;
    fs::path m_root;
    probe::Process m_process;
    HWND m_window = nullptr;
};

}  // namespace faults
