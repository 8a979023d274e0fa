// A patch's needed files staged from range requests: each entry's local header checked against
// the archive's directory, its data inflated (or copied) into a staged file, and its size and
// SHA-256 checked against the signed state's line before it counts as staged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "core/outcome.h"
#include "updater/unzip/zip_directory.h"
#include "updater/update/catch_up_plan.h"
#include "updater/update/http_client.h"
#include "updater/update/range_fetch.h"
#include "updater/update/staging.h"

namespace update {

// The archive's bytes from offset on, as fetched into a file by one request: reads before them
// come back empty, and it ends where they end, so the zip library never reads past them.
class FetchedBytes final : public core::FileReader {
public:
    FetchedBytes(std::unique_ptr<core::FileReader> file, std::uint64_t offset)
        : m_file(std::move(file)), m_offset(offset) {}
    std::uint64_t Size() const override { return m_offset + m_file->Size(); }
    std::size_t ReadAt(std::uint64_t offset, void* data, std::size_t size) override;

private:
    std::unique_ptr<core::FileReader> m_file;
    std::uint64_t m_offset;
};

// Where the room of entry index ends: the next entry's header, or the directory.
std::uint64_t RoomEnd(const unzip::Directory& dir, std::size_t index);

enum class StageFault {
    Damaged,  // the patch's bytes are not what the signed state says: "damaged patch n"
    Write,    // a staged file could not be written
};
using StageResult = core::Result<std::monostate, StageFault>;

// Stages line's content from entry of dir, read from bytes (which hold the entry's header, data
// and descriptor up to limit, the end of its room): Damaged when the local header disagrees with
// the directory, the data does not inflate to its size and CRC-32, or the size or SHA-256 differ
// from line's. Only a file that passed is kept (Staging::Keep); the record is not saved here.
StageResult StageEntry(core::FileSystem& fs, Staging& staging, core::FileReader& bytes, const unzip::Directory& dir,
                       const unzip::Entry& entry, std::uint64_t limit, const StateLine& line);

enum class RangesFault {
    Whole,    // the server does not serve ranges: download the patch whole, as without a state
    Network,  // a request failed in a way another attempt may not
    Refused,  // the server answered a request with something else than the part asked for
    Damaged,  // as StageFault::Damaged
    Write,    // a piece or a staged file could not be written
};
using RangesResult = core::Result<std::monostate, RangesFault>;

// Stages files (archivo lines of one patch, none staged yet) from the archive at url of
// archiveSize bytes, whose central directory is dir, through fetch's requests
// (PlanPatchFetch, not whole). Each request's bytes go to a piece file in the staging folder,
// removed once its entries are staged; an entry whose local extra field reaches past its
// request is fetched again alone up to its room. The record is saved after the patch, failed
// or not, so that what passed is not fetched again. progress gets the bytes received for the
// patch so far.
RangesResult StageByRanges(HttpClient& http, core::FileSystem& fs, Staging& staging, const std::string& url,
                           std::uint64_t archiveSize, const unzip::Directory& dir, const PatchFetch& fetch,
                           const std::vector<StateLine>& files, const RangeProgress& progress = {});

}  // namespace update
