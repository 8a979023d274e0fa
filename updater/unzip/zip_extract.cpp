#include "updater/unzip/zip_extract.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <thread>
#include <unordered_set>
#include <vector>

#include "core/runtime_error.h"
#include "updater/unzip/archive_reader.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/file_sink.h"
#include "updater/unzip/zlib_stream.h"

namespace unzip {
namespace {

// An entry's name as the player knows it: Windows separators.
std::string Shown(std::string_view name) {
    std::string shown = Printable(name);
    std::replace(shown.begin(), shown.end(), '/', '\\');
    return shown;
}

// An archive is extracted in two passes. First every entry is written to a temporary file beside
// its final one, checked (size, CRC-32) and flushed, by a few lanes at once that each take the
// next entry; a failure there removes the temporary files and leaves the installation as it was.
// Then the temporary files replace the final ones, in archive order.
class Extraction {
public:
    Extraction(const std::string& archive, ArchiveReader& reader, const Directory& dir, const std::string& target,
               core::FileSystem& fs, const Limits& limits, OwnFiles* own)
        : m_archive(archive), m_reader(reader), m_dir(dir), m_fs(fs), m_limits(limits), m_own(own), m_target(target) {
        if (m_target.empty() || (m_target.back() != '\\' && m_target.back() != '/')) m_target += '\\';
    }

    void Run() {
        std::size_t replaced = 0;
        try {
            MakeFolders();
            WriteAll();
            for (; replaced < m_files.size(); ++replaced) Replace(m_files[replaced]);
        } catch (...) {
            for (std::size_t i = replaced; i < m_files.size(); ++i) m_fs.RemoveIfExists(m_files[i].temp);
            // The folders made for the archive go too, unless a replaced file is in one.
            for (auto it = m_createdFolders.rbegin(); it != m_createdFolders.rend(); ++it)
                m_fs.RemoveFolderIfEmpty(*it);
            RestoreOwnFiles();
            throw;
        }
    }

private:
    // What one lane works with; every lane but the first reads the archive through a handle of its own.
    struct Lane {
        Lane(ArchiveReader* shared, std::unique_ptr<core::FileReader> own, Extraction& x)
            : file(std::move(own)),
              ownReader(file ? std::make_unique<ArchiveReader>(*file, x.m_limits.bufferSize) : nullptr),
              reader(file ? *ownReader : *shared),
              sink(x.m_fs, x.m_limits.bufferSize, x.m_flushers, x.m_failures) {}
        std::unique_ptr<core::FileReader> file;
        std::unique_ptr<ArchiveReader> ownReader;
        ArchiveReader& reader;
        Inflater inflater;
        FileSink sink;
        std::size_t index = 0;  // the entry being written
        std::string path;
        std::string_view name;
    };
    // Thrown inside a lane that finds an earlier entry failed: its own entry no longer matters.
    struct Abandoned {};

    static constexpr std::size_t kMaxLanes = 4;
    static constexpr std::uint64_t kLargeFile = 1u << 20;

    std::size_t LaneCount() const {
        std::size_t files = 0;
        for (const Entry& e : m_dir.entries) files += e.folder ? 0 : 1;
        std::size_t lanes = m_limits.lanes;
        if (lanes == 0) lanes = std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), kMaxLanes);
        return std::max<std::size_t>(1, std::min(lanes, files));
    }

    // The folders first, in archive order, so that the lanes only write files. A folder that
    // cannot be made fails its entry: the entries before it are still written, to find out
    // whether one of them fails first.
    void MakeFolders() {
        for (std::size_t i = 0; i < m_dir.entries.size(); ++i) {
            const Entry& e = m_dir.entries[i];
            std::string_view folder = m_dir.Name(e);
            if (!e.folder) {
                const std::size_t slash = folder.rfind('/');
                if (slash == std::string_view::npos) continue;
                folder = folder.substr(0, slash);
            }
            if (!EnsureFolder(i, folder)) return;
        }
    }

    // Creates the folder and its missing parents; folders made or met before are not asked again.
    bool EnsureFolder(std::size_t index, std::string_view folder) {
        if (folder == m_lastFolder) return true;
        std::size_t end = 0;
        do {
            end = folder.find('/', end + 1);
            const std::string_view prefix = folder.substr(0, end);
            if (m_folders.count(std::string(prefix)) != 0) continue;
            SetPath(m_path, prefix);
            try {
                const bool existed = m_fs.DirectoryExists(m_path);
                m_fs.CreateDirectory(m_path);
                if (!existed) m_createdFolders.push_back(m_path);
            } catch (const core::RuntimeError& err) {
                m_failures.Record(index, std::make_exception_ptr(
                                             Failure(Refusal::CannotCreateFolder, Shown(prefix), err.Description())));
                return false;
            }
            m_folders.emplace(prefix);
        } while (end != std::string_view::npos);
        m_lastFolder.assign(folder);
        return true;
    }

