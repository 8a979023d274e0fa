// How an archive is extracted. Nothing of the installation changes until every file of the
// archive is written whole and checked; then the files replace the old ones one after the other.
//
//   caller     ExtractArchive: reads and checks the whole directory (ArchiveReader, ReadDirectory)
//     |
//   folders    Extraction::MakeFolders, on the caller's thread, in archive order
//     |
//   write      WriteAll: the lanes take the files one at a time from one shared order (Take),
//   pass       each lane reading the archive through its own handle and inflating (or copying)
//     |        into the buffers of its FileSink:
//     |          lane 1 (the caller's thread) .. lane N (a thread each)       inflate, CRC of stored data
//     |          writer of lane 1 .. writer of lane N (a thread per FileSink) CRC, size, write the temporary file
//     |          flushers (one shared pool, Flushers)                         flush each complete file
//     |        The order: with one lane, archive order; with several, first the large files in
//     |        archive order, then the others, so that a large file's flush overlaps the rest.
//     |        The first entry in archive order that fails wins (FirstFailure): later ones stop
//     |        early, earlier ones are still written, so that every run gives the same refusal.
//     |
//   replace    Replace, on the caller's thread, in archive order: each temporary file moves over
//   pass       its final name. A file that HeldFiles holds (the running program's own) is put in
//              place its own way and undone if a later one fails.
//
// All or nothing: a failure in the write pass removes every temporary file and the folders the
// archive made, and the installation stays as it was; a failure in the replace pass also removes
// the temporary files not yet moved and undoes the held files' replacements (the files moved
// before it stay new: each is whole, and the patch is extracted again next time).
//
// Threads of one extraction (PlanThreads): N lanes (N - 1 threads beside the caller), N writers
// and the flushers; never more than kMaxThreads in all, whatever the cores.
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
#include "updater/unzip/entry_decode.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/file_sink.h"
#include "updater/unzip/zlib_stream.h"

