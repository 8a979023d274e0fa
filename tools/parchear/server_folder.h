// The patch folder of a server as Updater sees it: <server>/parches/version.txt with the
// patch count, and <server>/parches/1.zip ... <count>.zip.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "tools/parchear/refusal.h"
#include "updater/update/remote_text.h"

namespace parchear {

// The count is read from three bytes, so it cannot go past 999.
inline constexpr int kMaxCount = update::kMaxPatchCount;

std::string PatchesFolder(const std::string& server);
std::string VersionPath(const std::string& server);
std::string StatePath(const std::string& server);  // parches/estado.txt
std::string ArchivePath(const std::string& server, int n);

struct CountRead {
    bool present = false;  // version.txt exists
    bool ok = false;       // present and Updater reads a usable count from it
    int count = 0;         // what Updater reads (0 when missing)
    std::string reason;    // Spanish cause when present && !ok
};

// Reads version.txt through Updater's own count fetch (its first three bytes, the leading
// number rules, the 16-bit range), then refuses what would mislead: negative or fractional
// counts, and a file whose full text says another number than its first three bytes.
CountRead ReadCount(core::FileSystem& fs, const std::string& server);

// Every file parchear writes into a server: through a temporary beside the target, committed
// and then moved over it, so that the server never serves part of a file.
void CopyAtomically(core::FileSystem& fs, const std::string& from, const std::string& to);
void WriteServerText(core::FileSystem& fs, const std::string& path, std::string_view text);

// Every problem that would stop or mislead a player's Updater; empty when all is well. With
// trusted keys, the list must carry a valid signature by one of them.
std::vector<std::string> Comprobar(core::FileSystem& fs, const std::string& server, Console& console,
                                   const std::vector<std::string>& trustedKeys = {});

// The numbers of the n.zip files in the server's parches folder, ascending, and its leftover
// temporary files; nothing when there is no parches folder yet.
struct FolderContents {
    std::vector<int> archives;
    std::vector<std::string> temporaries;
};
FolderContents ListPatchesFolder(core::FileSystem& fs, const std::string& server);

}  // namespace parchear
