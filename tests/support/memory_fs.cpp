#include "tests/support/memory_fs.h"

#include <algorithm>
#include <cstring>

#include "core/runtime_error.h"

namespace testsupport {
namespace {

using core::ErrorKind;
using core::Raise;

std::string Parent(const std::string& key) {
    const auto slash = key.rfind('/');
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

class Writer final : public core::FileWriter {
public:
    Writer(MemoryFileSystem& fs, std::shared_ptr<std::string> file) : m_fs(fs), m_file(std::move(file)) {}
    void Write(const void* data, std::size_t size) override {
        std::lock_guard<std::mutex> lock(m_fs.guard);
        m_file->append(static_cast<const char*>(data), size);
    }
    void Commit() override {}

private:
    MemoryFileSystem& m_fs;
    std::shared_ptr<std::string> m_file;
};

class Reader final : public core::FileReader {
public:
    Reader(MemoryFileSystem& fs, std::shared_ptr<const std::string> file) : m_fs(fs), m_file(std::move(file)) {
        ++m_fs.openReaders;
    }
    ~Reader() override { --m_fs.openReaders; }
    std::uint64_t Size() const override { return m_file->size(); }
    std::size_t ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
        if (offset >= m_file->size()) return 0;
        const std::size_t n = std::min<std::uint64_t>(size, m_file->size() - offset);
        std::memcpy(data, m_file->data() + offset, n);
        return n;
    }

private:
    MemoryFileSystem& m_fs;
    std::shared_ptr<const std::string> m_file;
};

}  // namespace

std::string MemoryFileSystem::Key(const std::string& path) {
    std::string k = path;
    std::replace(k.begin(), k.end(), '\\', '/');
    while (k.size() > 1 && k.back() == '/') k.pop_back();
    return k;
}

std::uint64_t MemoryFileSystem::FileSize(const std::string& path) {
    std::lock_guard<std::mutex> lock(guard);
    const auto it = files.find(Key(path));
    if (it == files.end()) Raise(ErrorKind::FileNotFound, path);
    return it->second->size();
}

std::string MemoryFileSystem::ReadFile(const std::string& path, std::size_t maxBytes) {
    std::lock_guard<std::mutex> lock(guard);
    const auto it = files.find(Key(path));
    if (it == files.end()) Raise(ErrorKind::FileNotFound, path);
    if (it->second->size() > maxBytes) Raise(ErrorKind::PathFileAccess, path);
    return *it->second;
}

std::unique_ptr<core::FileWriter> MemoryFileSystem::CreateFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(guard);
    const std::string k = Key(path);
    const std::string parent = Parent(k);
    if (!parent.empty() && folders.count(parent) == 0) Raise(ErrorKind::PathNotFound, path);
    if (folders.count(k) != 0) Raise(ErrorKind::PathFileAccess, path);
    changed.push_back(k);
    auto file = std::make_shared<std::string>();
    files[k] = file;
    return std::make_unique<Writer>(*this, file);
}

std::unique_ptr<core::FileReader> MemoryFileSystem::OpenRead(const std::string& path) {
    std::shared_ptr<const std::string> file;
    {
        std::lock_guard<std::mutex> lock(guard);
        const auto it = files.find(Key(path));
        if (it == files.end())
            Raise(folders.count(Parent(Key(path))) ? ErrorKind::FileNotFound : ErrorKind::PathNotFound);
        file = it->second;
    }
    return std::make_unique<Reader>(*this, std::move(file));  // counts itself under the lock
}

void MemoryFileSystem::Replace(const std::string& from, const std::string& to) {
    std::lock_guard<std::mutex> lock(guard);
    const std::string f = Key(from), t = Key(to);
    const auto it = files.find(f);
    if (it == files.end()) Raise(ErrorKind::FileNotFound, from);
    if (folders.count(t) != 0) Raise(ErrorKind::PathFileAccess, to);
    changed.push_back(t);
    files[t] = it->second;
    files.erase(f);
}

void MemoryFileSystem::DeleteFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(guard);
    const std::string k = Key(path);
    if (files.erase(k) == 0) Raise(ErrorKind::FileNotFound, path);
    changed.push_back(k);
}

void MemoryFileSystem::RemoveIfExists(const std::string& path) noexcept {
    std::lock_guard<std::mutex> lock(guard);
    const std::string k = Key(path);
    if (files.erase(k) != 0) changed.push_back(k);
}

bool MemoryFileSystem::FileExists(const std::string& path) {
    std::lock_guard<std::mutex> lock(guard);
    return files.count(Key(path)) != 0;
}

bool MemoryFileSystem::DirectoryExists(const std::string& path) {
    std::lock_guard<std::mutex> lock(guard);
    return folders.count(Key(path)) != 0;
}

void MemoryFileSystem::RemoveFolderIfEmpty(const std::string& path) noexcept {
    std::lock_guard<std::mutex> lock(guard);
    const std::string k = Key(path);
    const auto inside = [&](const std::string& other) {
        return other.size() > k.size() && other.rfind(k + "/", 0) == 0;
    };
    for (const auto& [name, content] : files) {
        if (inside(name)) return;
    }
    for (const std::string& folder : folders) {
        if (inside(folder)) return;
    }
    if (folders.erase(k) != 0) changed.push_back(k);
}

void MemoryFileSystem::CreateDirectory(const std::string& path) {
    std::lock_guard<std::mutex> lock(guard);
    ++createDirectoryCalls;
    const std::string k = Key(path);
    if (folders.count(k) != 0) return;
    const std::string parent = Parent(k);
    if (!parent.empty() && folders.count(parent) == 0) Raise(ErrorKind::PathNotFound, path);
    if (files.count(k) != 0) Raise(ErrorKind::PathFileAccess, path);
    changed.push_back(k);
    folders.insert(k);
}

}  // namespace testsupport