namespace unzip {
namespace {

std::size_t FileCount(const Directory& dir) {
    std::size_t files = 0;
    for (const Entry& e : dir.entries) files += e.folder ? 0 : 1;
    return files;
}

// One extraction of a checked directory: the folders, the write pass, the replace pass.
class Extraction {
public:
    Extraction(const std::string& archive, ArchiveReader& reader, const Directory& dir, const std::string& target,
               core::FileSystem& fs, const Limits& limits, HeldFiles* held)
        : m_archive(archive),
          m_reader(reader),
          m_dir(dir),
          m_fs(fs),
          m_limits(limits),
          m_held(held),
          m_threads(PlanThreads(std::thread::hardware_concurrency(), FileCount(dir), limits)),
          m_target(target),
          m_flushers(m_failures, m_threads.flushers) {
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
            UndoHeldFiles();
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

    static constexpr std::uint64_t kLargeFile = 1u << 20;

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
                m_failures.Record(index, std::make_exception_ptr(Failure(Refusal::CannotCreateFolder,
                                                                         ShownEntry(prefix), err.Description())));
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
        const std::size_t count = m_threads.lanes;
        PlanOrder(count > 1);
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

    // The order in which the lanes take the files. One lane keeps to archive order. Several take
    // the large files first, in archive order, then the others: a large file last would leave its
    // flush alone at the end, where first it overlaps the rest.
    void PlanOrder(bool largeFirst) {
        m_order.reserve(FileCount(m_dir));
        const auto pass = [&](bool large) {
            for (std::size_t i = 0; i < m_dir.entries.size(); ++i) {
                const Entry& e = m_dir.entries[i];
                if (!e.folder && (!largeFirst || (e.size >= kLargeFile) == large)) m_order.push_back(i);
            }
        };
        pass(true);
        if (largeFirst) pass(false);
    }

    // The next file for a lane, false when there is none left before the first failure.
    bool Take(std::size_t& index) {
        for (;;) {
            const std::size_t at = m_next.fetch_add(1);
            if (at >= m_order.size()) return false;
            if (m_order[at] < m_failures.Index()) {
                index = m_order[at];
                return true;
            }
            // Past the first failure nothing is written; a small file of the second pass may
            // still come before it.
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
        lane.sink.Open(lane.index, lane.path + std::string(kTemporarySuffix), lane.path, ShownEntry(lane.name), e.size,
                       stored ? std::nullopt : std::optional<std::uint32_t>(e.crc));
        LaneOutput out{lane, *this};
        if (stored) {
            CopyStored(lane.reader, e, lane.name, out);
        } else {
            InflateEntry(lane.reader, lane.inflater, e, lane.name, out);
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
            if (m_held && m_held->Holds(f.path)) {
                m_undo.push_back({m_held->Replace(m_fs, f.temp, f.path), f.path});
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

    // After a failure: the held files replaced so far are undone, newest first, so that the
    // installation keeps the ones it had (the patch is extracted again next time).
    void UndoHeldFiles() noexcept {
        for (auto it = m_undo.rbegin(); it != m_undo.rend(); ++it) {
            try {
                m_held->Undo(m_fs, it->first, it->second);
            } catch (...) {
                // The new file stays; it is whole and starts as well.
            }
        }
        m_undo.clear();
    }

    // The output of a lane's entry: its sink's buffers; the lane stops early when an entry
    // before its own failed.
    struct LaneOutput {
        Lane& lane;
        const Extraction& x;
        unsigned char* Buffer() { return lane.sink.Buffer(); }
        std::size_t BufferSize() const { return lane.sink.BufferSize(); }
        void Submit(std::size_t length, bool last) { lane.sink.Submit(length, last); }
        void Continue() const { x.Continue(lane); }
    };

    const std::string& m_archive;
    ArchiveReader& m_reader;
    const Directory& m_dir;
    core::FileSystem& m_fs;
    const Limits& m_limits;
    HeldFiles* m_held;
    ThreadPlan m_threads;
    // Held files replaced so far: what undoes each, and its path.
    std::vector<std::pair<std::string, std::string>> m_undo;
    std::string m_target;
    std::string m_path, m_lastFolder;
    std::unordered_set<std::string> m_folders;
    std::vector<std::string> m_createdFolders;  // parents first
    FirstFailure m_failures;
    Flushers m_flushers;
    std::vector<std::size_t> m_order;    // the files' entries, in the order the lanes take them
    std::atomic<std::size_t> m_next{0};  // the next place in m_order
    std::vector<WrittenFile> m_files;    // every temporary file, in archive order
};

}  // namespace

std::string ShownEntry(std::string_view name) {
    std::string shown = Printable(name);
    std::replace(shown.begin(), shown.end(), '/', '\\');
    return shown;
}

static_assert(kMaxThreads > 2 * kMaxLanes, "the most lanes leave room for a flusher");

ThreadPlan PlanThreads(unsigned cores, std::size_t files, const Limits& limits) {
    ThreadPlan plan;
    const std::size_t lanes = limits.lanes != 0 ? limits.lanes : std::max(1u, cores);
    plan.lanes = std::clamp<std::size_t>(std::min(lanes, files), 1, kMaxLanes);
    const std::size_t flushers = limits.flushers != 0 ? limits.flushers : kDefaultFlushers;
    plan.flushers = std::clamp<std::size_t>(flushers, 1, kMaxThreads - 2 * plan.lanes);
    return plan;
}

Result ExtractArchive(const std::string& archive, const std::string& target, core::FileSystem& fs,
                      const NameDecoder& decoder, const Limits& limits, HeldFiles* held,
                      const BeforeWrite& beforeWrite) {
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
        if (beforeWrite) {
            Result approved = beforeWrite(dir);
            if (!approved.ok) return approved;
        }
        Extraction(archive, reader, dir, target, fs, limits, held).Run();
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

namespace {

// One entry's data into a file writer, a buffer at a time, with the CRC-32 of what it writes.
class WriterOutput {
public:
    WriterOutput(core::FileWriter& out, std::size_t bufferSize)
        : m_out(out), m_buffer(std::max<std::size_t>(bufferSize, 1)) {}
    unsigned char* Buffer() { return m_buffer.data(); }
    std::size_t BufferSize() const { return m_buffer.size(); }
    void Submit(std::size_t length, bool) {
        m_crc = static_cast<std::uint32_t>(crc32(m_crc, m_buffer.data(), static_cast<uInt>(length)));
        try {
            m_out.Write(m_buffer.data(), length);
        } catch (const core::RuntimeError& err) {
            throw Failure(err.Kind() == core::ErrorKind::DiskFull ? Refusal::DiskFull : Refusal::CannotWrite, {},
                          err.Description());
        }
    }
    void Continue() const {}
    std::uint32_t Crc() const { return m_crc; }

private:
    core::FileWriter& m_out;
    std::vector<unsigned char> m_buffer;
    std::uint32_t m_crc = static_cast<std::uint32_t>(crc32(0, Z_NULL, 0));
};

}  // namespace

Result WriteEntryData(core::FileReader& file, const Entry& e, std::string_view name, core::FileWriter& out,
                      std::size_t bufferSize) {
    try {
        ArchiveReader reader(file, bufferSize);
        WriterOutput output(out, bufferSize);
        if (e.method == kStored) {
            CopyStored(reader, e, name, output);
        } else {
            Inflater inflater;
            InflateEntry(reader, inflater, e, name, output);
            if (output.Crc() != e.crc) throw Failure(Refusal::ContentCrc, ShownEntry(name));
        }
        return {};
    } catch (const Failure& f) {
        return f.ToResult();
    } catch (const core::RuntimeError& err) {
        const Refusal code = err.Kind() == core::ErrorKind::OutOfMemory ? Refusal::OutOfMemory : Refusal::CannotRead;
        return Result::Failure(RefusalText(code, {}, err.Description()), code);
    } catch (const std::bad_alloc&) {
        return Result::Failure(RefusalText(Refusal::OutOfMemory), Refusal::OutOfMemory);
    }
}

}  // namespace unzip
