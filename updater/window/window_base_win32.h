// A small base for the program's windows: registers the class once, creates the window with
// this object as its owner and routes every message to HandleMessage.
#pragma once

#include <windows.h>

namespace window {

class WindowBase {
public:
    WindowBase() = default;
    virtual ~WindowBase();
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;

    HWND Hwnd() const { return m_hwnd; }

protected:
    struct ClassInfo {
        const wchar_t* name;
        HICON icon = nullptr;
        HCURSOR cursor = nullptr;
    };
    // Registers the class (once per process) and creates the window; error 7 (out of memory)
    // with the system's error code in the detail when Windows refuses either.
    void Create(HINSTANCE instance, const ClassInfo& cls, DWORD exStyle, DWORD style, const wchar_t* title, int x,
                int y, int width, int height, HWND parent, int id);

    // Every message; the default handling is DefWindowProc.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) {
        return ::DefWindowProcW(m_hwnd, message, wParam, lParam);
    }

private:
    static LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
};

}  // namespace window
