// The real file system with faults on demand, as a crash, a full disk or a file in use would
// cause them. Each fault applies to the paths that contain its text (none when it is empty).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/file_system.h"

namespace testsupport {

class FaultyFileSystem final : public core::ForwardingFileSystem {
public:
    FaultyFileSystem() : ForwardingFileSystem(core::RealFileSystem()) {}
    std::string failCreate;  // CreateFile fails
    std::string failWrite;   // writes fail once failAfter bytes are written (those reach the disk)
    std::uint64_t failAfter = 0;
    std::string failCommit;   // a writer's Commit fails
    std::string failReplace;  // a move onto the path fails as a file in use

    std::unique_ptr<core::FileWriter> CreateFile(const std::string& path) override;
    void Replace(const std::string& from, const std::string& to) override;
    void ReplaceUnflushed(const std::string& from, const std::string& to) override { Replace(from, to); }
};

}  // namespace testsupport
