#include "tests/support/faulty_fs.h"

#include <algorithm>

#include "core/runtime_error.h"

namespace testsupport {
namespace {

// Either separator matches either.
bool Matches(std::string path, std::string fault) {
    std::replace(path.begin(), path.end(), '\\', '/');
    std::replace(fault.begin(), fault.end(), '\\', '/');
    return !fault.empty() && path.find(fault) != std::string::npos;
}

class FaultyWriter final : public core::FileWriter {
public:
    FaultyWriter(FaultyFileSystem& fs, std::unique_ptr<core::FileWriter> real, std::uint64_t budget, bool failCommit)
        : m_fs(fs), m_real(std::move(real)), m_budget(budget), m_failCommit(failCommit) {}
    void Write(const void* data, std::size_t size) override {
        m_fs.Spend(size);
        const std::size_t written = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_budget));
        m_real->Write(data, written);
        m_budget -= written;
        if (written < size) core::Raise(core::ErrorKind::PathFileAccess, "disco lleno (simulado)");
    }
    void Commit() override {
        if (m_failCommit) core::Raise(core::ErrorKind::PathFileAccess, "fallo al cerrar (simulado)");
        m_real->Commit();
    }

private:
    FaultyFileSystem& m_fs;
    std::unique_ptr<core::FileWriter> m_real;
    std::uint64_t m_budget;
    bool m_failCommit;
};

}  // namespace

std::unique_ptr<core::FileWriter> FaultyFileSystem::CreateFile(const std::string& path) {
    if (Matches(path, failCreate)) core::Raise(core::ErrorKind::PathFileAccess, path + " (simulado)");
    auto real = Inner().CreateFile(path);
    const bool write = Matches(path, failWrite), commit = Matches(path, failCommit);
    if (!write && !commit && writeBudget == UINT64_MAX) return real;
    return std::make_unique<FaultyWriter>(*this, std::move(real), write ? failAfter : UINT64_MAX, commit);
}

void FaultyFileSystem::Replace(const std::string& from, const std::string& to) {
    if (Matches(to, failReplace)) core::Raise(core::ErrorKind::PermissionDenied, to + " (simulado)");
    Inner().Replace(from, to);
}

void FaultyFileSystem::ReplaceUnflushed(const std::string& from, const std::string& to) {
    if (Matches(to, failReplace)) core::Raise(core::ErrorKind::PermissionDenied, to + " (simulado)");
    Inner().ReplaceUnflushed(from, to);
}

void FaultyFileSystem::Spend(std::uint64_t size) {
    std::lock_guard<std::mutex> lock(m_budgetGuard);
    if (writeBudget == UINT64_MAX) return;
    if (size > writeBudget) {
        writeBudget = 0;
        core::Raise(core::ErrorKind::DiskFull, "disco lleno (simulado)");
    }
    writeBudget -= size;
}

}  // namespace testsupport
