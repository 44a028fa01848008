#include "shell/controls/dpiscale.h"

#include <gtest/gtest.h>

namespace tvd {
namespace {

TEST(DpiScale, LayoutPixelsScaleByDpiOver96) {
    struct Case {
        int px, dpi, device;
    };
    const Case cases[] = {
        {1280, 96, 1280}, {1280, 192, 2560}, {27, 120, 34},       {1, 144, 2},
        {1, 120, 1},      {-7, 192, -14},    {-1, 144, -2},       {768, 144, 1152},
        {5, 0, 5},        {5, -96, 5},       {100, 1000000, 100},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScaleForDpi(c.px, c.dpi), c.device) << c.px << " at " << c.dpi;
    EXPECT_EQ(UnscaleForDpi(2560, 192), 1280);
    EXPECT_EQ(UnscaleForDpi(34, 120), 27);
}

TEST(DpiScale, TouchingRectanglesStayTouching) {
    // Menu separator under a 54-pixel button at 132, at a DPI where sizes alone would drift.
    for (int dpi : {96, 120, 144, 168, 192}) {
        Rect button = ScaleRect({35, 76, 218, 54}, dpi);
        Rect next = ScaleRect({35, 130, 218, 2}, dpi);
        EXPECT_EQ(button.Bottom(), next.top) << dpi;
        EXPECT_EQ(ScaleRect({0, 0, 1280, 768}, dpi).width, ScaleForDpi(1280, dpi));
    }
    EXPECT_EQ(ScaleRect({1, 1, 1, 1}, 120), (Rect{1, 1, 2, 2}));
}

TEST(DpiScale, NearestPictureScale) {
    struct Case {
        int dpi, scale;
    };
    for (Case c : {Case{96, 1}, Case{120, 1}, Case{143, 1}, Case{144, 2}, Case{192, 2},
                   Case{288, 2}, Case{0, 1}, Case{72, 1}}) {
        EXPECT_EQ(PictureScaleForDpi(c.dpi), c.scale) << c.dpi;
    }
    EXPECT_EQ(PictureResourceName("IMG_LOGO", 1), "IMG_LOGO");
    EXPECT_EQ(PictureResourceName("IMG_LOGO", 2), "IMG_LOGO_2X");
}

TEST(DpiScale, PointSizesAt96Dpi) {
    struct Case {
        int pt, px;
    };
    for (Case c :
         {Case{12, 16}, Case{10, 13}, Case{11, 15}, Case{13, 17}, Case{14, 19}, Case{9, 12}})
        EXPECT_EQ(FontHeightFromPoints(c.pt), c.px) << c.pt;
}

} // namespace
} // namespace tvd
