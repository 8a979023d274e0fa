// Updater's start-up: creates the program-wide objects once, runs frmMain's load step,
// shows the window and runs its message loop.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace window {

// Returns the exit code of the message loop (the program normally ends inside a handler).
// publicKeys: the build's trusted keys (base64); none for the unsigned patch list.
int RunUpdater(HINSTANCE instance, int showCommand, const std::vector<std::string>& publicKeys);

}  // namespace window
