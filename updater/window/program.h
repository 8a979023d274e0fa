// The program-wide cDirImage reference that modUnzip holds. The start-up creates the one
// object and registers it here before any handler can run.
#pragma once

#include "updater/update/dir_image.h"

namespace modUnzip {

// The registered object; std::logic_error when the start-up has not registered one.
update::cDirImage& DirImage();
// Registers the program's object (once; a second registration replaces the first).
void RegisterDirImage(update::cDirImage& dir);

}  // namespace modUnzip
