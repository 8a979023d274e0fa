#include "core/path_win32.h"

#include <algorithm>

#include "core/text_win32.h"

namespace core {

std::wstring WithBackslashes(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring WidePath(std::string_view utf8Path) { return WithBackslashes(Utf8ToWide(utf8Path)); }

std::wstring ModuleFileName(HMODULE module) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return buffer.substr(0, n);
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring FullPathName(const std::wstring& path) {
    const DWORD need = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0) return path;
    std::wstring buffer(need, L'\0');
    const DWORD n = ::GetFullPathNameW(path.c_str(), need, buffer.data(), nullptr);
    return n == 0 || n >= need ? path : buffer.substr(0, n);
}

std::wstring LongPathName(const std::wstring& path) {
    const DWORD need = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (need == 0) return path;
    std::wstring buffer(need, L'\0');
    const DWORD n = ::GetLongPathNameW(path.c_str(), buffer.data(), need);
    return n == 0 || n >= need ? path : buffer.substr(0, n);
}

}  // namespace core
