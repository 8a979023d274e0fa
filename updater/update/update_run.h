// BuscarActualizaciones: brings the installation up to date, patch by patch, recording each
// installed patch as the local version and finally the server's count.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/outcome.h"
#include "updater/update/dir_image.h"
#include "updater/update/trusted_list.h"

namespace update {

// What an extraction wrote, for the log.
struct Extracted {
    std::uint64_t entries = 0;
    std::uint64_t bytes = 0;
};
// How an extraction failed: the archive or the machine refused it (the reason is the cause), or
// the disk cannot hold its files (the reason is the whole red line; nothing was written).
enum class ExtractFailure { Refused, NoRoom };
using ExtractResult = core::Result<Extracted, ExtractFailure>;

// Extracts one archive over a folder (modUnzip's Descomprimir in the program).
class Extractor {
public:
    virtual ~Extractor() = default;
    virtual ExtractResult Extract(const std::string& archivePath, const std::string& targetFolder) = 0;
};

// base + "parches/version.txt" and base + "parches/<n>.zip".
std::string CountUrl(const std::string& baseUrl);
std::string PatchUrl(const std::string& baseUrl, const std::string& patchText);

// How a keyed run checks the installed files against the signed state when it is up to date.
struct RunOptions {
    // Updater.exe /reparar: every file's SHA-256 as well, not only its presence and size.
    bool fullCheck = false;
};

// The update run. Raises core::RuntimeError for the faults that end it with the error box
// (version file, overflow); a failed count fetch, download or extraction ends it with a red
// console line, the version file holding the last patch installed. Returns the end of the program that a
// download asked for (the caller shows its box and ends the program), otherwise nothing.
// With keys, the list must be signed by one of them and every archive must match it.
std::optional<ProgramEnd> BuscarActualizaciones(cDirImage& dir, Extractor& extractor, const std::string& baseUrl,
                                                const TrustedKeys& keys = {}, const RunOptions& options = {});

}  // namespace update
