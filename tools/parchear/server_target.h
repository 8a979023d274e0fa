// The folder an operator names as the server's is the one that holds parches/, never parches/
// itself: a nested parches/parches would start a second series no Updater ever asks for.
#pragma once

#include <string>

#include "core/file_system.h"

namespace parchear {

// Raises Refusal, naming the folder to give instead, for a missing folder, one named "parches",
// or one holding version.txt at its top.
void RequireServerFolder(core::FileSystem& fs, const std::string& server);

}  // namespace parchear
