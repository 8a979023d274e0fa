// Shared by parchear's tests: a sandbox folder, a captured command line, archive inspection
// and the file seam that fails on demand.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "tests/support/faulty_fs.h"
#include "tests/support/files.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree.h"

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

using testsupport::FaultyFileSystem;

// Bytes that deflate does not shrink.
std::string RandomBytes(std::size_t size, std::uint32_t seed);

}  // namespace parchtest
