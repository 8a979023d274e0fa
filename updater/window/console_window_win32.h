// RichTextBox1 on Windows: a child window that paints the console's lines over the part of
// frmMain's picture beneath it, so that the artwork shows wherever there is no text. (The
// system's rich-edit control paints an opaque box under Wine whatever its styles say.)
#pragma once

#include <windows.h>

#include <functional>

#include "updater/window/console_document.h"
#include "updater/window/gdi_win32.h"
#include "updater/window/layout.h"
#include "updater/window/window_base_win32.h"

namespace window {

class ConsoleWindow final : public WindowBase {
public:
    // Draws the parent's picture for a rectangle of the parent's client area into dc at 0, 0.
    using Backdrop = std::function<void(HDC dc, const RECT& parentArea)>;

    ConsoleWindow(ConsoleDocument& document, Backdrop backdrop);

    // Created hidden, at rect of parent.
    void Create(HINSTANCE instance, HWND parent, const layout::PixelRect& rect);
    // Shows the box and adds WS_EX_TRANSPARENT to its extended style (results not examined:
    // the box draws the picture beneath itself in any case).
    void Reveal();

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Paint(HDC target, const RECT& area);
    HFONT FontFor(const CharFormat& format);
    LRESULT CopyText(WPARAM capacity, LPARAM buffer) const;

    ConsoleDocument& m_document;
    Backdrop m_backdrop;
    RECT m_rectInParent{};
    gdi::Font m_fonts[4];
};

}  // namespace window
