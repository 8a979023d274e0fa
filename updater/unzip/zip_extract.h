// The extraction engine: a checked archive written below a target folder, each file through a
// temporary file that replaces the old one only once its size and CRC-32 are right.
#pragma once

#include <string>

#include "core/file_system.h"
#include "updater/unzip/name_decoder.h"
#include "updater/unzip/own_files.h"
#include "updater/unzip/refusal.h"
#include "updater/unzip/zip_directory.h"

namespace unzip {

// Extracts every entry of archive below target (an existing folder, with or without a trailing
// separator). Nothing is written unless the whole directory passed its checks; on failure the
// Result's reason is the short Spanish cause, its code the kind, and no temporary file is left behind. A file that
// own says the running program holds is moved aside and replaced; a failure later in the same
// archive moves it back.
Result ExtractArchive(const std::string& archive, const std::string& target, core::FileSystem& fs,
                      const NameDecoder& decoder, const Limits& limits = {}, OwnFiles* own = nullptr);

}  // namespace unzip
