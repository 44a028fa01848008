#include <gtest/gtest.h>
#include <cmath>
#include <limits>

#include "shell/controls/barlayout.h"
#include "shell/controls/boxlayout.h"
#include "shell/controls/dragtracker.h"
#include "shell/controls/pieshape.h"
#include "shell/controls/scrollboxmodel.h"

namespace tvd {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(InfoBoxLayout, NinePiecesAroundTheInnerRectangle) {
    auto l = LayOutInfoBox({323, 148, 752, 303});
    ASSERT_TRUE(l);
    EXPECT_EQ(l->inner, (Rect{336, 160, 725, 276}));
    const PicturePlacement expected[] = {
        {"IMG_INFOBOX_UL", {323, 148, 13, 12}},  {"IMG_INFOBOX_UR", {1061, 148, 14, 12}},
        {"IMG_INFOBOX_DL", {323, 436, 13, 15}},  {"IMG_INFOBOX_DR", {1061, 436, 14, 15}},
        {"IMG_INFOBOX_UM", {336, 148, 725, 12}}, {"IMG_INFOBOX_DM", {336, 436, 725, 15}},
        {"IMG_INFOBOX_LM", {323, 160, 13, 276}}, {"IMG_INFOBOX_RM", {1061, 160, 14, 276}},
    };
    for (std::size_t i = 0; i < l->pieces.size(); ++i) {
        EXPECT_STREQ(l->pieces[i].picture, expected[i].picture);
        EXPECT_EQ(l->pieces[i].rect, expected[i].rect) << expected[i].picture;
    }
    // The pieces tile the box exactly: their areas plus the inner one make the whole.
    long area = l->inner.width * l->inner.height;
    for (const auto& p : l->pieces)
        area += p.rect.width * p.rect.height;
    EXPECT_EQ(area, 752L * 303L);
}

TEST(InfoBoxLayout, BelowTheCornersNothingIsDrawn) {
    struct Case {
        int w, h;
        bool drawn;
    };
    for (Case c : {Case{27, 27, true}, Case{26, 300, false}, Case{300, 26, false},
                   Case{0, 0, false}, Case{-5, 100, false}}) {
        auto l = LayOutInfoBox({0, 0, c.w, c.h});
        EXPECT_EQ(l.has_value(), c.drawn) << c.w << "x" << c.h;
        if (l) {
            EXPECT_TRUE(l->inner.Empty());
        }
    }
}

TEST(BoxLayout, TitledLinkAndWarning) {
    auto t = LayOutTitledBox({323, 148, 752, 350});
    EXPECT_EQ(t.icon, (Rect{348, 164, 30, 30}));
    EXPECT_EQ(t.name, (Point{394, 168}));
    EXPECT_EQ(t.line, (Rect{348, 208, 702, 2}));
    EXPECT_EQ(LayOutTitledBox({0, 0, 40, 100}).line.width, 0);
    auto k = LayOutLinkBox({323, 414, 236, 220});
    EXPECT_EQ(k.title, (Rect{353, 434, 174, 40}));
    EXPECT_EQ(k.text, (Rect{353, 474, 174, 100}));
    EXPECT_EQ(k.button, (Rect{376, 582, 130, 27}));
    auto w = LayOutWarningLine({10, 20}, 500);
    EXPECT_EQ(w.picture, (Rect{10, 20, 27, 25}));
    EXPECT_EQ(w.label, (Rect{41, 20, 465, 25}));
    EXPECT_EQ(LayOutWarningLine({0, 0}, 20).label.width, 0);
}

TEST(BarLayout, PercentagesAreClamped) {
    struct Case {
        double p;
        int width;
        int fill;
    };
    const Case cases[] = {
        {37.5, 680, 255}, {0, 680, 0},  {100, 680, 680}, {99.99, 680, 679},
        {150, 680, 680},  {-3, 680, 0}, {kNaN, 680, 0},  {kInf, 680, 680},
        {-kInf, 680, 0},  {50, 0, 0},   {50, -20, 0},    {1e300, 7, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.p << " of " << c.width);
        EXPECT_EQ(PercentFill(c.p, c.width), c.fill);
        auto bar = LayOutCapacityBar({10, 20, c.width, 30}, c.p);
        EXPECT_EQ(bar.gradient, (Rect{10, 20, c.fill, 30}));
    }
    EXPECT_EQ(ClampPercent(kNaN), 0.0);
    EXPECT_EQ(ClampPercent(-0.5), 0.0);
    EXPECT_EQ(ClampPercent(12.25), 12.25);
}

TEST(BarLayout, CapacityBarLabelsAndNegativeSizes) {
    auto bar = LayOutCapacityBar({25, 250, 680, 30}, 37.5);
    EXPECT_EQ(bar.background, (Rect{25, 250, 680, 30}));
    EXPECT_EQ(bar.leftLabel, (Rect{33, 250, 664, 30}));
    EXPECT_EQ(bar.rightLabel, bar.leftLabel);
    auto tiny = LayOutCapacityBar({0, 0, 10, -4}, 50);
    EXPECT_TRUE(tiny.background.Empty() && tiny.gradient.Empty() && tiny.leftLabel.Empty());
    EXPECT_GE(tiny.leftLabel.width, 0);
    EXPECT_GE(tiny.gradient.height, 0);
}

TEST(BarLayout, ProgressBarFillsInsideItsOutline) {
    struct Case {
        Rect bar;
        double p;
        Rect fill;
        const char16_t* text;
    };
    const Case cases[] = {
        {{363, 400, 676, 34}, 50, {364, 401, 337, 32}, u"50.00 %"},
        {{363, 400, 676, 34}, 0, {364, 401, 0, 32}, u"0.00 %"},
        {{363, 400, 676, 34}, 100, {364, 401, 674, 32}, u"100.00 %"},
        {{363, 400, 676, 34}, 33.333, {364, 401, 224, 32}, u"33.33 %"},
        {{363, 400, 676, 34}, kNaN, {364, 401, 0, 32}, u"0.00 %"},
        {{363, 400, 676, 34}, 250, {364, 401, 674, 32}, u"100.00 %"},
        {{0, 0, 1, 1}, 100, {1, 1, 0, 0}, u"100.00 %"},
        {{0, 0, -8, 10}, 100, {1, 1, 0, 8}, u"100.00 %"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.p);
        auto l = LayOutProgressBar(c.bar, c.p);
        EXPECT_EQ(l.fill, c.fill);
        EXPECT_GE(l.outline.width, 0);
        EXPECT_EQ(ProgressBarText(c.p), c.text);
    }
}

TEST(ScrollBox, PanelFollowsTheBar) {
    ScrollBoxModel m;
    m.SetViewport(76, 631);
    m.SetRange(900);
    EXPECT_EQ(m.PanelHeight(), 1531);
    EXPECT_EQ(m.PanelTop(), 76);
    EXPECT_EQ(m.ScrollTo(300), 300);
    EXPECT_EQ(m.PanelTop(), -224);
    EXPECT_EQ(m.ScrollTo(5000), 900);
    EXPECT_EQ(m.ScrollTo(-1), 0);
    m.ScrollTo(800);
    m.SetRange(100); // shrinking keeps the position inside
    EXPECT_EQ(m.Position(), 100);
    m.SetRange(-50);
    EXPECT_EQ(m.Range(), 0);
    EXPECT_EQ(m.PanelHeight(), 631);
}

TEST(ScrollBox, IntoViewAndVisibility) {
    ScrollBoxModel m;
    m.SetViewport(0, 600);
    m.SetRange(1000);
    struct Case {
        int from, top, height, expect;
    };
    for (Case c : {Case{0, 0, 303, 0}, Case{0, 606, 303, 309}, Case{500, 303, 303, 303},
                   Case{100, 200, 303, 100}, Case{0, 1400, 303, 1000}, Case{0, 50, 900, 50}}) {
        m.ScrollTo(c.from);
        EXPECT_EQ(m.ScrollIntoView(c.top, c.height), c.expect) << c.top;
    }
    m.ScrollTo(400);
    m.SetBarRequested(true);
    EXPECT_TRUE(m.BarVisible());
    m.SetBoxVisible(false);
    EXPECT_FALSE(m.BarVisible());
    EXPECT_EQ(m.Position(), 0);
    m.SetBoxVisible(true);
    m.SetBarRequested(false);
    EXPECT_FALSE(m.BarVisible());
}

TEST(DragTracker, MovesByTheDistanceFromThePress) {
    DragTracker d;
    EXPECT_FALSE(d.Move({5, 5}));
    d.Press({100, 40});
    EXPECT_EQ(d.Move({130, 25}), (Point{30, -15}));
    EXPECT_EQ(d.Release({90, 41}), (Point{-10, 1}));
    EXPECT_FALSE(d.Dragging());
    EXPECT_FALSE(d.Move({0, 0}));
    EXPECT_FALSE(d.Release({0, 0}));
    d.Press({1, 1});
    d.Cancel();
    EXPECT_FALSE(d.Move({9, 9}));
}

TEST(PieShape, RadialsFromThreeOClockCounterclockwise) {
    Rect e{4, 100, 128, 128}; // centre (68, 164)
    auto up = PieRadialsFor(e, 90, 180);
    EXPECT_FALSE(up.wholeEllipse);
    EXPECT_EQ(up.start.x, 68);
    EXPECT_LT(up.start.y, 100); // above the ellipse, straight up
    EXPECT_EQ(up.end.y, 164);
    EXPECT_LT(up.end.x, 4); // left
    auto right = PieRadialsFor(e, 0, 270);
    EXPECT_GT(right.start.x, 132);
    EXPECT_EQ(right.start.y, 164);
    EXPECT_EQ(right.end.x, 68);
    EXPECT_GT(right.end.y, 228);
    EXPECT_TRUE(PieRadialsFor(e, 90, 90).wholeEllipse);
    EXPECT_TRUE(PieRadialsFor(e, 90, 450).wholeEllipse);
    EXPECT_TRUE(PieRadialsFor(e, -270, 90).wholeEllipse);
}

} // namespace
} // namespace tvd
