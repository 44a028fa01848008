#include "shell/messageboxlayout.h"

#include <gtest/gtest.h>

#include <string_view>

namespace tvd {
namespace {

// The label as the window measures it: Segoe UI at 12 pixels averages about 6 pixels a
// character on one line, and wraps into 16-pixel lines at the limit.
struct Measured {
    int width, height;
};
Measured MeasureText(int characters) {
    const int natural = characters * 6;
    const int width = MessageBoxLabelWidth(natural);
    const int lines = width == 0 ? 1 : (natural + width - 1) / width;
    return {width, lines * 16};
}

TEST(MessageBoxLayout, SizeRule) {
    struct Row {
        MessageKind kind;
        int characters;
        int width, height;
    } rows[] = {
        {MessageKind::kQuestion, 20, 300, 124}, // 120 + 82 < 300
        {MessageKind::kError, 20, 300, 124},
        {MessageKind::kError, 1000, 640, 24 + 11 * 16 + 68}, // wraps at 558: 558 + 82
        {MessageKind::kInformation, 0, 300, 124},
        {MessageKind::kWarning, 60, 442, 124}, // 360 + 82
        {MessageKind::kWarningQuestion, 94, 640, 24 + 2 * 16 + 68},
    };
    for (const auto& r : rows) {
        const Measured m = MeasureText(r.characters);
        const MessageBoxLayout l = LayoutMessageBox(r.kind, m.width, m.height);
        EXPECT_EQ(l.clientWidth, r.width) << r.characters;
        EXPECT_EQ(l.clientHeight, r.height) << r.characters;
        EXPECT_LE(l.label.left + l.label.width, l.clientWidth - 20) << r.characters;
    }
}

TEST(MessageBoxLayout, ButtonsSitRightAlignedAtTheBottom) {
    const MessageBoxLayout q = LayoutMessageBox(MessageKind::kQuestion, 120, 16);
    EXPECT_EQ(q.primary, (BoxRect{180, 76, 100, 28}));
    EXPECT_EQ(q.secondary, (BoxRect{72, 76, 100, 28}));
    EXPECT_EQ(q.icon, (BoxRect{20, 24, 32, 32}));
    EXPECT_EQ(q.label, (BoxRect{62, 32, 120, 16})); // centred on the icon

    const MessageBoxLayout e = LayoutMessageBox(MessageKind::kError, 558, 160);
    EXPECT_EQ(e.primary, (BoxRect{520, 24 + 160 + 68 - 48, 100, 28}));
    EXPECT_EQ(e.secondary, BoxRect{});
    EXPECT_EQ(e.label.top, 24); // taller than the icon: top aligned

    // Measurements out of range never produce a negative or overflowing box.
    const MessageBoxLayout odd = LayoutMessageBox(MessageKind::kWarning, -50, -10);
    EXPECT_EQ(odd.clientWidth, 300);
    EXPECT_EQ(odd.label.width, 0);
    const MessageBoxLayout huge = LayoutMessageBox(MessageKind::kWarning, 1 << 30, 1 << 30);
    EXPECT_EQ(huge.clientWidth, 640);
    EXPECT_GT(huge.clientHeight, 0);
}

TEST(MessageBoxLayout, KindsNameTheirPictureAndButtons) {
    struct Row {
        MessageKind kind;
        std::string_view icon;
        int primary, secondary;
        bool result;
    } rows[] = {
        {MessageKind::kError, "MSG_ERROR", 20004, 0, false},
        {MessageKind::kWarning, "MSG_WARNING", 20004, 0, false},
        {MessageKind::kInformation, "MSG_INFO", 20004, 0, false},
        {MessageKind::kQuestion, "MSG_QUESTION", 20002, 20003, true},
        {MessageKind::kWarningQuestion, "MSG_WARNING_QUESTION", 20002, 20003, true},
    };
    for (const auto& r : rows) {
        const MessageBoxLook look = MessageBoxLookOf(r.kind);
        EXPECT_EQ(look.icon, r.icon);
        EXPECT_EQ(look.primaryTextId, r.primary);
        EXPECT_EQ(look.secondaryTextId, r.secondary);
        EXPECT_EQ(look.hasResult, r.result);
    }
}

} // namespace
} // namespace tvd
