#include "updater/window/single_instance_win32.h"

#include <cstdint>

#include "core/fnv1a.h"
#include "core/path_win32.h"
#include "core/text_win32.h"
#include "updater/window/window_ids.h"

namespace window {
namespace {

// Folder of the executable that process pid runs; empty when it cannot be read.
std::wstring ProcessFolder(DWORD pid) {
    core::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return {};
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!::QueryFullProcessImageNameW(process.Get(), 0, path.data(), &size)) return {};
    path.resize(size);
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

struct Search {
    std::wstring folder;  // comparable form
    HWND found = nullptr;
};

BOOL CALLBACK FindMainWindow(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t cls[64] = {};
    if (::GetClassNameW(hwnd, cls, 64) == 0 || std::wstring_view(cls) != ids::kMainClass) return TRUE;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == ::GetCurrentProcessId()) return TRUE;
    const std::wstring folder = ProcessFolder(pid);
    if (folder.empty() || ComparableFolder(folder) != search->folder) return TRUE;
    search->found = hwnd;
    return FALSE;
}

}  // namespace

std::wstring ComparableFolder(const std::wstring& folder) {
    std::wstring path = core::WithBackslashes(core::LongPathName(core::FullPathName(folder)));
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    if (path.empty()) return path;
    std::wstring upper(path.size(), L'\0');
    const int n = ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, path.c_str(), static_cast<int>(path.size()),
                                 upper.data(), static_cast<int>(upper.size()));
    return n == static_cast<int>(upper.size()) ? upper : path;
}

std::wstring InstanceMutexName(const std::string& folder) {
    const std::wstring key = ComparableFolder(core::Utf8ToWide(folder));
    std::uint64_t hash = core::kFnv1aOffsetBasis;
    for (const wchar_t c : key) {
        const auto unit = static_cast<unsigned>(static_cast<std::uint16_t>(c));
        for (const unsigned byte : {unit & 0xFFu, unit >> 8u})
            hash = core::Fnv1aStep(hash, static_cast<std::uint8_t>(byte));
    }
    static const wchar_t* const kHex = L"0123456789abcdef";
    std::wstring name = L"Local\\VandrelUpdater-";
    for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(hash >> shift) & 0xF];
    return name;
}

InstanceLock::InstanceLock(const std::string& folder) {
    m_mutex.Reset(::CreateMutexW(nullptr, FALSE, InstanceMutexName(folder).c_str()));
    m_first = !m_mutex || ::GetLastError() != ERROR_ALREADY_EXISTS;
}

bool BringRunningToFront(const std::string& folder, DWORD waitMs) {
    Search search{ComparableFolder(core::Utf8ToWide(folder))};
    const ULONGLONG end = ::GetTickCount64() + waitMs;
    for (;;) {
        ::EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) break;
        if (::GetTickCount64() >= end) return false;
        ::Sleep(50);
    }
    if (::IsIconic(search.found)) ::ShowWindowAsync(search.found, SW_RESTORE);
    // A box the running Updater shows comes first.
    ::SetForegroundWindow(::GetLastActivePopup(search.found));
    return true;
}

}  // namespace window
