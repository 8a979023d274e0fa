// What brings an installation to the signed state's version, and how each patch archive's part
// of it is fetched: the files, folders and deletions a catch-up (or a repair) needs, and per
// archive either the whole download or single-range requests for just the needed entries.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "core/outcome.h"
#include "updater/unzip/zip_directory.h"
#include "updater/update/state_file.h"

namespace update {

// Entries closer than this share one request: reading the gap costs less than another request.
inline constexpr std::uint64_t kRangeMergeGap = 64u << 10;
// The central directory gives neither the length of a local header's extra field (which may
// differ from the central one) nor whether a data descriptor follows the data: a request reads
// this much past the header's fixed part and name, and past the data. It never reaches past the
// next entry's header (or the directory), so in an archive without gaps between entries it is
// exact; a longer local extra field is read by a further request.
inline constexpr std::uint64_t kLocalExtraMargin = 1024;
inline constexpr std::uint64_t kDescriptorMargin = 24;

struct CatchUpNeed {
    std::map<std::int16_t, std::vector<StateLine>> files;  // archivo lines to fetch, by patch
    std::vector<std::string> folders;                      // carpeta paths to make
    std::vector<std::string> deletions;                    // borrado paths present, files only
    bool Empty() const { return files.empty() && folders.empty() && deletions.empty(); }
};

// Whether a path relative to the installation ('/'-separated, as the state writes it) is a file.
using FileExistsQuery = std::function<bool(const std::string& relativePath)>;

// The catch-up from the installed version: every archivo and carpeta newer than it, and every
// borrado that exists.
CatchUpNeed NeededSince(const InstallState& state, std::int16_t installed, const FileExistsQuery& exists);

// The quick check of an up-to-date installation, one query per line and no content read: every
// archivo missing or of another size, every carpeta missing and every borrado present.
CatchUpNeed QuickCheck(const InstallState& state, core::FileSystem& fs, const std::string& installFolder);

// installFolder + "\" + the state's path.
std::string InstalledPath(const std::string& installFolder, const std::string& relativePath);

// True when the archive of patch goes whole without reading its directory: in a catch-up every
// entry of the newest archive is needed, as the state gives each of them that archive's number.
bool WholeWithoutDirectory(const InstallState& state, std::int16_t installed, std::int16_t patch);

struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// A patch archive's bytes fetched so far by range requests, a suffix of it, seen as the whole
// archive by the zip library, which reads only its end records and central directory from it.
// Reads before the suffix come back short, which the library refuses as an incomplete archive.
class ArchiveSuffix final : public core::FileReader {
public:
    explicit ArchiveSuffix(std::uint64_t archiveSize) : m_size(archiveSize), m_offset(archiveSize) {}
    std::uint64_t Size() const override { return m_size; }
    std::size_t ReadAt(std::uint64_t offset, void* data, std::size_t size) override;
    // The first byte fetched.
    std::uint64_t Offset() const { return m_offset; }
    // The bytes fetched, from Offset() to the archive's end.
    const std::string& Bytes() const { return m_bytes; }
    // The request that fetches the bytes before the suffix from offset on (none when it holds them).
    ByteRange Missing(std::uint64_t from) const { return {from, from < m_offset ? m_offset - from : 0}; }
    // Adds the bytes just before the suffix; raises Overflow when they do not end where it begins.
    void Prepend(std::string_view bytes);

private:
    std::uint64_t m_size;
    std::uint64_t m_offset;
    std::string m_bytes;
};

// The first request for an archive read by ranges: its last unzip::kEndSearchBytes, where the
// end records are (unzip::LocateCentralDirectory), often with the whole directory.
ByteRange EndRecordsRange(std::uint64_t archiveSize);

struct PatchFetch {
    bool whole = false;                // download the archive as a run without a state does
    std::vector<std::size_t> entries;  // the needed entries (indexes in the directory), in archive order
    std::vector<ByteRange> requests;   // when not whole: each a single-range GET, in order
    std::uint64_t neededCompressed = 0;
};

// How to fetch files (the archivo lines of one patch) from its archive: whole when their
// compressed bytes are at least half of the archive, else ranges covering each needed entry's
// local header and data, neighbours less than kRangeMergeGap apart in one request. Fails, with
// the cause for the red line, when the archive lacks a file or holds it with another size.
// dir is the archive's central directory (unzip::ReadCentralDirectory), archiveSize its size as
// the signed list gives it.
core::Result<PatchFetch> PlanPatchFetch(const std::vector<StateLine>& files, const unzip::Directory& dir,
                                        std::uint64_t archiveSize);

}  // namespace update
