// What a patch from one version of the game folder to the next must hold: the files that are
// new or whose content changed, the new folders, and what it cannot express (deletions).
#pragma once

#include <string>
#include <vector>

#include "core/file_system.h"
#include "tools/parchear/folder_scan.h"
#include "tools/parchear/refusal.h"

namespace parchear {

enum class ChangeKind { Added, Changed, NewFolder };

struct Change {
    Item item;
    ChangeKind kind;
};

struct Plan {
    std::vector<Change> pack;           // in path order
    std::vector<Item> deleted;          // in the old folder only
    std::vector<std::string> problems;  // each one stops the patch
    std::uint64_t packBytes = 0;        // sum of the packed files' sizes
};

// True when the two files hold the same bytes.
bool SameContent(core::FileSystem& fs, const std::string& a, const std::string& b);

// Compares the two scans (contents by bytes) and checks every packed name and the totals
// against what Updater accepts.
Plan MakePlan(core::FileSystem& fs, const std::string& oldRoot, const Scan& oldScan, const std::string& newRoot,
              const Scan& newScan, Console& console);

}  // namespace parchear
