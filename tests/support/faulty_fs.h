// The tests' one file seam with faults on demand, as a crash, a full disk or a file in use would
// cause them, over the real file system or an in-memory one. Each named fault applies to the
// paths that contain its text, either separator matching either (none when it is empty).
// Safe for concurrent writers; set the faults while nothing runs.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/file_system.h"

namespace testsupport {

class FaultyFileSystem final : public core::ForwardingFileSystem {
public:
    explicit FaultyFileSystem(core::FileSystem& inner = core::RealFileSystem()) : ForwardingFileSystem(inner) {}
    std::string failCreate;  // CreateFile fails
    std::string failWrite;   // writes fail once failAfter bytes are written (those reach the disk)
    std::uint64_t failAfter = 0;
    std::string failCommit;   // a writer's Commit fails
    std::string failReplace;  // a move onto the path fails as a file in use
    // The free space shared by every writer: a write that does not fit fails as a full disk and
    // writes nothing.
    std::uint64_t writeBudget = UINT64_MAX;
    // The volume's free space as FreeBytes reports it (nothing: the inner file system's answer).
    std::optional<std::uint64_t> freeBytes;

    std::unique_ptr<core::FileWriter> CreateFile(const std::string& path) override;
    void Replace(const std::string& from, const std::string& to) override;
    void ReplaceUnflushed(const std::string& from, const std::string& to) override;
    std::optional<std::uint64_t> FreeBytes(const std::string& path) noexcept override {
        return freeBytes ? freeBytes : ForwardingFileSystem::FreeBytes(path);
    }

    // Takes size bytes from writeBudget; raises DiskFull (and empties it) when they do not fit.
    void Spend(std::uint64_t size);

private:
    std::mutex m_budgetGuard;
};

}  // namespace testsupport