    // Writes every file through the lanes (the calling thread is the first), then raises the
    // failure of the first entry in archive order that failed, if any.
    void WriteAll() {
        std::vector<std::unique_ptr<Lane>> lanes;
        lanes.push_back(std::make_unique<Lane>(&m_reader, nullptr, *this));
        std::vector<std::thread> threads;
        const std::size_t count = LaneCount();
        m_largeFirst = count > 1;  // one lane keeps to archive order
        try {
            while (lanes.size() < count) {
                lanes.push_back(std::make_unique<Lane>(nullptr, m_fs.OpenRead(m_archive), *this));
                threads.emplace_back([this, lane = lanes.back().get()] { Work(*lane); });
            }
        } catch (...) {
            // Fewer lanes do the same work, only slower.
        }
        Work(*lanes.front());
        for (std::thread& t : threads) t.join();
        for (const std::unique_ptr<Lane>& lane : lanes) {
            for (WrittenFile& f : lane->sink.Files()) m_files.push_back(std::move(f));
        }
        m_flushers.Stop();
        std::sort(m_files.begin(), m_files.end(),
                  [](const WrittenFile& a, const WrittenFile& b) { return a.index < b.index; });
        m_failures.ThrowIfAny();
    }

    // The next file for a lane, false when there is none left before the first failure. With
    // several lanes the large files go first, in archive order, then the others: a large file
    // last would leave its flush alone at the end, where first it overlaps the rest.
    bool Take(std::size_t& index) {
        const std::size_t n = m_dir.entries.size();
        for (;;) {
            const std::size_t at = m_next.fetch_add(1);
            if (at >= (m_largeFirst ? 2 * n : n)) return false;
            const std::size_t i = at < n ? at : at - n;
            const Entry& e = m_dir.entries[i];
            if (i >= m_failures.Index()) {
                if (m_largeFirst && at < n) continue;
                return false;
            }
            if (e.folder || (m_largeFirst && (e.size >= kLargeFile) != (at < n))) continue;
            index = i;
            return true;
        }
    }

    // One lane: takes the next entry until there is none, or an earlier one failed.
    void Work(Lane& lane) noexcept {
        try {
            while (Take(lane.index)) WriteFile(lane, m_dir.entries[lane.index]);
            lane.sink.Finish();
        } catch (const Abandoned&) {
        } catch (...) {
            m_failures.Record(lane.index, std::current_exception());
        }
        lane.sink.Files();  // the writing thread ends here, on failure too
    }

    void SetPath(std::string& path, std::string_view relative) const {
        path.assign(m_target);
        const std::size_t at = path.size();
        path.append(relative);
        std::replace(path.begin() + static_cast<std::ptrdiff_t>(at), path.end(), '/', '\\');
    }

    void WriteFile(Lane& lane, const Entry& e) {
        lane.name = m_dir.Name(e);
        SetPath(lane.path, lane.name);
        // Stored data leaves the reading side idle: it takes the CRC-32 there.
        const bool stored = e.method == kStored;
        lane.sink.Open(lane.index, lane.path + std::string(kTemporarySuffix), lane.path, Shown(lane.name), e.size,
                       stored ? std::nullopt : std::optional<std::uint32_t>(e.crc));
        if (stored) {
            CopyStored(lane, e);
        } else {
            Inflate(lane, e);
        }
    }

    // Between two buffers: a lane stops early when an entry before its own failed.
    void Continue(const Lane& lane) const {
        if (m_failures.Index() < lane.index) throw Abandoned{};
    }

    // Puts a complete temporary file in place of its final one. The move is not waited for:
    // the version recorded after the patch is written durably, which brings every earlier
    // move of the same disk with it.
    void Replace(const WrittenFile& f) {
        try {
            if (m_own && m_own->Holds(f.path)) {
                m_aside.push_back({ReplaceOwnFile(m_fs, *m_own, f.temp, f.path), f.path});
                return;
            }
            m_fs.ReplaceUnflushed(f.temp, f.path);
        } catch (const core::RuntimeError& err) {
            if (err.Kind() == core::ErrorKind::PermissionDenied || err.Kind() == core::ErrorKind::PathFileAccess) {
                throw Failure(Refusal::InUse, f.shown);
            }
            throw Failure(Refusal::CannotReplace, f.shown, err.Description());
        }
    }

    // After a failure: the program's own files that were moved aside go back, so that the
    // installation keeps the program it had (the patch is extracted again next time).
    void RestoreOwnFiles() noexcept {
        for (auto it = m_aside.rbegin(); it != m_aside.rend(); ++it) {
            try {
                RestoreOwnFile(m_fs, *m_own, it->first, it->second);
            } catch (...) {
                // The new file stays; it is whole and starts as well.
            }
        }
        m_aside.clear();
    }

