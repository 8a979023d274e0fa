#include <windows.h>

#include "core/path_win32.h"
#include "core/runtime_error.h"
#include "core/text_win32.h"
#include "tools/parchear/lock.h"

namespace parchear {
namespace {

constexpr DWORD kMaxLockText = 512;

std::string ReadAll(HANDLE file) {
    std::string text(kMaxLockText, '\0');
    OVERLAPPED at{};
    DWORD read = 0;
    if (!::ReadFile(file, text.data(), kMaxLockText, &read, &at)) read = 0;
    text.resize(read);
    return text;
}

// The holder's lines, read beside its open handle (it shares reading).
std::string HolderText(const std::wstring& path) {
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text = ReadAll(file);
    if (!::CloseHandle(file)) {
        // Read-only handle: nothing was written that closing could lose.
    }
    return text;
}

}  // namespace

LockAttempt TryLockFile(const std::string& file) {
    const std::wstring path = core::WidePath(file);
    // No one else may write or delete it while this handle is open; Windows closes the handle
    // (and so ends the lock) with the process.
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // In use, or being deleted by the holder that is letting it go.
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) return {false, -1, HolderText(path)};
        core::Raise(error == ERROR_PATH_NOT_FOUND ? core::ErrorKind::PathNotFound : core::ErrorKind::PermissionDenied,
                    file);
    }
    return {true, reinterpret_cast<std::intptr_t>(handle), ReadAll(handle)};
}

void WriteLockText(std::intptr_t handle, const std::string& text) {
    const HANDLE file = reinterpret_cast<HANDLE>(handle);
    LARGE_INTEGER start{};
    DWORD written = 0;
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !::SetEndOfFile(file) ||
        !::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written != text.size() ||
        !::FlushFileBuffers(file)) {
        core::Raise(core::ErrorKind::PathFileAccess, "parchear.bloqueo");
    }
}

void ReleaseLockFile(std::intptr_t handle, const std::string&) noexcept {
    if (handle == -1) return;
    const HANDLE file = reinterpret_cast<HANDLE>(handle);
    FILE_DISPOSITION_INFO gone{};
    gone.DeleteFile = TRUE;
    if (!::SetFileInformationByHandle(file, FileDispositionInfo, &gone, sizeof gone)) {
        // The file stays, emptied of nothing: the next command takes it over with a line.
    }
    if (!::CloseHandle(file)) {
        // Nothing more to do: the handle is gone either way.
    }
}

std::int64_t ThisProcessId() { return static_cast<std::int64_t>(::GetCurrentProcessId()); }

std::string ThisComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &size)) return "?";
    return core::WideToUtf8(std::wstring(name, size));
}

}  // namespace parchear
