// The extraction engine: a checked archive written below a target folder, each file through a
// temporary file that replaces the old one only once its size and CRC-32 are right.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/file_system.h"
#include "updater/unzip/held_files.h"
#include "updater/unzip/name_decoder.h"
#include "updater/unzip/refusal.h"
#include "updater/unzip/zip_directory.h"

namespace unzip {

// Extracts every entry of archive below target (an existing folder, with or without a trailing
// separator). Nothing is written unless the whole directory passed its checks; on failure the
// Result's reason is the short Spanish cause, its code the kind, and no temporary file is left behind. A file that
// held holds is put in place by held, and undone by it when a later one of the same archive fails.
// beforeWrite, when given, sees the checked directory before anything is written; its refusal is
// the extraction's result, with nothing changed.
using BeforeWrite = std::function<Result(const Directory&)>;
Result ExtractArchive(const std::string& archive, const std::string& target, core::FileSystem& fs,
                      const NameDecoder& decoder, const Limits& limits = {}, HeldFiles* held = nullptr,
                      const BeforeWrite& beforeWrite = {});

// Writes the data of e (an entry CheckFetchedEntry passed), read from file, to out: copied or
// inflated, never past its size, and refused unless its size and CRC-32 are right. name is the
// entry's path for the refusal's text. Never raises; out is not committed.
Result WriteEntryData(core::FileReader& file, const Entry& e, std::string_view name, core::FileWriter& out,
                      std::size_t bufferSize = 64u << 10);

// The threads of one extraction: lanes inflating (the caller is the first), a writer per lane
// and a shared pool of flushers. The flushes wait for the disk, not a core, so the flushers
// outnumber the cores (measured with bench/unzip: 20,000 small files extract about 10% faster
// with 8 flushers than with 4, 25% than with 2); the lanes stop at 4 (no machine measured gains
// from more), which a player's 4- or 8-core machine reaches: 16 threads in all.
inline constexpr std::size_t kMaxLanes = 4;
inline constexpr std::size_t kDefaultFlushers = 8;
inline constexpr std::size_t kMaxThreads = 16;  // caller included
struct ThreadPlan {
    std::size_t lanes = 1;
    std::size_t flushers = 1;
    std::size_t Total() const { return 2 * lanes + flushers; }
};
// The plan for files to write on a machine with cores (0: unknown); limits.lanes and
// limits.flushers, when set, replace the defaults up to the bounds.
ThreadPlan PlanThreads(unsigned cores, std::size_t files, const Limits& limits);

}  // namespace unzip
