#include "updater/window/console_window_win32.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "updater/window/fonts_win32.h"
#include "updater/window/window_ids.h"

namespace window {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the console's text is UTF-16 as Windows keeps it");

constexpr int kMargin = 2;

UINT AlignmentFlag(Alignment alignment) {
    switch (alignment) {
        case Alignment::Center: return DT_CENTER;
        case Alignment::Right: return DT_RIGHT;
        case Alignment::Left: break;
    }
    return DT_LEFT;
}

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

}  // namespace

ConsoleWindow::ConsoleWindow(ConsoleDocument& document, Backdrop backdrop)
    : m_document(document), m_backdrop(std::move(backdrop)) {
    // Refresh() repaints at once: the update run keeps the thread away from the message loop.
    m_document.SetRepaint([this] {
        if (Hwnd()) ::RedrawWindow(Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    });
}

void ConsoleWindow::Create(HINSTANCE instance, HWND parent, const layout::PixelRect& rect) {
    m_rectInParent = {rect.left, rect.top, rect.Right(), rect.Bottom()};
    WindowBase::Create(instance, {ids::kConsoleClass}, 0, WS_CHILD | WS_CLIPSIBLINGS, L"", rect.left, rect.top,
                       rect.width, rect.height, parent, ids::kConsoleId);
}

void ConsoleWindow::Reveal() {
    ::ShowWindow(Hwnd(), SW_SHOWNA);
    const LONG style = ::GetWindowLongW(Hwnd(), GWL_EXSTYLE);
    ::SetWindowLongW(Hwnd(), GWL_EXSTYLE, style | WS_EX_TRANSPARENT);
}

HFONT ConsoleWindow::FontFor(const CharFormat& format) {
    const int index = (format.bold ? 1 : 0) | (format.italic ? 2 : 0);
    if (!m_fonts[index]) m_fonts[index] = CreateSansSerif(format.bold, format.italic);
    return m_fonts[index].Get();
}

void ConsoleWindow::Paint(HDC target, const RECT& area) {
    RECT client;
    ::GetClientRect(Hwnd(), &client);
    const int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0) return;

    gdi::MemoryDc dc(::CreateCompatibleDC(target));
    gdi::Bitmap buffer(::CreateCompatibleBitmap(target, width, height));
    if (!dc || !buffer) return;
    gdi::Selection bufferSelection(dc.Get(), buffer.Get());
    m_backdrop(dc.Get(), m_rectInParent);

    // Lines wrap at the box's width; when they do not all fit, the newest stay in view, as a
    // rich-text box scrolled to its insertion point shows them.
    const std::vector<ConsoleLine> lines = m_document.Lines();
    const int textWidth = std::max(1, width - 2 * kMargin);
    std::vector<int> heights(lines.size(), 0);
    int total = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        gdi::Selection font(dc.Get(), FontFor(lines[i].format));
        RECT measure{0, 0, textWidth, 0};
        const wchar_t* text = lines[i].text.empty() ? L" " : Wide(lines[i].text);
        const int length = lines[i].text.empty() ? 1 : static_cast<int>(lines[i].text.size());
        heights[i] =
            ::DrawTextW(dc.Get(), text, length, &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
        total += heights[i];
    }
    int y = total > height - kMargin ? height - total : kMargin;
    ::SetBkMode(dc.Get(), TRANSPARENT);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (y + heights[i] > 0 && !lines[i].text.empty()) {
            gdi::Selection font(dc.Get(), FontFor(lines[i].format));
            ::SetTextColor(dc.Get(), static_cast<COLORREF>(lines[i].format.color & 0xFFFFFF));
            RECT box{kMargin, y, kMargin + textWidth, y + heights[i]};
            ::DrawTextW(dc.Get(), Wide(lines[i].text), static_cast<int>(lines[i].text.size()), &box,
                        AlignmentFlag(lines[i].format.alignment) | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
        }
        y += heights[i];
    }
    ::BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top, dc.Get(), area.left, area.top,
             SRCCOPY);
}

LRESULT ConsoleWindow::CopyText(WPARAM capacity, LPARAM buffer) const {
    auto* out = reinterpret_cast<wchar_t*>(buffer);
    if (!out || capacity == 0) return 0;
    const std::u16string& text = m_document.Text();
    const std::size_t count = std::min<std::size_t>(text.size(), capacity - 1);
    std::wmemcpy(out, reinterpret_cast<const wchar_t*>(text.data()), count);
    out[count] = L'\0';
    return static_cast<LRESULT>(count);
}

LRESULT ConsoleWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: {
            gdi::PaintScope paint(Hwnd());
            Paint(paint.Dc(), paint.Area());
            return 0;
        }
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(m_document.Text().size());
        case WM_GETTEXT: return CopyText(wParam, lParam);
        case WM_SETTEXT: return FALSE;  // the console is written through AddConsole only
        case WM_NCHITTEST: return HTTRANSPARENT;
        case ids::kConsoleLineCount: return static_cast<LRESULT>(m_document.Lines().size());
        case ids::kConsoleLineFormat: {
            const auto lines = m_document.Lines();
            if (wParam >= lines.size()) return -1;
            return static_cast<LRESULT>(ids::PackLineFormat(lines[wParam].format));
        }
        default: return Default(message, wParam, lParam);
    }
}

}  // namespace window
