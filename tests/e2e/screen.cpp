#include "tests/e2e/screen.h"

#include <fstream>
#include <iterator>

namespace e2e {
namespace {

std::uint32_t Le32(const std::string& b, std::size_t at) {
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
           static_cast<std::uint8_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

void Put32(std::string& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

Picture CaptureClient(HWND window) {
    Picture out;
    RECT client;
    if (!GetClientRect(window, &client)) return out;
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    const int w = client.right, h = client.bottom;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (mem && dib) {
        HGDIOBJ old = SelectObject(mem, dib);
        if (BitBlt(mem, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY)) {
            GdiFlush();
            const auto* p = static_cast<const std::uint32_t*>(bits);
            out.width = w;
            out.height = h;
            out.pixels.assign(p, p + static_cast<std::size_t>(w) * h);
            for (auto& px : out.pixels) px &= 0xFFFFFF;
        }
        SelectObject(mem, old);
    }
    if (dib) DeleteObject(dib);
    if (mem) DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return out;
}

Picture LoadBmp(const std::string& path) {
    Picture out;
    std::ifstream in(path, std::ios::binary);
    const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 54 || b.compare(0, 2, "BM") != 0 || (Le32(b, 28) & 0xFFFF) != 24 || Le32(b, 30) != 0) return out;
    const int w = static_cast<int>(Le32(b, 18));
    const int rawH = static_cast<int>(Le32(b, 22));
    const int h = rawH < 0 ? -rawH : rawH;
    const std::size_t stride = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
    const std::size_t offset = Le32(b, 10);
    if (w <= 0 || h <= 0 || b.size() < offset + stride * h) return out;
    out.width = w;
    out.height = h;
    out.pixels.resize(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const std::size_t row = offset + stride * (rawH < 0 ? y : h - 1 - y);
        for (int x = 0; x < w; ++x) {
            const std::size_t at = row + static_cast<std::size_t>(x) * 3;
            out.pixels[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(b[at]) |
                                                              static_cast<std::uint8_t>(b[at + 1]) << 8 |
                                                              static_cast<std::uint8_t>(b[at + 2]) << 16;
        }
    }
    return out;
}

void SaveBmp(const Picture& picture, const std::string& path) {
    const std::size_t stride = (static_cast<std::size_t>(picture.width) * 3 + 3) & ~std::size_t{3};
    std::string b = "BM";
    Put32(b, static_cast<std::uint32_t>(54 + stride * picture.height));
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, static_cast<std::uint32_t>(picture.width));
    Put32(b, static_cast<std::uint32_t>(picture.height));
    Put32(b, 1 | (24 << 16));
    for (int i = 0; i < 6; ++i) Put32(b, 0);
    for (int y = picture.height - 1; y >= 0; --y) {
        std::string row;
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t px = picture.At(x, y);
            row += static_cast<char>(px & 0xFF);
            row += static_cast<char>((px >> 8) & 0xFF);
            row += static_cast<char>((px >> 16) & 0xFF);
        }
        row.resize(stride, '\0');
        b += row;
    }
    std::ofstream(path, std::ios::binary) << b;
}

}  // namespace e2e
