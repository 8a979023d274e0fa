// Win32 implementation of the file seam: wide-character calls throughout, so folder names
// that the ANSI code page cannot represent still work.
#include <windows.h>

#include <algorithm>

#include "core/file_system.h"
#include "core/handle_win32.h"
#include "core/path_win32.h"
#include "core/runtime_error.h"
#include "core/text_win32.h"
#include "core/win32_error.h"

namespace core {
namespace {

[[noreturn]] void RaiseLastError(const std::string& path) {
    const DWORD err = ::GetLastError();
    const ErrorKind kind = ErrorKindOfWin32(err);
    Raise(kind, kind == ErrorKind::PathFileAccess ? path + " (" + std::to_string(err) + ")" : path);
}

class Win32Writer final : public FileWriter {
public:
    Win32Writer(HANDLE h, std::string path) : m_file(h), m_path(std::move(path)) {}
    void Write(const void* data, std::size_t size) override {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!::WriteFile(m_file.Get(), p, chunk, &written, nullptr) || written == 0) RaiseLastError(m_path);
            p += written;
            size -= written;
        }
    }
    void Commit() override {
        if (!::FlushFileBuffers(m_file.Get())) RaiseLastError(m_path);
    }

private:
    UniqueHandle m_file;
    std::string m_path;
};

class Win32Reader final : public FileReader {
public:
    Win32Reader(HANDLE h, std::uint64_t size, std::string path) : m_file(h), m_size(size), m_path(std::move(path)) {}
    std::uint64_t Size() const override { return m_size; }
    std::size_t ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
        std::size_t done = 0;
        char* p = static_cast<char*>(data);
        // Never past the end known at open: a read there only comes back empty.
        if (offset >= m_size) return 0;
        size = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_size - offset));
        while (done < size) {
            OVERLAPPED ov{};
            const std::uint64_t at = offset + done;
            ov.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
            ov.OffsetHigh = static_cast<DWORD>(at >> 32);
            const std::size_t left = size - done;
            const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
            DWORD got = 0;
            if (!::ReadFile(m_file.Get(), p + done, chunk, &got, &ov)) {
                if (::GetLastError() == ERROR_HANDLE_EOF) break;
                RaiseLastError(m_path);
            }
            if (got == 0) break;
            done += got;
        }
        return done;
    }

private:
    UniqueHandle m_file;
    std::uint64_t m_size;
    std::string m_path;
};

// FILETIME counts 100 ns steps since 1601-01-01 UTC.
std::int64_t UnixSeconds(const FILETIME& t) {
    constexpr std::int64_t kTicksPerSecond = 10000000;
    constexpr std::int64_t kUnixEpochTicks = 116444736000000000;
    const std::int64_t ticks =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    const std::int64_t since = ticks - kUnixEpochTicks;
    return since >= 0 ? since / kTicksPerSecond : -((-since + kTicksPerSecond - 1) / kTicksPerSecond);
}

// Symbolic links and junctions are links; other reparse points (cloud placeholders, dedup) are
// the files or folders they stand for.
DirectoryEntry::Kind KindOf(const WIN32_FIND_DATAW& data) {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        (data.dwReserved0 == IO_REPARSE_TAG_SYMLINK || data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT)) {
        return DirectoryEntry::Kind::Link;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return DirectoryEntry::Kind::Folder;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return DirectoryEntry::Kind::Other;
    return DirectoryEntry::Kind::File;
}

