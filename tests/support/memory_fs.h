// An in-memory file seam for the extraction tests and the fuzzer, with a record of every path
// that was changed (faults come from FaultyFileSystem over it). Safe for the extraction's
// concurrent writers; the fields below are for the test to set and read while no extraction runs.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/file_system.h"

namespace testsupport {

class MemoryFileSystem final : public core::FileSystem {
public:
    // Paths are kept with '/' separators and no trailing one.
    static std::string Key(const std::string& path);

    std::uint64_t FileSize(const std::string& path) override;
    std::string ReadFile(const std::string& path, std::size_t maxBytes) override;
    std::unique_ptr<core::FileWriter> CreateFile(const std::string& path) override;
    std::unique_ptr<core::FileReader> OpenRead(const std::string& path) override;
    void Replace(const std::string& from, const std::string& to) override;
    void DeleteFile(const std::string& path) override;
    void RemoveIfExists(const std::string& path) noexcept override;
    bool FileExists(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    void CreateDirectory(const std::string& path) override;
    void RemoveFolderIfEmpty(const std::string& path) noexcept override;

    std::map<std::string, std::shared_ptr<std::string>> files;
    std::set<std::string> folders;
    // Seen from outside: every path created, written, moved or removed, and open readers.
    std::vector<std::string> changed;
    int openReaders = 0;
    int createDirectoryCalls = 0;
    std::mutex guard;  // held by every call and every writer's and reader's change
};

}  // namespace testsupport
