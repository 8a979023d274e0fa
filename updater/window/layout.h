// frmMain's layout: the rectangles in twips as designed and their pixels at 96 dots per inch
// (15 twips per pixel), the visible part of the progress bar, and the click areas.
#pragma once

namespace window::layout {

inline constexpr int kTwipsPerPixel = 15;

struct TwipsRect {
    double left, top, width, height;
};

struct PixelRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool Contains(int x, int y) const { return x >= left && x < left + width && y >= top && y < top + height; }
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    bool operator==(const PixelRect&) const = default;
};

// twips / 15, rounded half to even; NaN gives 0, values beyond +-1e9 pixels are clamped.
int TwipsToPixels(double twips);
PixelRect ToPixels(const TwipsRect& rect);

// The window's client area and its controls (left, top, width, height in twips).
inline constexpr TwipsRect kClientTwips{0, 0, 9570, 7185};
inline constexpr TwipsRect kImgJugarTwips{720, 5280, 1695, 375};
inline constexpr TwipsRect kImgSalirTwips{7200, 5280, 1575, 375};
inline constexpr TwipsRect kRichTextBox1Twips{2280, 4080, 4815, 1095};
inline constexpr TwipsRect kLblPorcTwips{720, 6000, 8055, 375};
inline constexpr TwipsRect kProgressBar1Twips{735, 5830, 8070, 555};

// The pictures' natural sizes in pixels.
inline constexpr int kBackgroundWidth = 639, kBackgroundHeight = 480;
inline constexpr int kBarPictureWidth = 538, kBarPictureHeight = 37;

// Pixels of the bar picture that a bar width of twips uncovers: the left part, never more
// than the picture, nothing for widths of 0 or less.
int BarVisiblePixels(double twips);

enum class HitArea { None, Play, Exit };
// Which click area (ImgJugar, ImgSalir) holds the client point.
HitArea HitTest(int x, int y);

struct PixelPoint {
    int x = 0, y = 0;
    bool operator==(const PixelPoint&) const = default;
};
// Top-left corner that centres a window of the given outer size on the screen area.
PixelPoint Centred(const PixelRect& screen, int width, int height);

}  // namespace window::layout
