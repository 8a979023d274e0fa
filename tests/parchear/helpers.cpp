#include "tests/parchear/helpers.h"

#include <filesystem>
#include <sstream>

#include "core/runtime_error.h"
#include "tools/parchear/cli.h"
#include "updater/unzip/name_decoder.h"
#include "updater/unzip/zip_directory.h"

namespace parchtest {

RunResult Run(const std::vector<std::string>& args, core::FileSystem& fs) {
    std::ostringstream out, err;
    parchear::Console console{out, err};
    RunResult r;
    r.code = parchear::Run(args, fs, console);
    r.out = out.str();
    r.err = err.str();
    return r;
}

std::vector<std::string> EntryNames(const std::string& archive) {
    const auto file = core::RealFileSystem().OpenRead(archive);
    const unzip::Limits limits;
    const unzip::DirectoryRead read = unzip::ReadArchiveDirectory(*file, unzip::Cp437Decoder(), limits);
    const unzip::Directory& dir = read.dir;
    std::vector<std::string> names;
    for (const unzip::Entry& e : dir.entries) names.push_back(std::string(dir.Name(e)) + (e.folder ? "/" : ""));
    return names;
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(testsupport::U8Path(path), ec);
}

std::string RandomBytes(std::size_t size, std::uint32_t seed) {
    std::string s(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (char& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

}  // namespace parchtest
