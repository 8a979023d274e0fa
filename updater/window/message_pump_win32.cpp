#include "updater/window/message_pump_win32.h"

namespace window {

void Win32MessagePump::ProcessPending() {
    const ULONGLONG now = ::GetTickCount64();
    if (now - m_last < m_intervalMs) return;
    m_last = now;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) ::ExitProcess(static_cast<UINT>(msg.wParam));
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace window
