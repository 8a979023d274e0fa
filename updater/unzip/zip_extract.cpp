#include "updater/unzip/zip_extract.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>
#include <unordered_set>
#include <vector>

#include "core/runtime_error.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/zlib_stream.h"

namespace unzip {
namespace {

std::string Quoted(std::string_view name) {
    std::string shown = Printable(name);
    std::replace(shown.begin(), shown.end(), '/', '\\');
    return "«" + shown + "»";
}

class Extraction {
public:
    Extraction(ArchiveReader& reader, const Directory& dir, const std::string& target, core::FileSystem& fs,
               const Limits& limits, OwnFiles* own)
        : m_reader(reader), m_dir(dir), m_fs(fs), m_own(own), m_out(limits.bufferSize), m_target(target) {
        if (m_target.empty() || (m_target.back() != '\\' && m_target.back() != '/')) m_target += '\\';
    }

    void Run() {
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
        } catch (...) {
            RestoreOwnFiles();
            throw;
        }
    }

private:
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
            try {
                m_fs.CreateDirectory(m_path);
            } catch (const core::RuntimeError& e) {
                throw Failure("no se pudo crear la carpeta " + Quoted(prefix) + " (" + e.Description() + ")");
            }
            m_folders.emplace(prefix);
        } while (end != std::string_view::npos);
        m_lastFolder.assign(folder);
    }

    void WriteFile(const Entry& e, std::string_view name) {
        SetPath(m_path, name);
        m_temp.assign(m_path).append(kTemporarySuffix);
        std::unique_ptr<core::FileWriter> writer;
        try {
            try {
                writer = m_fs.CreateFile(m_temp);
            } catch (const core::RuntimeError& err) {
                throw Failure("no se pudo escribir " + Quoted(name) + " (" + err.Description() + ")");
            }
            m_writer = writer.get();
            m_name = name;
            m_crc = static_cast<std::uint32_t>(crc32(0, Z_NULL, 0));
            m_written = 0;
            if (e.method == kStored) {
                CopyStored(e);
            } else {
                Inflate(e);
            }
            if (m_written != e.size) throw Failure("el contenido de " + Quoted(name) + " está dañado (tamaño)");
            if (m_crc != e.crc) throw Failure("el contenido de " + Quoted(name) + " está dañado (CRC)");
            writer.reset();
            Replace(name);
        } catch (...) {
            writer.reset();
            m_fs.RemoveIfExists(m_temp);
            throw;
        }
    }

    // Replaces the final file by the complete temporary one. No flush per file: a patch cut
    // short is extracted again on the next start, since its version is recorded only afterwards.
    void Replace(std::string_view name) {
        try {
            if (m_own && m_own->Holds(m_path)) {
                m_aside.push_back({ReplaceOwnFile(m_fs, *m_own, m_temp, m_path), m_path});
                return;
            }
            m_fs.ReplaceUnflushed(m_temp, m_path);
        } catch (const core::RuntimeError& err) {
            if (err.Kind() == core::ErrorKind::PermissionDenied || err.Kind() == core::ErrorKind::PathFileAccess) {
                throw Failure("no se pudo reemplazar " + Quoted(name) +
                              ": está en uso o protegido (cierre el juego y vuelva a intentarlo)");
            }
            throw Failure("no se pudo reemplazar " + Quoted(name) + " (" + err.Description() + ")");
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

    void Emit(const void* data, std::size_t size) {
        m_crc = static_cast<std::uint32_t>(crc32(m_crc, static_cast<const Bytef*>(data), static_cast<uInt>(size)));
        m_written += size;
        try {
            m_writer->Write(data, size);
        } catch (const core::RuntimeError& err) {
            throw Failure("no se pudo escribir " + Quoted(m_name) + " (" + err.Description() + ")");
        }
    }

    void CopyStored(const Entry& e) {
        const std::uint64_t end = e.dataOffset + e.compressedSize;
        for (std::uint64_t at = e.dataOffset; at < end;) {
            const std::string_view piece = m_reader.Stream(at, end);
            Emit(piece.data(), piece.size());
            at += piece.size();
        }
    }

    // Inflates straight into the output buffer, never past the declared size (plus one byte
    // that proves a longer stream), and requires the stream to end exactly with its data.
    void Inflate(const Entry& e) {
        m_inflater.Reset();
        z_stream& z = m_inflater.Stream();
        const std::uint64_t end = e.dataOffset + e.compressedSize;
        std::uint64_t at = e.dataOffset;
        z.avail_in = 0;
        std::size_t filled = 0;
        const auto damaged = [&]() { return Failure("el contenido de " + Quoted(m_name) + " está dañado"); };
        for (;;) {
            if (z.avail_in == 0 && at < end) {
                const std::string_view piece = m_reader.Stream(at, end);
                z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
                z.avail_in = static_cast<uInt>(piece.size());
                at += piece.size();
            }
            const std::uint64_t allowed = e.size + 1 - m_written - filled;
            const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(m_out.size() - filled, allowed));
            z.next_out = m_out.data() + filled;
            z.avail_out = static_cast<uInt>(room);
            const int ret = inflate(&z, Z_NO_FLUSH);
            filled += room - z.avail_out;
            if (m_written + filled > e.size)
                throw Failure("el contenido de " + Quoted(m_name) + " está dañado (tamaño)");
            if (ret == Z_STREAM_END) break;
            if (ret == Z_BUF_ERROR && z.avail_in == 0 && at == end) throw damaged();  // data ends too early
            if (ret != Z_OK && ret != Z_BUF_ERROR) throw damaged();
            if (filled == m_out.size()) {
                Emit(m_out.data(), filled);
                filled = 0;
            }
        }
        if (filled > 0) Emit(m_out.data(), filled);
        if (z.avail_in != 0 || at != end) throw damaged();  // compressed size and stream disagree
    }

    ArchiveReader& m_reader;
    const Directory& m_dir;
    core::FileSystem& m_fs;
    OwnFiles* m_own;
    // Own files replaced so far: aside name -> own name.
    std::vector<std::pair<std::string, std::string>> m_aside;
    Inflater m_inflater;
    std::vector<unsigned char> m_out;
    std::string m_target;
    std::string m_path, m_temp, m_lastFolder;
    std::unordered_set<std::string> m_folders;
    core::FileWriter* m_writer = nullptr;
    std::string_view m_name;
    std::uint32_t m_crc = 0;
    std::uint64_t m_written = 0;
};

}  // namespace

