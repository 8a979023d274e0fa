// The window's text font: "MS Sans Serif" 8.25 points, or the system's nearest sans-serif
// where that face is missing.
#pragma once

#include "updater/window/gdi_win32.h"

namespace window {

gdi::Font CreateSansSerif(bool bold, bool italic);

}  // namespace window
