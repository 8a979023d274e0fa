#include "updater/window/layout.h"

#include <algorithm>
#include <cmath>

#include "core/numeric.h"

namespace window::layout {

int TwipsToPixels(double twips) {
    if (std::isnan(twips)) return 0;
    const double pixels = std::clamp(core::RoundHalfEven(twips / kTwipsPerPixel), -1e9, 1e9);
    return static_cast<int>(pixels);
}

PixelRect ToPixels(const TwipsRect& rect) {
    return {TwipsToPixels(rect.left), TwipsToPixels(rect.top), TwipsToPixels(rect.width), TwipsToPixels(rect.height)};
}

int BarVisiblePixels(double twips) { return std::clamp(TwipsToPixels(twips), 0, kBarPictureWidth); }

HitArea HitTest(int x, int y) {
    if (ToPixels(kImgJugarTwips).Contains(x, y)) return HitArea::Play;
    if (ToPixels(kImgSalirTwips).Contains(x, y)) return HitArea::Exit;
    return HitArea::None;
}

PixelPoint Centred(const PixelRect& screen, int width, int height) {
    // Floor division keeps odd remainders consistent for negative offsets too.
    const auto half = [](int v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); };
    return {screen.left + half(screen.width - width), screen.top + half(screen.height - height)};
}

}  // namespace window::layout
