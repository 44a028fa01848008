#include "shell/controls/buttonlook.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tvd {
namespace {

TEST(StdButtonLayout, SlicesFollowTheWidth) {
    struct Case {
        int width;
        bool drawn;
        Rect middle;
        int rightLeft;
    };
    const Case cases[] = {
        {100, true, {6, 0, 88, 27}, 94},
        {12, true, {6, 0, 0, 27}, 6},
        {13, true, {6, 0, 1, 27}, 7},
        {11, false, {}, 0},
        {0, false, {}, 0},
        {-40, false, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        auto l = LayOutStdButton(c.width);
        ASSERT_EQ(l.has_value(), c.drawn);
        if (!l) continue;
        EXPECT_EQ(l->left, (Rect{0, 0, 6, 27}));
        EXPECT_EQ(l->middle, c.middle);
        EXPECT_EQ(l->right, (Rect{c.rightLeft, 0, 6, 27}));
    }
}

// Mouse events in order: e enter, l leave, d left down, u left up, x disable, n enable.
struct StateCase {
    const char* events;
    ButtonLook look;
    int clicks;
};

int RunEvents(ButtonState& s, const char* events) {
    int clicks = 0;
    for (const char* e = events; *e; ++e) {
        switch (*e) {
        case 'e':
            s.MouseEnter();
            break;
        case 'l':
            s.MouseLeave();
            break;
        case 'd':
            s.LeftDown();
            break;
        case 'u':
            clicks += s.LeftUp() ? 1 : 0;
            break;
        case 'x':
            s.SetEnabled(false);
            break;
        case 'n':
            s.SetEnabled(true);
            break;
        }
    }
    return clicks;
}

TEST(ButtonState, LookAndClickFollowTheMouse) {
    const StateCase cases[] = {
        {"", ButtonLook::kNormal, 0},
        {"e", ButtonLook::kHot, 0},
        {"el", ButtonLook::kNormal, 0},
        {"ed", ButtonLook::kPressed, 0},
        {"edu", ButtonLook::kHot, 1},
        {"edl", ButtonLook::kPressed, 0},   // pressed lasts until the release
        {"edlu", ButtonLook::kNormal, 0},   // released elsewhere: no click
        {"edled", ButtonLook::kPressed, 0}, // back over it, pressed again
        {"u", ButtonLook::kNormal, 0},      // a release without a press is no click
        {"eu", ButtonLook::kHot, 0},
        {"xed", ButtonLook::kDisabled, 0}, // a press on a disabled button keeps the gray look
        {"xedu", ButtonLook::kDisabled, 0},
        {"edx", ButtonLook::kDisabled, 0},
        {"edxnu", ButtonLook::kHot, 0}, // disabling dropped the press
        {"xne", ButtonLook::kHot, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.events);
        ButtonState s;
        EXPECT_EQ(RunEvents(s, c.events), c.clicks);
        EXPECT_EQ(s.Look(), c.look);
    }
}

TEST(ButtonState, CaptionButtonsHaveNoPressedLookButStillClick) {
    ButtonState s(/*hasPressedLook=*/false);
    s.MouseEnter();
    s.LeftDown();
    EXPECT_EQ(s.Look(), ButtonLook::kHot);
    EXPECT_TRUE(s.LeftUp());
    ButtonState t(false);
    EXPECT_EQ(RunEvents(t, "eu"), 0);
}

TEST(ButtonLooks, StdButtonSlicesAndCaptionColour) {
    struct Case {
        ButtonLook look;
        std::string left, middle, right;
        Rgb caption;
    };
    const Case cases[] = {
        {ButtonLook::kNormal, "IMG_BTN_LEFT_WHITE", "IMG_BTN_MID_WHITE", "IMG_BTN_RIGHT_WHITE", 0},
        {ButtonLook::kHot, "IMG_BTN_LEFT_WHITE", "IMG_BTN_MID_WHITE", "IMG_BTN_RIGHT_WHITE", 0},
        {ButtonLook::kPressed, "IMG_BTN_LEFT_BLUE", "IMG_BTN_MID_BLUE", "IMG_BTN_RIGHT_BLUE", 0},
        {ButtonLook::kDisabled, "IMG_BTN_LEFT_GRAY", "IMG_BTN_MID_GRAY", "IMG_BTN_RIGHT_GRAY",
         0x9F9F9F},
    };
    for (const auto& c : cases) {
        auto s = StdButtonLookSlices(c.look);
        EXPECT_EQ(s.left, c.left);
        EXPECT_EQ(s.middle, c.middle);
        EXPECT_EQ(s.right, c.right);
        EXPECT_EQ(s.caption, c.caption);
    }
}

TEST(ButtonLooks, ImageButtonFallsBackToTheNormalPicture) {
    ImageButtonPictures p{"IMG_BTN_CLOSE", "", "HOT", ""};
    EXPECT_EQ(ImageButtonPicture(p, ButtonLook::kNormal), "IMG_BTN_CLOSE");
    EXPECT_EQ(ImageButtonPicture(p, ButtonLook::kDisabled), "IMG_BTN_CLOSE");
    EXPECT_EQ(ImageButtonPicture(p, ButtonLook::kHot), "HOT");
    EXPECT_EQ(ImageButtonPicture(p, ButtonLook::kPressed), "IMG_BTN_CLOSE");
    auto o = OptionButtonPictures();
    EXPECT_EQ(ImageButtonPicture(o, ButtonLook::kNormal), "IMG_OPT_WHITE");
    EXPECT_EQ(ImageButtonPicture(o, ButtonLook::kDisabled), "IMG_OPT_BLUE");
    EXPECT_EQ(ImageButtonPicture(o, ButtonLook::kHot), "IMG_OPT_WHITE");
}

TEST(ButtonLooks, CaptionColoursAndMenuLook) {
    CaptionLookColours c;
    EXPECT_EQ(CaptionColour(c, ButtonLook::kNormal), 0x000000u);
    EXPECT_EQ(CaptionColour(c, ButtonLook::kDisabled), 0x808080u);
    c.hot = 0x123456;
    EXPECT_EQ(CaptionColour(c, ButtonLook::kHot), 0x123456u);
    auto sel = MenuButtonLookFor(true), norm = MenuButtonLookFor(false);
    EXPECT_TRUE(sel.gradientVisible && sel.selectedPicture);
    EXPECT_EQ(sel.caption, kWhite);
    EXPECT_FALSE(norm.gradientVisible || norm.selectedPicture);
    EXPECT_EQ(norm.caption, kBlack);
    EXPECT_EQ(CentredIn(kMenuButtonIcon, 30, 30), (Rect{15, 12, 30, 30}));
    EXPECT_EQ(CentredIn({25, 16, 30, 30}, 16, 16), (Rect{32, 23, 16, 16}));
}

TEST(ButtonLooks, CursorOnlyWhenClickable) {
    EXPECT_EQ(ButtonCursor(true, true, CursorKind::kHand), CursorKind::kHand);
    EXPECT_EQ(ButtonCursor(false, true, CursorKind::kHand), CursorKind::kArrow);
    EXPECT_EQ(ButtonCursor(true, false, CursorKind::kHand), CursorKind::kArrow);
    EXPECT_EQ(ButtonCursor(true, true, CursorKind::kArrow), CursorKind::kArrow);
}

} // namespace
} // namespace tvd