    void CopyStored(Lane& lane, const Entry& e) {
        const std::uint64_t end = e.dataOffset + e.compressedSize;
        std::uint64_t at = e.dataOffset;
        auto crc = static_cast<std::uint32_t>(crc32(0, Z_NULL, 0));
        do {
            Continue(lane);
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(lane.sink.BufferSize(), end - at));
            if (n > 0) {
                unsigned char* buffer = lane.sink.Buffer();
                lane.reader.Read(at, buffer, n);
                crc = static_cast<std::uint32_t>(crc32(crc, buffer, static_cast<uInt>(n)));
            }
            at += n;
            if (at == end && crc != e.crc) throw Failure(Refusal::ContentCrc, Shown(lane.name));
            lane.sink.Submit(n, at == end);
        } while (at < end);
    }

    // Inflates straight into the writer's buffers, never past the declared size (plus one byte
    // that proves a longer stream), and requires the stream to end exactly with its data.
    void Inflate(Lane& lane, const Entry& e) {
        lane.inflater.Reset();
        z_stream& z = lane.inflater.Stream();
        const std::uint64_t end = e.dataOffset + e.compressedSize;
        std::uint64_t at = e.dataOffset;
        std::uint64_t written = 0;
        z.avail_in = 0;
        std::size_t filled = 0;
        const auto damaged = [&]() { return Failure(Refusal::ContentDamaged, Shown(lane.name)); };
        const std::size_t bufferSize = lane.sink.BufferSize();
        for (;;) {
            if (z.avail_in == 0 && at < end) {
                const std::string_view piece = lane.reader.Stream(at, end);
                z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
                z.avail_in = static_cast<uInt>(piece.size());
                at += piece.size();
            }
            const std::uint64_t allowed = e.size + 1 - written - filled;
            const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(bufferSize - filled, allowed));
            z.next_out = lane.sink.Buffer() + filled;
            z.avail_out = static_cast<uInt>(room);
            const int ret = inflate(&z, Z_NO_FLUSH);
            filled += room - z.avail_out;
            if (written + filled > e.size) throw Failure(Refusal::ContentSize, Shown(lane.name));
            if (ret == Z_STREAM_END) break;
            if (ret == Z_BUF_ERROR && z.avail_in == 0 && at == end) throw damaged();  // data ends too early
            if (ret != Z_OK && ret != Z_BUF_ERROR) throw damaged();
            if (filled == bufferSize) {
                Continue(lane);
                lane.sink.Submit(filled, false);
                written += filled;
                filled = 0;
            }
        }
        if (z.avail_in != 0 || at != end) throw damaged();  // compressed size and stream disagree
        if (written + filled != e.size) throw Failure(Refusal::ContentSize, Shown(lane.name));
        lane.sink.Submit(filled, true);
    }

    const std::string& m_archive;
    ArchiveReader& m_reader;
    const Directory& m_dir;
    core::FileSystem& m_fs;
    const Limits& m_limits;
    OwnFiles* m_own;
    // Own files replaced so far: aside name -> own name.
    std::vector<std::pair<std::string, std::string>> m_aside;
    std::string m_target;
    std::string m_path, m_lastFolder;
    std::unordered_set<std::string> m_folders;
    std::vector<std::string> m_createdFolders;  // parents first
    FirstFailure m_failures;
    Flushers m_flushers{m_failures};
    bool m_largeFirst = false;
    std::atomic<std::size_t> m_next{0};  // the next place in the order of Take
    std::vector<WrittenFile> m_files;    // every temporary file, in archive order
};

}  // namespace

Result ExtractArchive(const std::string& archive, const std::string& target, core::FileSystem& fs,
                      const NameDecoder& decoder, const Limits& limits, OwnFiles* own) {
    const auto refused = [](Refusal code, std::string_view detail = {}) {
        return Result::Failure(RefusalText(code, {}, detail), code);
    };
    try {
        std::unique_ptr<core::FileReader> file;
        try {
            file = fs.OpenRead(archive);
        } catch (const core::RuntimeError& e) {
            return refused(Refusal::CannotOpen, e.Description());
        }
        ArchiveReader reader(*file, limits.bufferSize);
        const Directory dir = ReadDirectory(reader, decoder, limits);
        if (dir.entries.empty()) return {};
        if (!fs.DirectoryExists(target)) return refused(Refusal::NoTarget);
        Extraction(archive, reader, dir, target, fs, limits, own).Run();
        return {};
    } catch (const Failure& e) {
        return e.ToResult();
    } catch (const core::RuntimeError& e) {
        if (e.Kind() == core::ErrorKind::OutOfMemory) return refused(Refusal::OutOfMemory);
        return refused(Refusal::CannotRead, e.Description());
    } catch (const std::bad_alloc&) {
        return refused(Refusal::OutOfMemory);
    } catch (const std::exception& e) {
        return refused(Refusal::Unexpected, e.what());
    }
}

}  // namespace unzip
