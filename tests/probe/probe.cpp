#include "tests/probe/probe.h"

#include <stdexcept>

#include "core/text_win32.h"

namespace probe {
namespace {

constexpr int kMessageTextId = 0xFFFF;  // the static control that holds a message box's text

struct Search {
    DWORD pid;
    std::wstring title;
    bool dialogsOnly;
    HWND found = nullptr;
};

BOOL CALLBACK FindTop(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(hwnd)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (s->pid != 0 && pid != s->pid) return TRUE;
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    const bool isDialog = std::wstring(cls) == L"#32770";
    if (s->dialogsOnly != isDialog) return TRUE;
    if (!s->title.empty()) {
        wchar_t title[512] = {};
        GetWindowTextW(hwnd, title, 512);
        if (s->title != title) return TRUE;
    }
    s->found = hwnd;
    return FALSE;
}

HWND FindWithin(DWORD pid, const std::wstring& title, bool dialogsOnly, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        Search s{pid, title, dialogsOnly};
        EnumWindows(FindTop, reinterpret_cast<LPARAM>(&s));
        if (s.found) return s.found;
        if (GetTickCount64() >= end) return nullptr;
        Sleep(50);
    }
}

BOOL CALLBACK ReadChild(HWND child, LPARAM param) {
    auto* d = reinterpret_cast<Dialog*>(param);
    wchar_t cls[64] = {};
    GetClassNameW(child, cls, 64);
    const std::wstring name(cls);
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if (_wcsicmp(name.c_str(), L"Button") == 0 && IsWindowVisible(child)) {
        d->buttons.push_back({GetDlgCtrlID(child), WindowText(child)});
    } else if (_wcsicmp(name.c_str(), L"Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) && SendMessageW(child, STM_GETICON, 0, 0) != 0) {
            d->hasIcon = true;
        }
    }
    return TRUE;
}

}  // namespace

std::string WindowText(HWND hwnd) {
    const LRESULT n = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (n <= 0) return {};
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const LRESULT got = SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return core::WideToUtf8(text);
}

std::optional<Dialog> WaitForDialog(DWORD pid, DWORD timeoutMs) {
    HWND hwnd = FindWithin(pid, {}, true, timeoutMs);
    if (!hwnd) return std::nullopt;
    Sleep(100);  // let the box finish its set-up before it is read
    Dialog d;
    d.hwnd = hwnd;
    GetWindowThreadProcessId(hwnd, &d.pid);
    d.caption = WindowText(hwnd);
    if (HWND text = GetDlgItem(hwnd, kMessageTextId)) d.text = WindowText(text);
    EnumChildWindows(hwnd, ReadChild, reinterpret_cast<LPARAM>(&d));
    return d;
}

bool Press(const Dialog& dialog, int id, DWORD timeoutMs) {
    HWND button = GetDlgItem(dialog.hwnd, id);
    if (button) {
        PostMessageW(dialog.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    } else {
        PostMessageW(dialog.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (IsWindow(dialog.hwnd) && IsWindowVisible(dialog.hwnd)) {
        if (GetTickCount64() >= end) return false;
        Sleep(20);
    }
    return true;
}

HWND WaitForWindow(DWORD pid, const std::string& title, DWORD timeoutMs) {
    return FindWithin(pid, core::Utf8ToWide(title), false, timeoutMs);
}

Process Process::Start(const std::string& exe, const std::string& arguments, const std::string& cwd) {
    std::wstring command = L"\"" + core::Utf8ToWide(exe) + L"\"";
    if (!arguments.empty()) command += L" " + core::Utf8ToWide(arguments);
    const std::wstring dir = core::Utf8ToWide(cwd);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        dir.empty() ? nullptr : dir.c_str(), &si, &pi)) {
        throw std::runtime_error("CreateProcess failed for " + exe + ": " + std::to_string(GetLastError()));
    }
    CloseHandle(pi.hThread);
    Process p;
    p.m_process.Reset(pi.hProcess);
    p.m_pid = pi.dwProcessId;
    return p;
}

std::optional<DWORD> Process::Wait(DWORD timeoutMs) {
    if (WaitForSingleObject(m_process.Get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(m_process.Get(), &code);
    return code;
}

void Process::Kill() {
    if (Running()) {
        TerminateProcess(m_process.Get(), 99);
        WaitForSingleObject(m_process.Get(), 5000);
    }
}

bool Process::IsWow64() const {
    BOOL wow64 = FALSE;
    if (!IsWow64Process(m_process.Get(), &wow64)) {
        throw std::runtime_error("IsWow64Process failed: " + std::to_string(GetLastError()));
    }
    return wow64 != FALSE;
}

bool Process::Running() { return m_process && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT; }

}  // namespace probe
