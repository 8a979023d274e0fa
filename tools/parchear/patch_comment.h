// The files a patch deletes, carried in its archive's comment (the end record's, which every
// Updater ignores) from crear to publicar, so that the operator takes no extra step:
//
//   parchear-borrados 1
//   borrado <path>        <- one per deleted file, as Updater names the extracted entry
//   carpeta <path>        <- one per deleted folder, whose folder entry new players no longer get
//
// Lines end in LF; the whole comment is at most 65535 bytes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/file_system.h"

namespace parchear {

struct Deletions {
    std::vector<std::string> files, folders;
    bool Empty() const { return files.empty() && folders.empty(); }
};

// The comment for deleted; nothing when it would not fit in an archive's comment.
std::optional<std::string> DeletionsComment(const Deletions& deleted);

// What the archive's comment says the patch deletes; nothing when it carries no such comment.
// Raises Refusal when the comment says it carries them but is damaged.
Deletions ReadDeletions(core::FileSystem& fs, const std::string& archive);

// A scanned path as Updater names the extracted entry (composed, '/'-separated); empty when
// Updater would refuse it as an entry name.
std::string UpdaterPath(const std::string& path);

}  // namespace parchear
