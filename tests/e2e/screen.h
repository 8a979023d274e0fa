// Pictures for the end-to-end tests: what the virtual display shows of a window's client
// area, and the generated 24-bit bitmaps it is compared with.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// Pixels as 0x00RRGGBB, row by row from the top.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool Empty() const { return pixels.empty(); }
};

// The screen's pixels under the window's client area (the display must show it unobscured).
Picture CaptureClient(HWND window);

// A bottom-up or top-down uncompressed 24-bit bitmap file; empty when it is not one.
Picture LoadBmp(const std::string& path);

// Save as a 24-bit bitmap file (for a look at a failure).
void SaveBmp(const Picture& picture, const std::string& path);

}  // namespace e2e
