// The files a patch deletes, carried in its archive's comment (the end record's, which every
// Updater ignores) from crear to publicar, so that the operator takes no extra step:
//
//   parchear-borrados 1
//   borrado <path>        <- one per deleted file, as Updater names the extracted entry
//
// Lines end in LF; the whole comment is at most 65535 bytes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/file_system.h"

namespace parchear {

// The comment for files; nothing when it would not fit in an archive's comment.
std::optional<std::string> DeletionsComment(const std::vector<std::string>& files);

// The files the archive's comment says the patch deletes; none when it carries no such comment.
// Raises Refusal when the comment says it carries them but is damaged.
std::vector<std::string> ReadDeletions(core::FileSystem& fs, const std::string& archive);

// A scanned path as Updater names the extracted entry (composed, '/'-separated); empty when
// Updater would refuse it as an entry name.
std::string UpdaterPath(const std::string& path);

}  // namespace parchear
