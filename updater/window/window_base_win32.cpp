#include "updater/window/window_base_win32.h"

#include <string>

#include "core/runtime_error.h"

namespace window {
namespace {

// Windows refuses a class or a window only when it runs out of resources: error 7, as the
// runtime reports a form that cannot be loaded; the system's code goes into the detail.
[[noreturn]] void ThrowLastError(const char* what) {
    std::string text = what;
    text += " (código ";
    text += std::to_string(::GetLastError());
    text += ")";
    core::Raise(core::ErrorKind::OutOfMemory, text);
}

}  // namespace

WindowBase::~WindowBase() {
    if (m_hwnd) {
        ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_hwnd);
    }
}

void WindowBase::Create(HINSTANCE instance, const ClassInfo& cls, DWORD exStyle, DWORD style, const wchar_t* title,
                        int x, int y, int width, int height, HWND parent, int id) {
    WNDCLASSEXW wc{};
    if (!::GetClassInfoExW(instance, cls.name, &wc)) {
        wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = StaticProc;
        wc.hInstance = instance;
        wc.hIcon = cls.icon;
        wc.hIconSm = cls.icon;
        wc.hCursor = cls.cursor ? cls.cursor : ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = cls.name;
        if (!::RegisterClassExW(&wc)) ThrowLastError("no se pudo registrar la clase de ventana");
    }
    HMENU menu = parent ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)) : nullptr;
    if (!::CreateWindowExW(exStyle, cls.name, title, style, x, y, width, height, parent, menu, instance, this)) {
        ThrowLastError("no se pudo crear la ventana");
    }
}

LRESULT WindowBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return Default(message, wParam, lParam);
}

LRESULT CALLBACK WindowBase::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<WindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_hwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<WindowBase*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hwnd = nullptr;
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

}  // namespace window
