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
    unzip::ArchiveReader reader(*file, limits.bufferSize);
    const unzip::Directory dir = unzip::ReadDirectory(reader, unzip::Cp437Decoder(), limits);
    std::vector<std::string> names;
    for (const unzip::Entry& e : dir.entries) names.push_back(std::string(dir.Name(e)) + (e.folder ? "/" : ""));
    return names;
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(ziptest::PathOf(path), ec);
}

namespace {

class FaultyWriter final : public core::FileWriter {
public:
    FaultyWriter(std::unique_ptr<core::FileWriter> real, std::uint64_t budget)
        : m_real(std::move(real)), m_budget(budget) {}
    void Write(const void* data, std::size_t size) override {
        if (size > m_budget) core::Raise(core::ErrorKind::PathFileAccess, "disco lleno (simulado)");
        m_budget -= size;
        m_real->Write(data, size);
    }
    void Commit() override { m_real->Commit(); }

private:
    std::unique_ptr<core::FileWriter> m_real;
    std::uint64_t m_budget;
};

}  // namespace

std::unique_ptr<core::FileWriter> FaultyFileSystem::CreateFile(const std::string& p) {
    auto real = Inner().CreateFile(p);
    if (failWrite.empty() || p.find(failWrite) == std::string::npos) return real;
    return std::make_unique<FaultyWriter>(std::move(real), failAfter);
}

void FaultyFileSystem::Replace(const std::string& from, const std::string& to) {
    if (!failReplace.empty() && to.find(failReplace) != std::string::npos) {
        core::Raise(core::ErrorKind::PermissionDenied, to + " (simulado)");
    }
    Inner().Replace(from, to);
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
