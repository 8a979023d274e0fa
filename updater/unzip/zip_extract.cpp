#include "updater/unzip/zip_extract.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>
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
// its final one, checked (size, CRC-32) and flushed; a failure there removes the temporary
// files and leaves the installation as it was. Then the temporary files replace the final ones.
class Extraction {
public:
    Extraction(ArchiveReader& reader, const Directory& dir, const std::string& target, core::FileSystem& fs,
               const Limits& limits, OwnFiles* own)
        : m_reader(reader), m_dir(dir), m_fs(fs), m_own(own), m_sink(fs, limits.bufferSize), m_target(target) {
        if (m_target.empty() || (m_target.back() != '\\' && m_target.back() != '/')) m_target += '\\';
    }

    void Run() {
        std::size_t replaced = 0;
        try {
            WriteAll();
            std::vector<WrittenFile>& files = m_sink.Files();
            for (; replaced < files.size(); ++replaced) Replace(files[replaced]);
        } catch (...) {
            const std::vector<WrittenFile>& files = m_sink.Files();
            for (std::size_t i = replaced; i < files.size(); ++i) m_fs.RemoveIfExists(files[i].temp);
            // The folders made for the archive go too, unless a replaced file is in one.
            const std::vector<std::string>& folders = m_sink.CreatedFolders();
            for (auto it = folders.rbegin(); it != folders.rend(); ++it) m_fs.RemoveFolderIfEmpty(*it);
            RestoreOwnFiles();
            throw;
        }
    }

private:
    void WriteAll() {
        try {
            for (const Entry& e : m_dir.entries) {
                const std::string_view name = m_dir.Name(e);
                if (e.folder) {
                    EnsureFolder(name);
                    continue;
                }
                const std::size_t slash = name.rfind('/');
                if (slash != std::string_view::npos) EnsureFolder(name.substr(0, slash));
                WriteFile(e, name);
            }
            m_sink.Finish();
        } catch (...) {
            // A failure of the writing thread concerns an earlier entry: that one is reported.
            m_sink.Files();
            m_sink.Finish();
            throw;
        }
    }

    void SetPath(std::string& path, std::string_view relative) const {
        path.assign(m_target);
        const std::size_t at = path.size();
        path.append(relative);
        std::replace(path.begin() + static_cast<std::ptrdiff_t>(at), path.end(), '/', '\\');
    }

    // Creates the folder and its missing parents; folders made or met before are not asked again.
    void EnsureFolder(std::string_view folder) {
        if (folder == m_lastFolder) return;
        std::size_t end = 0;
        do {
            end = folder.find('/', end + 1);
            const std::string_view prefix = folder.substr(0, end);
            if (m_folders.count(std::string(prefix)) != 0) continue;
            SetPath(m_path, prefix);
            m_sink.Folder(m_path, Shown(prefix));
            m_folders.emplace(prefix);
        } while (end != std::string_view::npos);
        m_lastFolder.assign(folder);
    }

    void WriteFile(const Entry& e, std::string_view name) {
        SetPath(m_path, name);
        m_name = name;
        // Stored data leaves the reading side idle: it takes the CRC-32 there.
        const bool stored = e.method == kStored;
        m_sink.Open(m_path + std::string(kTemporarySuffix), m_path, Shown(name), e.size,
                    stored ? std::nullopt : std::optional<std::uint32_t>(e.crc));
        if (stored) {
            CopyStored(e);
        } else {
            Inflate(e);
        }
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

    void CopyStored(const Entry& e) {
        const std::uint64_t end = e.dataOffset + e.compressedSize;
        std::uint64_t at = e.dataOffset;
        auto crc = static_cast<std::uint32_t>(crc32(0, Z_NULL, 0));
        do {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(m_sink.BufferSize(), end - at));
            if (n > 0) {
                unsigned char* buffer = m_sink.Buffer();
                m_reader.Read(at, buffer, n);
                crc = static_cast<std::uint32_t>(crc32(crc, buffer, static_cast<uInt>(n)));
            }
            at += n;
            if (at == end && crc != e.crc) throw Failure(Refusal::ContentCrc, Shown(m_name));
            m_sink.Submit(n, at == end);
        } while (at < end);
    }

    // Inflates straight into the writer's buffers, never past the declared size (plus one byte
    // that proves a longer stream), and requires the stream to end exactly with its data.
    void Inflate(const Entry& e) {
        m_inflater.Reset();
        z_stream& z = m_inflater.Stream();
        const std::uint64_t end = e.dataOffset + e.compressedSize;
        std::uint64_t at = e.dataOffset;
        std::uint64_t written = 0;
        z.avail_in = 0;
        std::size_t filled = 0;
        const auto damaged = [&]() { return Failure(Refusal::ContentDamaged, Shown(m_name)); };
        const std::size_t bufferSize = m_sink.BufferSize();
        for (;;) {
            if (z.avail_in == 0 && at < end) {
                const std::string_view piece = m_reader.Stream(at, end);
                z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
                z.avail_in = static_cast<uInt>(piece.size());
                at += piece.size();
            }
            const std::uint64_t allowed = e.size + 1 - written - filled;
            const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(bufferSize - filled, allowed));
            z.next_out = m_sink.Buffer() + filled;
            z.avail_out = static_cast<uInt>(room);
            const int ret = inflate(&z, Z_NO_FLUSH);
            filled += room - z.avail_out;
            if (written + filled > e.size) throw Failure(Refusal::ContentSize, Shown(m_name));
            if (ret == Z_STREAM_END) break;
            if (ret == Z_BUF_ERROR && z.avail_in == 0 && at == end) throw damaged();  // data ends too early
            if (ret != Z_OK && ret != Z_BUF_ERROR) throw damaged();
            if (filled == bufferSize) {
                m_sink.Submit(filled, false);
                written += filled;
                filled = 0;
            }
        }
        if (z.avail_in != 0 || at != end) throw damaged();  // compressed size and stream disagree
        if (written + filled != e.size) throw Failure(Refusal::ContentSize, Shown(m_name));
        m_sink.Submit(filled, true);
    }

    ArchiveReader& m_reader;
    const Directory& m_dir;
    core::FileSystem& m_fs;
    OwnFiles* m_own;
    // Own files replaced so far: aside name -> own name.
    std::vector<std::pair<std::string, std::string>> m_aside;
    Inflater m_inflater;
    FileSink m_sink;
    std::string m_target;
    std::string m_path, m_lastFolder;
    std::unordered_set<std::string> m_folders;
    std::string_view m_name;
};

}  // namespace

Result ExtractArchive(const std::string& archive, const std::string& target, core::FileSystem& fs,
                      const NameDecoder& decoder, const Limits& limits, OwnFiles* own) {
    const auto refused = [](Refusal code, std::string_view detail = {}) {
        return Result::Refused(code, RefusalText(code, {}, detail));
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
        Extraction(reader, dir, target, fs, limits, own).Run();
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
