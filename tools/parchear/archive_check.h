// Checking an archive exactly as Updater will treat it: the same directory reader, the same
// extraction engine with its CRC-32 and size checks, and the same limits; only the writes
// are discarded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_system.h"

namespace parchear {

struct ArchiveCheck {
    bool ok = false;
    std::string reason;  // Spanish cause when !ok
    std::size_t entries = 0;
    std::uint64_t bytes = 0;  // size of the archive file
    std::uint64_t contentBytes = 0;
    // Some name is stored without the UTF-8 flag and with bytes above 127: each player's
    // Windows decodes it with its own code page.
    bool codePageNames = false;
    // Entries holding a private key in PEM form (a patch must never carry one); Updater itself
    // would install them, so ok does not depend on this.
    std::vector<std::string> privateKeys;
};

ArchiveCheck CheckArchive(core::FileSystem& fs, const std::string& path);

}  // namespace parchear
