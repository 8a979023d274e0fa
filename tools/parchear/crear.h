// parchear crear: the patch archive that takes an installation from one folder's content to
// another's.
#pragma once

#include <cstdint>
#include <string>

#include "core/file_system.h"
#include "tools/parchear/refusal.h"

namespace parchear {

struct CrearSummary {
    std::size_t added = 0, changed = 0, folders = 0, deleted = 0;
    std::uint64_t archiveBytes = 0;
};

// Writes out (through a temporary file beside it, checked with Updater's reader before it
// takes the final name). Raises Refusal for unusable input; nothing is left at out then.
CrearSummary Crear(core::FileSystem& fs, const std::string& oldRoot, const std::string& newRoot, const std::string& out,
                   Console& console);

}  // namespace parchear
