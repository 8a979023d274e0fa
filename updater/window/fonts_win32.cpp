#include "updater/window/fonts_win32.h"

namespace window {

gdi::Font CreateSansSerif(bool bold, bool italic) {
    // 8.25 points at 96 dots per inch: 11 pixels of character height.
    LOGFONTW lf{};
    lf.lfHeight = -11;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = italic ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    wcscpy_s(lf.lfFaceName, L"MS Sans Serif");
    gdi::Font font(::CreateFontIndirectW(&lf));
    // Deleting a stock object is harmless, so the fallback can live in the same owner.
    if (!font) font.Reset(static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
    return font;
}

}  // namespace window
