#include "updater/window/frm_main_win32.h"

#include <windowsx.h>

#include <algorithm>

#include "core/runtime_error.h"
#include "core/text_win32.h"
#include "updater/window/fonts_win32.h"
#include "updater/window/resource_ids.h"
#include "updater/window/window_ids.h"

namespace window {
namespace {

constexpr UINT_PTR kTimer1Id = 1;
constexpr wchar_t kInitialCaption[] = L"[0% Completado]";
constexpr COLORREF kLabelColor = RGB(255, 255, 255);

RECT ToRect(const layout::PixelRect& r) { return {r.left, r.top, r.Right(), r.Bottom()}; }

const RECT& ConsoleRect() {
    static const RECT r = ToRect(layout::ToPixels(layout::kRichTextBox1Twips));
    return r;
}
const RECT& LabelRect() {
    static const RECT r = ToRect(layout::ToPixels(layout::kLblPorcTwips));
    return r;
}
const RECT& BarRect() {
    static const RECT r = ToRect(layout::ToPixels(layout::kProgressBar1Twips));
    return r;
}

gdi::Bitmap LoadPicture(HINSTANCE instance, int id) {
    gdi::Bitmap bitmap(
        static_cast<HBITMAP>(::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!bitmap) core::Raise(core::ErrorKind::OutOfMemory, "no se pudo cargar una imagen de Updater");
    return bitmap;
}

// Copies a picture's pixels to dc; the picture's part outside it is simply not drawn.
void DrawPicture(HDC dc, HBITMAP picture, int x, int y, int width, int height, int fromX, int fromY) {
    if (width <= 0 || height <= 0) return;
    gdi::MemoryDc source(::CreateCompatibleDC(dc));
    if (!source) return;
    gdi::Selection selection(source.Get(), picture);
    ::BitBlt(dc, x, y, width, height, source.Get(), fromX, fromY, SRCCOPY);
}

}  // namespace

FrmMain::FrmMain(HINSTANCE instance, ConsoleDocument& console)
    : m_instance(instance),
      m_console(console, [this](HDC dc, const RECT& area) { DrawScene(dc, area, area.left, area.top); }) {}

void FrmMain::Create(Handlers handlers) {
    m_handlers = std::move(handlers);
    m_background = LoadPicture(m_instance, IDB_BACKGROUND);
    m_bar = LoadPicture(m_instance, IDB_PROGRESS_BAR);
    m_labelFont = CreateSansSerif(true, false);

    const layout::PixelRect client = layout::ToPixels(layout::kClientTwips);
    const DWORD style = WS_POPUP | WS_CLIPSIBLINGS;
    // A taskbar button, although the window has no title bar.
    const DWORD exStyle = WS_EX_APPWINDOW;
    RECT outer{0, 0, client.width, client.height};
    if (!::AdjustWindowRectEx(&outer, style, FALSE, exStyle)) outer = {0, 0, client.width, client.height};
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    const layout::PixelRect screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    const layout::PixelPoint at = layout::Centred(screen, width, height);

    HICON icon = static_cast<HICON>(
        ::LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_UPDATER), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    WindowBase::Create(m_instance, {ids::kMainClass, icon}, exStyle, style, L"Vandrel Updater", at.x, at.y, width,
                       height, nullptr, 0);
    m_console.Create(m_instance, Hwnd(), layout::ToPixels(layout::kRichTextBox1Twips));
    m_label.Create(m_instance, Hwnd(), layout::ToPixels(layout::kLblPorcTwips), kInitialCaption);
}

void FrmMain::Show(int showCommand) {
    ::ShowWindow(Hwnd(), showCommand);
    ::UpdateWindow(Hwnd());
}

void FrmMain::SetCaption(const std::string& caption) {
    if (!m_label.SetCaption(core::Utf8ToWide(caption))) return;
    ::InvalidateRect(Hwnd(), &LabelRect(), FALSE);
}

void FrmMain::SetBarWidthTwips(float twips) {
    const int pixels = layout::BarVisiblePixels(twips);
    if (pixels == m_barPixels) return;
    const int old = m_barPixels;
    m_barPixels = pixels;
    if (m_barVisible) InvalidateBar(old, pixels);
}

void FrmMain::SetBarVisible(bool visible) {
    if (visible == m_barVisible) return;
    m_barVisible = visible;
    InvalidateBar(0, m_barPixels);
}

void FrmMain::InvalidateBar(int oldPixels, int newPixels) {
    if (!Hwnd()) return;
    const RECT& bar = BarRect();
    const int from = bar.left + std::min(oldPixels, newPixels);
    const int to = bar.left + std::max(oldPixels, newPixels);
    if (from == to) return;
    RECT changed{from, bar.top, to, bar.bottom};
    ::InvalidateRect(Hwnd(), &changed, FALSE);
}

void FrmMain::Enable() {
    if (!::SetTimer(Hwnd(), kTimer1Id, kTimer1IntervalMs, nullptr)) {
        core::Raise(core::ErrorKind::OutOfMemory, "no se pudo iniciar el temporizador");
    }
    m_timerOn = true;
}

void FrmMain::Disable() {
    if (m_timerOn) ::KillTimer(Hwnd(), kTimer1Id);
    m_timerOn = false;
}

void FrmMain::Guarded(const std::function<void()>& handler) {
    try {
        if (handler) handler();
    } catch (...) {
        m_handlers.failure(std::current_exception());
    }
}

void FrmMain::DrawScene(HDC dc, const RECT& area, int originX, int originY) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    DrawPicture(dc, m_background.Get(), area.left - originX, area.top - originY, width, height, area.left, area.top);
    if (!m_barVisible || m_barPixels <= 0) return;
    const RECT& bar = BarRect();
    RECT shown{bar.left, bar.top, bar.left + m_barPixels, bar.top + layout::kBarPictureHeight};
    RECT part;
    if (!::IntersectRect(&part, &shown, &area)) return;
    DrawPicture(dc, m_bar.Get(), part.left - originX, part.top - originY, part.right - part.left,
                part.bottom - part.top, part.left - bar.left, part.top - bar.top);
}

void FrmMain::OnPaint() {
    gdi::PaintScope paint(Hwnd());
    const RECT area = paint.Area();
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;

    // Everything is composed off screen and copied in one go: no flicker while the bar grows.
    gdi::MemoryDc dc(::CreateCompatibleDC(paint.Dc()));
    gdi::Bitmap buffer(::CreateCompatibleBitmap(paint.Dc(), width, height));
    if (!dc || !buffer) return;
    gdi::Selection bufferSelection(dc.Get(), buffer.Get());
    ::SetViewportOrgEx(dc.Get(), -area.left, -area.top, nullptr);
    DrawScene(dc.Get(), area, 0, 0);

    RECT label = LabelRect();
    RECT labelPart;
    if (::IntersectRect(&labelPart, &label, &area)) {
        gdi::Selection font(dc.Get(), m_labelFont.Get());
        ::SetBkMode(dc.Get(), TRANSPARENT);
        ::SetTextColor(dc.Get(), kLabelColor);
        const std::wstring& caption = m_label.Caption();
        ::DrawTextW(dc.Get(), caption.c_str(), static_cast<int>(caption.size()), &label,
                    DT_CENTER | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    }
    ::SetViewportOrgEx(dc.Get(), 0, 0, nullptr);

    // The console paints itself (it repaints while the update run holds the thread).
    const RECT& console = ConsoleRect();
    if (::IsWindowVisible(m_console.Hwnd())) {
        ::ExcludeClipRect(paint.Dc(), console.left, console.top, console.right, console.bottom);
    }
    ::BitBlt(paint.Dc(), area.left, area.top, width, height, dc.Get(), 0, 0, SRCCOPY);
}

void FrmMain::OnLButtonDown(int x, int y) {
    m_pressed = layout::HitTest(x, y);
    if (m_pressed != layout::HitArea::None) ::SetCapture(Hwnd());
}

void FrmMain::OnLButtonUp(int x, int y) {
    const layout::HitArea pressed = m_pressed;
    m_pressed = layout::HitArea::None;
    if (::GetCapture() == Hwnd()) ::ReleaseCapture();
    // A click: pressed and released over the same area.
    if (pressed == layout::HitArea::None || layout::HitTest(x, y) != pressed) return;
    Guarded(pressed == layout::HitArea::Play ? m_handlers.play : m_handlers.exit);
}

LRESULT FrmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: OnPaint(); return 0;
        case WM_TIMER:
            if (wParam == kTimer1Id) Guarded(m_handlers.tick);
            return 0;
        case WM_LBUTTONDOWN: OnLButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
        case WM_LBUTTONUP: OnLButtonUp(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
        case WM_CLOSE:
            // Alt+F4 or the taskbar's Close: the same as Exit.
            Guarded(m_handlers.exit);
            return 0;
        case WM_DESTROY: ::PostQuitMessage(0); return 0;
        case ids::kBarState: return (m_barVisible ? 1 << 16 : 0) | m_barPixels;
        default: return Default(message, wParam, lParam);
    }
}

}  // namespace window
