// The layout rows and their scaling, and the advertisement address per language.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "shell/mainlayoututil.h"
#include "shell/mainpagesutil.h"

namespace tvd {
namespace {

TEST(MainLayout, RowsLieInTheClientAndNamesAreUnique) {
    std::set<std::string> names;
    for (const LayoutRow& r : MainLayoutRows()) {
        EXPECT_TRUE(names.insert(r.name).second) << r.name;
        EXPECT_GE(r.rect.left, 0) << r.name;
        EXPECT_GE(r.rect.top, 0) << r.name;
        EXPECT_LE(r.rect.left + r.rect.width, kMainClientWidth) << r.name;
        EXPECT_LE(r.rect.top + r.rect.height, kMainClientHeight) << r.name;
    }
}

TEST(MainLayout, MenuButtonsSeparatorsAndFramesFollowTheMenu) {
    const auto& menu = MainMenuEntries();
    ASSERT_EQ(menu.size(), 7u);
    const int tops[] = {76, 133, 190, 247, 304, 361, 418};
    for (std::size_t i = 0; i < menu.size(); ++i) {
        const LayoutRow* button = FindLayoutRow(("Menu" + std::string(menu[i].name)).c_str());
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->rect, (LayoutRect{35, tops[i], 218, 54}));
        const LayoutRow* frame = FindLayoutRow(("Frame" + std::string(menu[i].name)).c_str());
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->rect, (LayoutRect{323, 76, 769, 631}));
    }
    const int separators[] = {132, 189, 246, 303, 360, 417};
    for (int i = 0; i < 6; ++i) {
        const std::string name = std::string("Separator").append(std::to_string(i + 1));
        const LayoutRow* s = FindLayoutRow(name.c_str());
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->rect, (LayoutRect{35, separators[i], 218, 1}));
        // Each separator lies between two buttons.
        EXPECT_GE(s->rect.top, tops[i] + 54);
        EXPECT_LT(s->rect.top, tops[i + 1]);
    }
    EXPECT_EQ(FindLayoutRow("Separator7"), nullptr);
}

TEST(MainLayout, DpiScaling) {
    EXPECT_EQ(ScaleRect(LayoutRect{323, 76, 769, 631}, 96), (LayoutRect{323, 76, 769, 631}));
    EXPECT_EQ(ScaleRect(LayoutRect{323, 76, 769, 631}, 192), (LayoutRect{646, 152, 1538, 1262}));
    EXPECT_EQ(ScaleForDpi(1280, 144), 1920);
    EXPECT_EQ(ScaleForDpi(35, 120), 44); // 43.75 rounds up
    EXPECT_EQ(ScaleForDpi(768, 0), 768);
}

TEST(MainLayout, AdvertisementAddressPerLanguage) {
    const std::string base = "https://example.invalid/";
    struct Case {
        std::uint16_t lang;
        const char* path;
    } cases[] = {{1028, "/tw/creator/"}, {1041, "/jp/creator/"}, {1042, "/kr/creator/"},
                 {1049, "/ru/creator/"}, {2052, "/cn/creator/"}, {2057, "/en/creator/"},
                 {1033, "/en/creator/"}, {1031, "/en/creator/"}};
    for (const Case& c : cases)
        EXPECT_EQ(AdvertisementAddress(base, c.lang),
                  "https://example.invalid" + std::string(c.path));
    EXPECT_EQ(AdvertisementAddress("", 1041), "");
}

} // namespace
} // namespace tvd
