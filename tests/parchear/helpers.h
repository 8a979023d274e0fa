// Shared by parchear's tests: a sandbox folder, a captured command line, archive inspection
// and a file seam that fails on demand.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "tests/support/temp_dir.h"
#include "tests/unzip/tree.h"

namespace parchtest {

struct RunResult {
    int code = -1;
    std::string out, err;
};

// parchear's command line with its output captured.
RunResult Run(const std::vector<std::string>& args, core::FileSystem& fs = core::RealFileSystem());

// Entry names of an archive as Updater's reader gives them ("dir/" for folders); throws when refused.
std::vector<std::string> EntryNames(const std::string& archive);

bool Exists(const std::string& path);

// Reads pass through; a write to a path containing failWrite fails once failAfter bytes are
// written, and a move onto a path containing failReplace fails.
class FaultyFileSystem final : public core::FileSystem {
public:
    std::string failWrite, failReplace;
    std::uint64_t failAfter = 0;

    std::uint64_t FileSize(const std::string& p) override { return Real().FileSize(p); }
    std::string ReadFile(const std::string& p, std::size_t max) override { return Real().ReadFile(p, max); }
    std::unique_ptr<core::FileWriter> CreateFile(const std::string& p) override;
    std::unique_ptr<core::FileReader> OpenRead(const std::string& p) override { return Real().OpenRead(p); }
    void Replace(const std::string& from, const std::string& to) override;
    void ReplaceUnflushed(const std::string& from, const std::string& to) override { Replace(from, to); }
    void DeleteFile(const std::string& p) override { Real().DeleteFile(p); }
    void RemoveIfExists(const std::string& p) noexcept override { Real().RemoveIfExists(p); }
    bool FileExists(const std::string& p) override { return Real().FileExists(p); }
    bool DirectoryExists(const std::string& p) override { return Real().DirectoryExists(p); }
    void CreateDirectory(const std::string& p) override { Real().CreateDirectory(p); }

private:
    static core::FileSystem& Real() { return core::RealFileSystem(); }
};

// Bytes that deflate does not shrink.
std::string RandomBytes(std::size_t size, std::uint32_t seed);

}  // namespace parchtest
