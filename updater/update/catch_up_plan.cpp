#include "updater/update/catch_up_plan.h"

#include <algorithm>
#include <unordered_map>

#include "core/runtime_error.h"
#include "updater/unzip/zip_format.h"
#include "updater/update/mensajes.h"

namespace update {

CatchUpNeed NeededSince(const InstallState& state, std::int16_t installed, const FileExistsQuery& exists) {
    CatchUpNeed need;
    for (const StateLine& line : state.lines) {
        switch (line.kind) {
            case StateLineKind::File:
                if (line.patch > installed) need.files[line.patch].push_back(line);
                break;
            case StateLineKind::Folder:
                if (line.patch > installed) need.folders.push_back(line.path);
                break;
            case StateLineKind::Deleted:
                if (exists(line.path)) need.deletions.push_back(line.path);
                break;
        }
    }
    return need;
}

std::string InstalledPath(const std::string& installFolder, const std::string& relativePath) {
    return installFolder + "\\" + relativePath;
}

CatchUpNeed QuickCheck(const InstallState& state, core::FileSystem& fs, const std::string& installFolder) {
    CatchUpNeed need;
    for (const StateLine& line : state.lines) {
        const std::string path = InstalledPath(installFolder, line.path);
        switch (line.kind) {
            case StateLineKind::File: {
                // One query for both: a missing file (or a folder in its place) raises.
                bool same = false;
                try {
                    same = fs.FileSize(path) == line.size;
                } catch (const core::RuntimeError&) {
                }
                if (!same) need.files[line.patch].push_back(line);
                break;
            }
            case StateLineKind::Folder:
                if (!fs.DirectoryExists(path)) need.folders.push_back(line.path);
                break;
            case StateLineKind::Deleted:
                if (fs.FileExists(path)) need.deletions.push_back(line.path);
                break;
        }
    }
    return need;
}

bool WholeWithoutDirectory(const InstallState& state, std::int16_t installed, std::int16_t patch) {
    return patch == state.version && installed < patch;
}

std::size_t ArchiveSuffix::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
    if (offset < m_offset || offset >= m_size) return 0;
    const std::size_t at = static_cast<std::size_t>(offset - m_offset);
    const std::size_t n = std::min(size, m_bytes.size() - at);
    std::copy_n(m_bytes.data() + at, n, static_cast<char*>(data));
    return n;
}

void ArchiveSuffix::Prepend(std::string_view bytes) {
    if (bytes.size() > m_offset) core::Raise(core::ErrorKind::Overflow, "ArchiveSuffix");
    m_bytes.insert(0, bytes);
    m_offset -= bytes.size();
}

ByteRange EndRecordsRange(std::uint64_t archiveSize) {
    const std::uint64_t length = std::min(archiveSize, unzip::kEndSearchBytes);
    return {archiveSize - length, length};
}

core::Result<PatchFetch> PlanPatchFetch(const std::vector<StateLine>& files, const unzip::Directory& dir,
                                        std::uint64_t archiveSize) {
    std::unordered_map<std::string_view, std::size_t> byName;
    byName.reserve(dir.entries.size());
    for (std::size_t i = 0; i < dir.entries.size(); ++i) {
        if (!dir.entries[i].folder) byName.emplace(dir.Name(dir.entries[i]), i);
    }
    PatchFetch fetch;
    for (const StateLine& file : files) {
        const auto it = byName.find(file.path);
        if (it == byName.end()) return core::Result<PatchFetch>::Failure(mensajes::NoEstaEnElParche(file.path));
        const unzip::Entry& e = dir.entries[it->second];
        if (e.size != file.size) return core::Result<PatchFetch>::Failure(mensajes::TamanoDistinto(file.path));
        fetch.entries.push_back(it->second);
        fetch.neededCompressed += e.compressedSize;
    }
    std::sort(fetch.entries.begin(), fetch.entries.end(),
              [&](std::size_t a, std::size_t b) { return dir.entries[a].headerOffset < dir.entries[b].headerOffset; });
    fetch.whole = fetch.neededCompressed >= archiveSize - archiveSize / 2;
    if (fetch.whole) return core::Result<PatchFetch>::Success(std::move(fetch));

    // Each entry's bytes end, at the latest, where the next entry's header or the directory begins.
    std::vector<std::uint64_t> starts;
    starts.reserve(dir.entries.size());
    for (const unzip::Entry& e : dir.entries) starts.push_back(e.headerOffset);
    std::sort(starts.begin(), starts.end());
    for (const std::size_t index : fetch.entries) {
        const unzip::Entry& e = dir.entries[index];
        const auto next = std::upper_bound(starts.begin(), starts.end(), e.headerOffset);
        const std::uint64_t limit = std::min(next == starts.end() ? dir.directoryOffset : *next, archiveSize);
        const std::uint64_t wanted = e.headerOffset + unzip::zip_format::local::kLength + e.rawNameLength +
                                     kLocalExtraMargin + e.compressedSize + kDescriptorMargin;
        const std::uint64_t end = std::max(std::min(wanted, limit), e.headerOffset);
        if (!fetch.requests.empty()) {
            ByteRange& last = fetch.requests.back();
            const std::uint64_t lastEnd = last.offset + last.length;
            if (e.headerOffset < lastEnd + kRangeMergeGap) {
                last.length = std::max(lastEnd, end) - last.offset;
                continue;
            }
        }
        fetch.requests.push_back({e.headerOffset, end - e.headerOffset});
    }
    return core::Result<PatchFetch>::Success(std::move(fetch));
}

}  // namespace update
