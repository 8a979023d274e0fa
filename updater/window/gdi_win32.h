// GDI objects and device contexts: owners, and scopes that put back what they changed.
#pragma once

#include <windows.h>

#include "core/handle_win32.h"

namespace window::gdi {

// GDI objects (bitmap, font) and memory device contexts, deleted when their owner goes.
using Bitmap = core::UniqueResource<core::NullIsEmpty<HBITMAP, ::DeleteObject>>;
using Font = core::UniqueResource<core::NullIsEmpty<HFONT, ::DeleteObject>>;
using MemoryDc = core::UniqueResource<core::NullIsEmpty<HDC, ::DeleteDC>>;

// Selects an object into a device context for the scope, then puts the previous one back.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(object ? ::SelectObject(dc, object) : nullptr) {}
    ~Selection() {
        if (m_previous && m_previous != HGDI_ERROR) ::SelectObject(m_dc, m_previous);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// BeginPaint / EndPaint for one WM_PAINT.
class PaintScope {
public:
    explicit PaintScope(HWND hwnd) : m_hwnd(hwnd), m_dc(::BeginPaint(hwnd, &m_ps)) {}
    ~PaintScope() { ::EndPaint(m_hwnd, &m_ps); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC Dc() const { return m_dc; }
    const RECT& Area() const { return m_ps.rcPaint; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps{};
    HDC m_dc;
};

}  // namespace window::gdi
