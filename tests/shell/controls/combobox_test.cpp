#include "shell/controls/comboboxmodel.h"

#include <gtest/gtest.h>

namespace tvd {
namespace {

TEST(ComboBoxModel, FirstItemAddedIsSelected) {
    ComboBoxModel m;
    EXPECT_EQ(m.Selected(), ComboBoxModel::kNone);
    EXPECT_EQ(m.SelectedData(), 0u);
    m.Add(u"Disk A", 11);
    EXPECT_EQ(m.Selected(), 0);
    m.Add(u"Disk B", 22);
    EXPECT_EQ(m.Selected(), 0);
    EXPECT_EQ(m.SelectedText(), u"Disk A");
    EXPECT_EQ(m.Count(), 2);
}

TEST(ComboBoxModel, RemovalKeepsOrMovesTheSelection) {
    struct Case {
        const char* what;
        int select;            // before the removal
        std::uint64_t remove;  // data of the removed item
        bool changed;          // the selection names another item (or none)
        std::uint64_t nowData; // selected data afterwards
    };
    // Items hold 1, 2, 3.
    const Case cases[] = {
        {"selected first entry", 0, 1, true, 2},
        {"selected middle entry", 1, 2, true, 1},
        {"entry before the selected one", 2, 1, false, 3},
        {"entry after the selected one", 0, 3, false, 1},
        {"absent entry", 1, 99, false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ComboBoxModel m;
        for (std::uint64_t d : {1, 2, 3})
            m.Add(u"x", d);
        ASSERT_TRUE(m.Select(c.select));
        EXPECT_EQ(m.RemoveByData(c.remove), c.changed);
        EXPECT_EQ(m.SelectedData(), c.nowData);
    }
    ComboBoxModel last;
    last.Add(u"only", 7);
    EXPECT_TRUE(last.RemoveByData(7));
    EXPECT_EQ(last.Selected(), ComboBoxModel::kNone);
    EXPECT_EQ(last.SelectedData(), 0u);
    EXPECT_EQ(last.SelectedText(), u"");
}

TEST(ComboBoxModel, DataKeepsAllSixtyFourBits) {
    ComboBoxModel m;
    const std::uint64_t a = 0x00007FF6'12345678ULL, b = 0x00007FF7'12345678ULL;
    m.Add(u"a", a);
    m.Add(u"b", b);
    EXPECT_EQ(m.IndexOfData(b), 1);
    m.RemoveByData(b);
    EXPECT_EQ(m.IndexOfData(a), 0);
    EXPECT_EQ(m.SelectedData(), a);
}

TEST(ComboBoxModel, SelectOutOfRangeAndClear) {
    ComboBoxModel m;
    m.Add(u"a", 1);
    EXPECT_FALSE(m.Select(1));
    EXPECT_EQ(m.Selected(), ComboBoxModel::kNone);
    EXPECT_FALSE(m.Select(-1));
    EXPECT_TRUE(m.Select(0));
    m.Clear();
    EXPECT_EQ(m.Count(), 0);
    EXPECT_EQ(m.Selected(), ComboBoxModel::kNone);
}

TEST(ComboPopup, RowsAreCappedByTheVisibleMaximum) {
    const Rect combo{700, 300, 440, 34};
    struct Case {
        int items, maxVisible, rows;
    };
    for (Case c : {Case{40, kComboMaxVisibleMain, 32}, Case{3, kComboMaxVisibleMain, 3},
                   Case{32, kComboMaxVisibleMain, 32}, Case{9, kComboMaxVisibleBasic, 8},
                   Case{1, kComboMaxVisibleBasic, 1}}) {
        auto r = ComboPopupRect(combo, c.items, c.maxVisible, 20);
        ASSERT_TRUE(r) << c.items;
        EXPECT_EQ(*r, (Rect{700, 333, 440, c.rows * 20 + 4})) << c.items;
    }
    EXPECT_FALSE(ComboPopupRect(combo, 0, 32, 20));
    EXPECT_FALSE(ComboPopupRect(combo, 5, 32, 0));
}

TEST(ComboPopup, RowUnderTheMouseAndScrolling) {
    EXPECT_EQ(ComboPopupRowAt(0, 20, 0, 40, 32), ComboBoxModel::kNone);
    EXPECT_EQ(ComboPopupRowAt(2, 20, 0, 40, 32), 0);
    EXPECT_EQ(ComboPopupRowAt(21, 20, 0, 40, 32), 0);
    EXPECT_EQ(ComboPopupRowAt(22, 20, 0, 40, 32), 1);
    EXPECT_EQ(ComboPopupRowAt(22, 20, 8, 40, 32), 9);
    EXPECT_EQ(ComboPopupRowAt(2 + 32 * 20, 20, 0, 40, 32), ComboBoxModel::kNone);
    EXPECT_EQ(ComboPopupRowAt(70, 20, 0, 3, 3), ComboBoxModel::kNone);
    EXPECT_EQ(ClampComboTopIndex(20, 40, 32), 8);
    EXPECT_EQ(ClampComboTopIndex(-3, 40, 32), 0);
    EXPECT_EQ(ClampComboTopIndex(2, 3, 3), 0);
}

TEST(ComboPopup, ClosesOnEverythingButAPressInside) {
    EXPECT_FALSE(PopupClosesOn(PopupEvent::kPressInside));
    for (auto e : {PopupEvent::kPressOutside, PopupEvent::kCaptureLost, PopupEvent::kItemChosen,
                   PopupEvent::kEscape})
        EXPECT_TRUE(PopupClosesOn(e));
}

TEST(MainComboBox, PartsPlacement) {
    const Rect c{607, 25, 440, kMainComboHeight};
    EXPECT_EQ(ComboDropDownRect(c), (Rect{1027, 34, 16, 16}));
    EXPECT_EQ(ComboCaptionRect(c), (Rect{611, 25, 432, 34}));
    EXPECT_EQ(ComboCaptionRect({0, 0, 5, 10}).width, 0);
}

} // namespace
} // namespace tvd
