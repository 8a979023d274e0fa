// The patch folder of a server as Updater sees it: <server>/parches/version.txt with the
// patch count, and <server>/parches/1.zip ... <count>.zip.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "tools/parchear/refusal.h"

namespace parchear {

// The count is read from three bytes, so it cannot go past 999.
inline constexpr int kMaxCount = 999;

std::string PatchesFolder(const std::string& server);
std::string VersionPath(const std::string& server);
std::string ArchivePath(const std::string& server, int n);

struct CountRead {
    bool present = false;  // version.txt exists
    bool ok = false;       // present and Updater reads a usable count from it
    int count = 0;         // what Updater reads (0 when missing)
    std::string problem;   // Spanish cause when present && !ok
};

// Reads version.txt through Updater's own count fetch (its first three bytes, the leading
// number rules, the 16-bit range), then refuses what would mislead: negative or fractional
// counts, and a file whose full text says another number than its first three bytes.
CountRead ReadCount(core::FileSystem& fs, const std::string& server);

// Checks the archive, copies it as parches/<n+1>.zip and then moves the new count into
// version.txt, each through a temporary file. Returns the new count; raises Refusal.
int Publicar(core::FileSystem& fs, const std::string& archive, const std::string& server, Console& console);

// Every problem that would stop or mislead a player's Updater; empty when all is well.
std::vector<std::string> Comprobar(core::FileSystem& fs, const std::string& server, Console& console);

}  // namespace parchear
