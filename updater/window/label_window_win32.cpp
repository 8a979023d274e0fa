#include "updater/window/label_window_win32.h"

#include "updater/window/gdi_win32.h"
#include "updater/window/window_ids.h"

namespace window {

void LabelWindow::Create(HINSTANCE instance, HWND parent, const layout::PixelRect& rect, const std::wstring& caption) {
    m_caption = caption;
    WindowBase::Create(instance, {ids::kLabelClass}, WS_EX_TRANSPARENT, WS_CHILD | WS_VISIBLE, caption.c_str(),
                       rect.left, rect.top, rect.width, rect.height, parent, ids::kLabelId);
}

bool LabelWindow::SetCaption(const std::wstring& caption) {
    if (caption == m_caption) return false;
    m_caption = caption;
    ::SetWindowTextW(Hwnd(), m_caption.c_str());
    return true;
}

LRESULT LabelWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: {
            gdi::PaintScope paint(Hwnd());
            return 0;
        }
        case WM_NCHITTEST: return HTTRANSPARENT;
        default: return Default(message, wParam, lParam);
    }
}

}  // namespace window
