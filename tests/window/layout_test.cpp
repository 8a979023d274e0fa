// The layout's arithmetic: twips to pixels, the bar's uncovered part per percentage, the
// click areas at their edges, and the centring.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "updater/update/download.h"
#include "updater/window/layout.h"

namespace {

using namespace window::layout;

TEST(Layout, ControlRectanglesInPixels) {
    const struct {
        const char* name;
        TwipsRect twips;
        PixelRect pixels;
    } cases[] = {
        {"client", kClientTwips, {0, 0, 638, 479}},
        {"ImgJugar", kImgJugarTwips, {48, 352, 113, 25}},
        {"ImgSalir", kImgSalirTwips, {480, 352, 105, 25}},
        {"RichTextBox1", kRichTextBox1Twips, {152, 272, 321, 73}},
        {"LblPorc", kLblPorcTwips, {48, 400, 537, 25}},
        {"ProgressBar1", kProgressBar1Twips, {49, 389, 538, 37}},  // top 388.67 rounds to 389
    };
    for (const auto& c : cases) EXPECT_EQ(ToPixels(c.twips), c.pixels) << c.name;
}

TEST(Layout, TwipsToPixelsRoundsHalfToEvenAndSurvivesBadValues) {
    const struct {
        double twips;
        int pixels;
    } cases[] = {
        {0, 0},
        {7, 0},
        {7.5, 0},  // 0.5 px: ties to even
        {22.5, 2},
        {37.5, 2},
        {52.5, 4},
        {-7.5, 0},
        {-22.5, -2},
        {5830, 389},
        {80.7, 5},
        {1e300, 1000000000},
        {-1e300, -1000000000},
        {std::numeric_limits<double>::infinity(), 1000000000},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(TwipsToPixels(c.twips), c.pixels) << c.twips;
}

TEST(Layout, BarUncoversTheLeftPartOfItsPicture) {
    const struct {
        int percent;
        int pixels;
    } cases[] = {{0, 0}, {1, 5}, {2, 11}, {50, 269}, {99, 533}, {100, 538}, {101, 538}, {250, 538}};
    for (const auto& c : cases) {
        EXPECT_EQ(BarVisiblePixels(update::BarWidthTwips(c.percent)), c.pixels) << c.percent;
    }
    EXPECT_EQ(BarVisiblePixels(-80.7), 0);
    EXPECT_EQ(BarVisiblePixels(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(BarVisiblePixels(std::numeric_limits<float>::max()), kBarPictureWidth);
}

TEST(Layout, ClickAreasAtTheirEdges) {
    const struct {
        int x, y;
        HitArea area;
    } cases[] = {
        {48, 352, HitArea::Play},  {160, 376, HitArea::Play}, {161, 360, HitArea::None}, {47, 360, HitArea::None},
        {100, 351, HitArea::None}, {100, 377, HitArea::None}, {480, 352, HitArea::Exit}, {584, 376, HitArea::Exit},
        {585, 360, HitArea::None}, {479, 360, HitArea::None}, {300, 300, HitArea::None}, {-1, -1, HitArea::None},
    };
    for (const auto& c : cases) EXPECT_EQ(HitTest(c.x, c.y), c.area) << c.x << "," << c.y;
}

TEST(Layout, CentredOnTheScreen) {
    EXPECT_EQ(Centred({0, 0, 1024, 768}, 638, 479), (PixelPoint{193, 144}));
    EXPECT_EQ(Centred({0, 0, 1920, 1080}, 638, 479), (PixelPoint{641, 300}));
    EXPECT_EQ(Centred({-1024, 0, 1024, 768}, 638, 479), (PixelPoint{-831, 144}));  // a monitor left of the main one
    EXPECT_EQ(Centred({0, 0, 600, 400}, 638, 479), (PixelPoint{-19, -40}));        // smaller than the window
}

}  // namespace
