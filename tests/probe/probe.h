// Test probe for Windows programs under Wine: finds another process's dialog boxes and
// windows, reads what they show, and presses their buttons, as a player would.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "core/handle_win32.h"

namespace probe {

struct Button {
    int id = 0;
    std::string text;
};

// What a dialog box (a message box) shows.
struct Dialog {
    HWND hwnd = nullptr;
    DWORD pid = 0;
    std::string caption;  // UTF-8
    std::string text;     // UTF-8, line breaks as in the box
    bool hasIcon = false;
    std::vector<Button> buttons;
};

// Waits up to timeoutMs for a visible dialog box of process pid (0: any process).
std::optional<Dialog> WaitForDialog(DWORD pid, DWORD timeoutMs);

// Presses a button of the dialog (IDOK by default) and waits for the dialog to go away.
bool Press(const Dialog& dialog, int id = IDOK, DWORD timeoutMs = 5000);

// Waits for a visible top-level window of process pid whose title is title (empty: any title).
HWND WaitForWindow(DWORD pid, const std::string& title, DWORD timeoutMs);

// A window's text through WM_GETTEXT, as UTF-8.
std::string WindowText(HWND hwnd);

// A started process, with its exit code once it has ended.
class Process {
public:
    // Starts exe (wide-API, quoted) with the given argument text in folder cwd (empty: inherit).
    static Process Start(const std::string& exe, const std::string& arguments, const std::string& cwd = {});
    DWORD Pid() const { return m_pid; }
    // Waits for the end; nothing when it is still running after timeoutMs.
    std::optional<DWORD> Wait(DWORD timeoutMs);
    void Kill();
    bool Running();
    // Whether the process runs as a 32-bit program on 64-bit Windows (WOW64).
    bool IsWow64() const;

private:
    core::UniqueHandle m_process;
    DWORD m_pid = 0;
};

}  // namespace probe
