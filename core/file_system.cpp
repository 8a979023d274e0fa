#include "core/file_system.h"

#include "core/runtime_error.h"

namespace core {

std::unique_ptr<FileWriter> FileSystem::AppendFile(const std::string& path) { Raise(ErrorKind::PathFileAccess, path); }

std::vector<DirectoryEntry> FileSystem::ListDirectory(const std::string& path, std::size_t) {
    Raise(ErrorKind::PathFileAccess, path);
}

std::optional<std::uint64_t> FileSystem::FreeBytes(const std::string&) noexcept { return std::nullopt; }

std::string TemporaryNameFor(const std::string& path) { return path + std::string(kNewVersionSuffix); }

void WriteFileAtomically(FileSystem& fs, const std::string& path, std::string_view content) {
    const std::string temp = TemporaryNameFor(path);
    try {
        auto writer = fs.CreateFile(temp);
        writer->Write(content.data(), content.size());
        writer->Commit();
        writer.reset();
        fs.Replace(temp, path);
    } catch (...) {
        fs.RemoveIfExists(temp);
        throw;
    }
}

}  // namespace core
