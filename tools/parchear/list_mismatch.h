// Why an archive on the server is not the one a signed list describes, in words that blame what
// actually changed: a missing file is missing, and an intact archive under an edited line is the
// list's fault, not the archive's.
#pragma once

#include <string>

#include "core/file_system.h"
#include "updater/update/signed_list.h"

namespace parchear {

// Empty when path is the archive listed describes (patch number n); else the Spanish cause,
// starting with what differs.
std::string ListedArchiveMismatch(core::FileSystem& fs, const std::string& path, int n,
                                  const update::ListedPatch& listed);

}  // namespace parchear
