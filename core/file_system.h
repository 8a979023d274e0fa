// The file seam: everything the programs do to files goes through this interface, so the
// same logic runs on Windows, natively in tests, and under injected faults.
//
// Paths are UTF-8. Both '\\' and '/' separate components on every implementation, so
// paths built the Windows way ("C:\\Juego\\6.zip") work unchanged in native tests.
// Every failure raises core::RuntimeError with the matching error kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// What programs append to a file's name while they write its next version; a name ending so
// is a leftover of an interrupted write.
inline constexpr std::string_view kNewVersionSuffix = ".nuevo";

// One name in a folder, as ListDirectory gives it.
struct DirectoryEntry {
    enum class Kind { File, Folder, Link, Other };
    std::string name;  // UTF-8, no folder part
    Kind kind = Kind::File;
    std::uint64_t size = 0;     // files only
    std::int64_t modified = 0;  // last write, seconds since 1970-01-01 UTC
};

// Sequential writer of a new file. Commit() makes the bytes durable; destroying a writer
// that was not committed closes the file without that guarantee.
class FileWriter {
public:
    virtual ~FileWriter() = default;
    virtual void Write(const void* data, std::size_t size) = 0;
    // Flushes buffers and forces the bytes to the disk before the file is closed.
    virtual void Commit() = 0;
};

// Random-access reader of an existing file.
class FileReader {
public:
    virtual ~FileReader() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to size bytes at offset; returns the count read (short only at end of file).
    virtual std::size_t ReadAt(std::uint64_t offset, void* data, std::size_t size) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Size in bytes of an existing file: FileNotFound or PathNotFound when it is missing.
    virtual std::uint64_t FileSize(const std::string& path) = 0;
    // The whole content of a file of at most maxBytes bytes (PathFileAccess beyond that).
    virtual std::string ReadFile(const std::string& path, std::size_t maxBytes) = 0;
    // Creates the file, or cuts an existing one to zero length, for writing.
    virtual std::unique_ptr<FileWriter> CreateFile(const std::string& path) = 0;
    // Opens a file for writing after its last byte, creating it when missing (a resumed
    // download). File systems that never resume anything need not offer it: PathFileAccess.
    virtual std::unique_ptr<FileWriter> AppendFile(const std::string& path);
    virtual std::unique_ptr<FileReader> OpenRead(const std::string& path) = 0;
    // Moves from over to, replacing to in one step when it exists.
    virtual void Replace(const std::string& from, const std::string& to) = 0;
    // Replace without waiting for the move to reach the disk: it becomes durable with the next
    // Replace on the same disk (names are journaled in order). The moved file's data survives
    // a power cut only if its writer was committed first.
    virtual void ReplaceUnflushed(const std::string& from, const std::string& to) { Replace(from, to); }
    // Deletes a file: FileNotFound when there is none.
    virtual void DeleteFile(const std::string& path) = 0;
    // Deletes a file if it is there; never raises.
    virtual void RemoveIfExists(const std::string& path) noexcept = 0;
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool DirectoryExists(const std::string& path) = 0;
    // Creates one folder; its parent must exist. An existing folder is fine.
    virtual void CreateDirectory(const std::string& path) = 0;
    // Deletes a folder if it is there and empty; never raises.
    virtual void RemoveFolderIfEmpty(const std::string& path) noexcept = 0;
    // The names in a folder, without "." and "..", in no set order; links are reported as links,
    // never followed. PathNotFound when the folder is missing, PathFileAccess past maxEntries.
    // File systems that never list a folder need not offer it: PathFileAccess.
    virtual std::vector<DirectoryEntry> ListDirectory(const std::string& path, std::size_t maxEntries);
    // Bytes this user may still write on the volume that holds the folder path; nothing when the
    // system cannot say (then no step refuses to start for lack of room). Never raises.
    virtual std::optional<std::uint64_t> FreeBytes(const std::string& path) noexcept;
};

// Passes every call on to another file system, so that a decorator (a fault injector, a
// read-only view) overrides only what it changes.
class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& inner) : m_inner(inner) {}

    std::uint64_t FileSize(const std::string& path) override { return m_inner.FileSize(path); }
    std::string ReadFile(const std::string& path, std::size_t maxBytes) override {
        return m_inner.ReadFile(path, maxBytes);
    }
    std::unique_ptr<FileWriter> CreateFile(const std::string& path) override { return m_inner.CreateFile(path); }
    std::unique_ptr<FileWriter> AppendFile(const std::string& path) override { return m_inner.AppendFile(path); }
    std::unique_ptr<FileReader> OpenRead(const std::string& path) override { return m_inner.OpenRead(path); }
    void Replace(const std::string& from, const std::string& to) override { m_inner.Replace(from, to); }
    void ReplaceUnflushed(const std::string& from, const std::string& to) override {
        m_inner.ReplaceUnflushed(from, to);
    }
    void DeleteFile(const std::string& path) override { m_inner.DeleteFile(path); }
    void RemoveIfExists(const std::string& path) noexcept override { m_inner.RemoveIfExists(path); }
    bool FileExists(const std::string& path) override { return m_inner.FileExists(path); }
    bool DirectoryExists(const std::string& path) override { return m_inner.DirectoryExists(path); }
    void CreateDirectory(const std::string& path) override { m_inner.CreateDirectory(path); }
    void RemoveFolderIfEmpty(const std::string& path) noexcept override { m_inner.RemoveFolderIfEmpty(path); }
    std::vector<DirectoryEntry> ListDirectory(const std::string& path, std::size_t maxEntries) override {
        return m_inner.ListDirectory(path, maxEntries);
    }
    std::optional<std::uint64_t> FreeBytes(const std::string& path) noexcept override {
        return m_inner.FreeBytes(path);
    }

protected:
    FileSystem& Inner() const { return m_inner; }

private:
    FileSystem& m_inner;
};

// The machine's real file system (POSIX natively, wide Win32 calls on Windows).
FileSystem& RealFileSystem();

// Writes content to a temporary file beside path, commits it and moves it over path, so
// that a crash leaves either the old or the new file, never a part of one.
void WriteFileAtomically(FileSystem& fs, const std::string& path, std::string_view content);

// The temporary name WriteFileAtomically uses for path.
std::string TemporaryNameFor(const std::string& path);

}  // namespace core
