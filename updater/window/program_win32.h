// Updater's start-up: creates the program-wide objects once, runs frmMain's load step,
// shows the window and runs its message loop.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace window {

// Returns the exit code of the message loop (the program normally ends inside a handler).
// publicKeys: the build's trusted keys (base64); none for the unsigned patch list. arguments:
// the command line after the program's name (window/command_line.h).
int RunUpdater(HINSTANCE instance, int showCommand, const std::vector<std::string>& publicKeys,
               const wchar_t* arguments);

}  // namespace window
