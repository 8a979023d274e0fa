// Runs of a real Updater.exe under Wine in one installation folder, each either cut short by
// TerminateProcess at a chosen moment (as a power cut or a kill from the task manager would)
// or left to finish.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/updater_harness.h"

namespace crash {

namespace fs = std::filesystem;

// When a run is cut short, read from the installation folder while Updater works.
struct KillPoint {
    enum class When {
        AfterWindow,  // delay milliseconds after the main window appears
        Written,      // path was (re)written in this run and has at least minSize bytes
        Gone,         // path was written in this run with at least minSize bytes, then deleted
    };
    std::string name;
    When when = When::AfterWindow;
    std::string path;  // relative to the installation, '/' separators
    std::uint64_t minSize = 0;
    unsigned delay = 0;
    // A moment so short that polling may miss it; a miss is reported, not a failure.
    bool fleeting = false;
};

struct KillResult {
    bool seen = false;    // the condition held while the run was still going
    double seconds = 0;   // from the window to the kill
    std::string failure;  // what went wrong with the run itself (no window, a box, a time-out)
};

// The shared harness's installation, with runs cut short at kill points.
class KillableUpdater : public harness::UpdaterFolder {
public:
    // A fresh folder holding a copy of Updater.exe; the caller fills it.
    KillableUpdater(const std::string& name, std::string finalVersionText);

    // Update.ini's content; empty when there is none.
    std::string VersionText() const;

    // Starts Updater and kills it when the point's condition holds, or when the run reaches
    // its end first (then seen is false).
    KillResult RunAndKill(const KillPoint& point);
    // Starts Updater and waits for the console's closing line; returns the console's lines
    // (the failure text as a last line starting with "!" when the run did not end).
    std::vector<std::string> RunToEnd();
    int Runs() const { return m_runs; }

private:
    struct Stat {
        bool exists = false;
        std::uint64_t size = 0;
        std::uint64_t written = 0;
    };
    Stat StatOf(const std::string& rel) const;
    bool WrittenSince(const std::string& rel, const Stat& before, std::uint64_t minSize) const;
    std::string StartAndWaitForWindow();
    std::string UnexpectedState();

    std::string m_finalVersionText;
    int m_runs = 0;
};

}  // namespace crash
