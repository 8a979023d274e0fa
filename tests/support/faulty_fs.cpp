#include "tests/support/faulty_fs.h"

#include <algorithm>

#include "core/runtime_error.h"

namespace testsupport {
namespace {

bool Matches(const std::string& path, const std::string& fault) {
    return !fault.empty() && path.find(fault) != std::string::npos;
}

class FaultyWriter final : public core::FileWriter {
public:
    FaultyWriter(std::unique_ptr<core::FileWriter> real, std::uint64_t budget, bool failCommit)
        : m_real(std::move(real)), m_budget(budget), m_failCommit(failCommit) {}
    void Write(const void* data, std::size_t size) override {
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
    std::unique_ptr<core::FileWriter> m_real;
    std::uint64_t m_budget;
    bool m_failCommit;
};

}  // namespace

std::unique_ptr<core::FileWriter> FaultyFileSystem::CreateFile(const std::string& path) {
    if (Matches(path, failCreate)) core::Raise(core::ErrorKind::PathFileAccess, path + " (simulado)");
    auto real = Inner().CreateFile(path);
    const bool write = Matches(path, failWrite), commit = Matches(path, failCommit);
    if (!write && !commit) return real;
    return std::make_unique<FaultyWriter>(std::move(real), write ? failAfter : UINT64_MAX, commit);
}

void FaultyFileSystem::Replace(const std::string& from, const std::string& to) {
    if (Matches(to, failReplace)) core::Raise(core::ErrorKind::PermissionDenied, to + " (simulado)");
    Inner().Replace(from, to);
}

}  // namespace testsupport
