// updater_probe: the probe as a command for scripts (the demo, shell-driven tests).
//   updater_probe children TITLE            each child window: class, then its text (CR LF kept)
//   updater_probe click TITLE X Y           a left click at client coordinates X, Y
//   updater_probe dialog TIMEOUT_MS         waits for a dialog box, prints caption and text, presses OK
//   updater_probe wait TITLE TIMEOUT_MS     waits for a top-level window with that title
//   updater_probe rect TITLE                the client area on the screen: X Y WIDTH HEIGHT
// Output is UTF-8. Exit status 1 when the window or dialog is not there.
#include <windows.h>

#include <cstdio>
#include <string>

#include "core/text_win32.h"
#include "tests/probe/probe.h"

namespace {

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
    wchar_t cls[128] = {};
    GetClassNameW(child, cls, 128);
    std::printf("[%s]\n%s\n", core::WideToUtf8(cls).c_str(), probe::WindowText(child).c_str());
    return TRUE;
}

int Usage() {
    std::fputs("uso: updater_probe children|click|dialog|wait|rect ...\n", stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return Usage();
    const std::wstring command = argv[1];
    if (command == L"dialog") {
        const auto d = probe::WaitForDialog(0, static_cast<DWORD>(_wtoi(argv[2])));
        if (!d) return 1;
        std::printf("%s\n%s\n", d->caption.c_str(), d->text.c_str());
        return probe::Press(*d) ? 0 : 1;
    }
    const std::string title = core::WideToUtf8(argv[2]);
    const DWORD wait = command == L"wait" && argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 2000;
    HWND hwnd = probe::WaitForWindow(0, title, wait);
    if (!hwnd) return 1;
    if (command == L"wait") return 0;
    if (command == L"children") {
        EnumChildWindows(hwnd, PrintChild, 0);
        return 0;
    }
    if (command == L"click" && argc == 5) {
        const LPARAM at = MAKELPARAM(_wtoi(argv[3]), _wtoi(argv[4]));
        PostMessageW(hwnd, WM_MOUSEMOVE, 0, at);
        PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
        return 0;
    }
    if (command == L"rect") {
        RECT client{};
        POINT origin{};
        if (!GetClientRect(hwnd, &client) || !ClientToScreen(hwnd, &origin)) return 1;
        std::printf("%ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
        return 0;
    }
    return Usage();
}
