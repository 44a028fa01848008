// The OS settings against the two-view registry double: every value in both views after Apply
// and Restore, for SSD or not, Windows 10 or older, both sets, 64- and 32-bit processes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jobs/ssdregoptimizeutil.h"

namespace tvd {
namespace {

// What a view should hold: "absent", a number, or "\"N\"".
struct Expected {
    const char* key;
    const char* value;
    bool advanced;
    const char* applySsd10;
    const char* applyHdd10;
    const char* applySsdOld;
    const char* applyHddOld;
    const char* restore;
};
constexpr const char* kMm =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management";
constexpr const char* kFs = "SYSTEM\\CurrentControlSet\\Control\\FileSystem";
const Expected kExpected[] = {
    {"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management\\PrefetchParameters",
     "EnablePrefetcher", false, "0", "3", "0", "3", "3"},
    {"SYSTEM\\CurrentControlSet\\Services\\SysMain", "Start", false, "3", "2", "3", "2", "2"},
    {"SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction", "Enable", false, "absent", "absent",
     "\"N\"", "\"N\"", "absent"},
    {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OptimalLayout", "EnableAutoLayout", false,
     "absent", "absent", "0", "0", "absent"},
    {"SYSTEM\\CurrentControlSet\\Control\\Power", "HibernateEnabled", true, "0", "1", "0", "1",
     "1"},
    {kFs, "NtfsDisable8dot3NameCreation", true, "1", "1", "1", "1", "2"},
    {kFs, "NtfsMemoryUsage", true, "2", "2", "2", "2", "0"},
    {kMm, "ClearPageFileAtShutdown", true, "1", "1", "1", "1", "0"},
    {kMm, "LargeSystemCache", true, "1", "1", "1", "1", "0"},
};

std::string ViewText(RegView view, const Expected& e) {
    TweakItem item{};
    item.key = e.key;
    item.value = e.value;
    return TweakValueText(ReadTweakValue(item, view));
}

// A value every view starts with, so that "absent" after a write means deleted.
void Seed(MemoryRegistry& reg) {
    for (const Expected& e : kExpected)
        for (RegView v : {RegView::k64, RegView::k32}) {
            reg.CreateKey(RegRoot::kLocalMachine, e.key, v);
            const std::uint8_t seven[4] = {7, 0, 0, 0};
            reg.SetValue(RegRoot::kLocalMachine, e.key, e.value, v, regtype::kDword,
                         ByteView(seven, 4));
        }
}

TEST(SsdRegOptimize, TableHasTheNineItemsInOrder) {
    ASSERT_EQ(TweakItems().size(), std::size(kExpected));
    for (std::size_t i = 0; i < std::size(kExpected); ++i) {
        EXPECT_STREQ(TweakItems()[i].key, kExpected[i].key);
        EXPECT_STREQ(TweakItems()[i].value, kExpected[i].value);
        EXPECT_EQ(TweakItems()[i].advanced, kExpected[i].advanced);
    }
}

TEST(SsdRegOptimize, ApplyAndRestoreWriteBothViews) {
    for (bool process32 : {false, true})
        for (bool ssd : {false, true})
            for (bool win10 : {false, true})
                for (TweakSet set : {TweakSet::kStandard, TweakSet::kAdvanced})
                    for (bool apply : {true, false}) {
                        SCOPED_TRACE(::testing::Message()
                                     << "process32=" << process32 << " ssd=" << ssd << " win10="
                                     << win10 << " advanced=" << (set == TweakSet::kAdvanced)
                                     << " apply=" << apply);
                        MemoryRegistry reg(process32);
                        ScopedRegistryBackend scope(&reg);
                        Seed(reg);
                        const TweakReport r =
                            apply ? ApplyTweaks(set, ssd, win10) : RestoreTweaks(set);
                        EXPECT_TRUE(r.done);
                        EXPECT_EQ(r.items.size(), set == TweakSet::kAdvanced ? 9u : 4u);
                        for (const Expected& e : kExpected) {
                            const bool inSet = !e.advanced || set == TweakSet::kAdvanced;
                            const char* want = !inSet   ? "7"
                                               : !apply ? e.restore
                                               : win10  ? (ssd ? e.applySsd10 : e.applyHdd10)
                                                        : (ssd ? e.applySsdOld : e.applyHddOld);
                            // The 32-bit view of HKLM\SOFTWARE is a key of its own; a 64-bit
                            // process's default view is the 64-bit one, so it stays.
                            const bool ownKey32 = std::string(e.key).rfind("SOFTWARE", 0) == 0;
                            for (RegView v : {RegView::k64, RegView::k32})
                                EXPECT_EQ(ViewText(v, e),
                                          v == RegView::k32 && ownKey32 && !process32 ? "7" : want)
                                    << e.value << (v == RegView::k64 ? " 64" : " 32");
                        }
                    }
}

// A write refused in one view makes the run "not done" and names the item; the other items are
// still written. (HKLM\SYSTEM is one key in both views, so the first write of a 32-bit process's
// own view is the first SOFTWARE item's.)
TEST(SsdRegOptimize, FailedWriteIsNotDone) {
    struct Case {
        RegView failing;
        std::size_t item;
    };
    for (const Case c : {Case{RegView::k64, 0}, Case{RegView::kDefault, 2}}) {
        MemoryRegistry reg(true);
        ScopedRegistryBackend scope(&reg);
        Seed(reg);
        reg.FailWrites(c.failing, err::kAccessDenied, 1);
        const TweakReport r = ApplyTweaks(TweakSet::kStandard, true, true);
        EXPECT_FALSE(r.done);
        ASSERT_EQ(r.items.size(), 4u);
        for (std::size_t i = 0; i < r.items.size(); ++i)
            EXPECT_EQ(r.items[i].error, i == c.item ? err::kAccessDenied : err::kSuccess) << i;
        EXPECT_STREQ(r.items[c.item].item->value, kExpected[c.item].value);
        EXPECT_EQ(ViewText(RegView::k64, kExpected[1]), "3");
        EXPECT_EQ(ViewText(RegView::k32, kExpected[1]), "3");
    }
}

TEST(SsdRegOptimize, RestoreStandardKeepsTheAdvancedValues) {
    MemoryRegistry reg;
    ScopedRegistryBackend scope(&reg);
    ASSERT_TRUE(ApplyTweaks(TweakSet::kAdvanced, true, true).done);
    ASSERT_TRUE(RestoreTweaks(TweakSet::kStandard).done);
    EXPECT_EQ(ViewText(RegView::k64, kExpected[0]), "3");
    EXPECT_EQ(ViewText(RegView::k64, kExpected[4]), "0");
    EXPECT_EQ(ViewText(RegView::k32, kExpected[6]), "2");
    EXPECT_EQ(ViewText(RegView::k64, kExpected[8]), "1");
}

TEST(SsdRegOptimize, IncludeTexts) {
    EXPECT_EQ(TweakIncludeText(TweakSet::kStandard, true), "Include: Superfetch / Prefetch.");
    EXPECT_EQ(TweakIncludeText(TweakSet::kStandard, false),
              "Include: Superfetch / Prefetch / Automatic Defragmentation.");
    EXPECT_EQ(TweakIncludeText(TweakSet::kAdvanced, true),
              "Include: Hibernation / NTFS Memory Usage / Large System Cache / Superfetch / "
              "Prefetch / System Files in Memory.");
    EXPECT_EQ(TweakIncludeText(TweakSet::kAdvanced, false),
              "Include: Automatic Defragmentation / Hibernation / NTFS Memory Usage / Large "
              "System Cache / Superfetch / Prefetch / System Files in Memory.");
}

} // namespace
} // namespace tvd
