// LblPorc's window: it holds the caption (readable through WM_GETTEXT) and paints nothing;
// frmMain draws the caption itself, transparently over the bar and the artwork.
#pragma once

#include <windows.h>

#include <string>

#include "updater/window/layout.h"
#include "updater/window/window_base_win32.h"

namespace window {

class LabelWindow final : public WindowBase {
public:
    void Create(HINSTANCE instance, HWND parent, const layout::PixelRect& rect, const std::wstring& caption);
    // False when the caption was already this text.
    bool SetCaption(const std::wstring& caption);
    const std::wstring& Caption() const { return m_caption; }

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    std::wstring m_caption;
};

}  // namespace window
