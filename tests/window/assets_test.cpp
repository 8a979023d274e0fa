// The generated artwork: formats and sizes the program's resources rely on, and that the
// drawn buttons, trough and bar really sit where the window's controls are.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "updater/window/layout.h"

namespace {

std::string Read(const std::string& name) {
    std::ifstream in(std::string(VANDREL_ASSET_DIR) + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::uint32_t U32(const std::string& b, std::size_t at) {
    return static_cast<std::uint8_t>(b.at(at)) | static_cast<std::uint8_t>(b.at(at + 1)) << 8 |
           static_cast<std::uint8_t>(b.at(at + 2)) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b.at(at + 3))) << 24;
}
std::uint16_t U16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b.at(at)) | static_cast<std::uint8_t>(b.at(at + 1))
                                                                                << 8);
}

struct Rgb {
    int r, g, b;
    int Luma() const { return (r * 299 + g * 587 + b * 114) / 1000; }
};

// A bottom-up, uncompressed 24-bit bitmap file.
class Bmp {
public:
    explicit Bmp(std::string bytes) : m_b(std::move(bytes)) {}
    bool Valid() const {
        return m_b.size() >= 54 && m_b.compare(0, 2, "BM") == 0 && U32(m_b, 14) == 40 && U16(m_b, 28) == 24 &&
               U32(m_b, 30) == 0 && static_cast<std::int32_t>(U32(m_b, 22)) > 0 &&
               m_b.size() >= U32(m_b, 10) + static_cast<std::size_t>(Stride()) * Height();
    }
    int Width() const { return static_cast<int>(U32(m_b, 18)); }
    int Height() const { return static_cast<int>(U32(m_b, 22)); }
    int Stride() const { return (Width() * 3 + 3) & ~3; }
    Rgb At(int x, int y) const {
        const std::size_t at = U32(m_b, 10) + static_cast<std::size_t>(Height() - 1 - y) * Stride() + x * 3;
        return {static_cast<std::uint8_t>(m_b.at(at + 2)), static_cast<std::uint8_t>(m_b.at(at + 1)),
                static_cast<std::uint8_t>(m_b.at(at))};
    }
    double MeanLuma(const window::layout::PixelRect& r) const {
        double sum = 0;
        for (int y = r.top; y < r.Bottom(); ++y)
            for (int x = r.left; x < r.Right(); ++x) sum += At(x, y).Luma();
        return sum / (r.width * r.height);
    }

private:
    std::string m_b;
};

TEST(Assets, PicturesHaveTheSizesAndFormatTheWindowExpects) {
    struct Case {
        const char* file;
        int width, height;
    } cases[] = {{"background.bmp", 639, 480}, {"progress_bar.bmp", 538, 37}};
    for (const auto& c : cases) {
        const Bmp bmp(Read(c.file));
        ASSERT_TRUE(bmp.Valid()) << c.file;
        EXPECT_EQ(bmp.Width(), c.width) << c.file;
        EXPECT_EQ(bmp.Height(), c.height) << c.file;
    }
}

TEST(Assets, IconIsOneThirtyTwoBitImageOf4286Bytes) {
    const std::string ico = Read("updater.ico");
    ASSERT_EQ(ico.size(), 4286u);
    EXPECT_EQ(U16(ico, 0), 0);
    EXPECT_EQ(U16(ico, 2), 1);  // icon
    EXPECT_EQ(U16(ico, 4), 1);  // one image
    EXPECT_EQ(static_cast<std::uint8_t>(ico[6]), 32);
    EXPECT_EQ(static_cast<std::uint8_t>(ico[7]), 32);
    EXPECT_EQ(U16(ico, 12), 32);  // bits per pixel
    EXPECT_EQ(U32(ico, 14) + U32(ico, 18), ico.size());
}

TEST(Assets, BarIsAGreenGradientFromLeftToRight) {
    const Bmp bar(Read("progress_bar.bmp"));
    ASSERT_TRUE(bar.Valid());
    const int mid = bar.Height() / 2;
    int previous = -1;
    bool changes = false;
    for (int x = 0; x < bar.Width(); x += 20) {
        const Rgb p = bar.At(x, mid);
        EXPECT_GT(p.g, p.r) << x;
        EXPECT_GT(p.g, p.b) << x;
        if (previous >= 0 && p.g != previous) changes = true;
        previous = p.g;
    }
    EXPECT_TRUE(changes);
}

TEST(Assets, ButtonsAndTroughSitUnderTheControls) {
    namespace l = window::layout;
    const Bmp bg(Read("background.bmp"));
    ASSERT_TRUE(bg.Valid());
    // Each button's face differs from the artwork just outside its click area.
    for (const auto& twips : {l::kImgJugarTwips, l::kImgSalirTwips}) {
        const l::PixelRect r = l::ToPixels(twips);
        const l::PixelRect inside{r.left + 3, r.top + 3, r.width - 6, r.height - 6};
        const l::PixelRect above{r.left, r.top - 8, r.width, 5};
        const Rgb edge = bg.At(r.left, r.top + r.height / 2);
        const Rgb outside = bg.At(r.left - 2, r.top + r.height / 2);
        EXPECT_GT(std::abs(edge.Luma() - outside.Luma()) + std::abs(bg.MeanLuma(inside) - bg.MeanLuma(above)), 20)
            << r.left;
    }
    // The trough behind the bar and label is dark, so white text and the green bar read on it.
    const l::PixelRect bar = l::ToPixels(l::kProgressBar1Twips);
    EXPECT_LT(bg.MeanLuma({bar.left, bar.top, l::kBarPictureWidth, l::kBarPictureHeight}), 60);
}

}  // namespace