core::Outcome ExtractArchive(const std::string& archive, const std::string& target, core::FileSystem& fs,
                             const NameDecoder& decoder, const Limits& limits, OwnFiles* own) {
    try {
        std::unique_ptr<core::FileReader> file;
        try {
            file = fs.OpenRead(archive);
        } catch (const core::RuntimeError& e) {
            return core::Outcome::Failure(std::string("no se pudo abrir el archivo descargado (") + e.Description() +
                                          ")");
        }
        ArchiveReader reader(*file, limits.bufferSize);
        const Directory dir = ReadDirectory(reader, decoder, limits);
        if (dir.entries.empty()) return core::Outcome::Success();
        if (!fs.DirectoryExists(target)) return core::Outcome::Failure("no existe la carpeta de destino");
        Extraction(reader, dir, target, fs, limits, own).Run();
        return core::Outcome::Success();
    } catch (const Failure& e) {
        return core::Outcome::Failure(e.what());
    } catch (const core::RuntimeError& e) {
        if (e.Kind() == core::ErrorKind::OutOfMemory)
            return core::Outcome::Failure("memoria insuficiente para descomprimir");
        return core::Outcome::Failure(std::string("no se pudo leer el archivo descargado (") + e.Description() + ")");
    } catch (const std::bad_alloc&) {
        return core::Outcome::Failure("memoria insuficiente para descomprimir");
    } catch (const std::exception& e) {
        return core::Outcome::Failure(std::string("error inesperado al descomprimir (") + e.what() + ")");
    }
}

}  // namespace unzip
