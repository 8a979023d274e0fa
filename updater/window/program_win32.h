// Updater's start-up: creates the program-wide objects once, runs frmMain's load step,
// shows the window and runs its message loop.
#pragma once

#include <windows.h>

namespace window {

// Returns the exit code of the message loop (the program normally ends inside a handler).
int RunUpdater(HINSTANCE instance, int showCommand);

}  // namespace window