class Win32FileSystem final : public FileSystem {
public:
    std::uint64_t FileSize(const std::string& path) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) RaiseLastError(path);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Raise(ErrorKind::FileNotFound, path);
        return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }

    std::string ReadFile(const std::string& path, std::size_t maxBytes) override {
        auto reader = OpenRead(path);
        if (reader->Size() > maxBytes) Raise(ErrorKind::PathFileAccess, path + ": demasiado grande");
        std::string out(static_cast<std::size_t>(reader->Size()), '\0');
        out.resize(reader->ReadAt(0, out.data(), out.size()));
        return out;
    }

    std::unique_ptr<FileWriter> CreateFile(const std::string& path) override {
        HANDLE h = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) RaiseLastError(path);
        return std::make_unique<Win32Writer>(h, path);
    }

    std::unique_ptr<FileWriter> AppendFile(const std::string& path) override {
        HANDLE h = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
        if (h == INVALID_HANDLE_VALUE) RaiseLastError(path);
        UniqueHandle owner(h);
        LARGE_INTEGER zero{};
        if (!::SetFilePointerEx(h, zero, nullptr, FILE_END)) RaiseLastError(path);
        return std::make_unique<Win32Writer>(owner.Release(), path);
    }

    std::unique_ptr<FileReader> OpenRead(const std::string& path) override {
        HANDLE h = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h == INVALID_HANDLE_VALUE) RaiseLastError(path);
        UniqueHandle owner(h);
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(h, &size)) RaiseLastError(path);
        return std::make_unique<Win32Reader>(owner.Release(), static_cast<std::uint64_t>(size.QuadPart), path);
    }

    void Replace(const std::string& from, const std::string& to) override {
        if (!::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            RaiseLastError(to);
        }
    }

    // Without MOVEFILE_WRITE_THROUGH: NTFS logs the move in order with every other change of
    // names, so the next move that waits for the disk makes this one durable too.
    void ReplaceUnflushed(const std::string& from, const std::string& to) override {
        if (!::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING)) RaiseLastError(to);
    }

    void DeleteFile(const std::string& path) override {
        if (!::DeleteFileW(WidePath(path).c_str())) RaiseLastError(path);
    }

    void RemoveIfExists(const std::string& path) noexcept override { ::DeleteFileW(WidePath(path).c_str()); }

    bool FileExists(const std::string& path) override {
        const DWORD a = ::GetFileAttributesW(WidePath(path).c_str());
        return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
    }

    bool DirectoryExists(const std::string& path) override {
        const DWORD a = ::GetFileAttributesW(WidePath(path).c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    }

    void RemoveFolderIfEmpty(const std::string& path) noexcept override { ::RemoveDirectoryW(WidePath(path).c_str()); }

    void CreateDirectory(const std::string& path) override {
        if (!::CreateDirectoryW(WidePath(path).c_str(), nullptr)) {
            if (::GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(path)) return;
            RaiseLastError(path);
        }
    }

    // The quota-aware figure (what this user may write), as Explorer shows it.
    std::optional<std::uint64_t> FreeBytes(const std::string& path) noexcept override {
        try {
            std::wstring folder = WidePath(path);
            if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
            ULARGE_INTEGER available{};
            if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return std::nullopt;
            return available.QuadPart;
        } catch (...) {
            return std::nullopt;
        }
    }

    std::vector<DirectoryEntry> ListDirectory(const std::string& path, std::size_t maxEntries) override {
        std::wstring pattern = WidePath(path);
        if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
        pattern += L'*';
        WIN32_FIND_DATAW data{};
        const UniqueFindHandle find(
            ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
        std::vector<DirectoryEntry> entries;
        if (!find) {
            if (::GetLastError() != ERROR_FILE_NOT_FOUND) RaiseLastError(path);
            if (!DirectoryExists(path)) Raise(ErrorKind::PathNotFound, path);
            return entries;  // a drive's empty root has no "." to find
        }
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            if (entries.size() == maxEntries) Raise(ErrorKind::PathFileAccess, path + ": demasiados nombres");
            DirectoryEntry e;
            e.name = WideToUtf8(name);
            e.kind = KindOf(data);
            if (e.kind == DirectoryEntry::Kind::File)
                e.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            e.modified = UnixSeconds(data.ftLastWriteTime);
            entries.push_back(std::move(e));
        } while (::FindNextFileW(find.Get(), &data));
        if (::GetLastError() != ERROR_NO_MORE_FILES) RaiseLastError(path);
        return entries;
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static Win32FileSystem fs;
    return fs;
}

}  // namespace core
