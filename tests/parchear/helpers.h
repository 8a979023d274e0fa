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
class FaultyFileSystem final : public core::ForwardingFileSystem {
public:
    FaultyFileSystem() : ForwardingFileSystem(core::RealFileSystem()) {}
    std::string failWrite, failReplace;
    std::uint64_t failAfter = 0;

    std::unique_ptr<core::FileWriter> CreateFile(const std::string& p) override;
    void Replace(const std::string& from, const std::string& to) override;
    void ReplaceUnflushed(const std::string& from, const std::string& to) override { Replace(from, to); }
};

// Bytes that deflate does not shrink.
std::string RandomBytes(std::size_t size, std::uint32_t seed);

}  // namespace parchtest
