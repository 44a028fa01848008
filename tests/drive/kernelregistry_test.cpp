#include <gtest/gtest.h>

#include "drive/kernelregistryutil.h"

namespace tvd {
namespace {

constexpr RegRoot kRoot = RegRoot::kLocalMachine;
const std::string kKey = "SOFTWARE\\Tarvikdorn Test\\Both";

// A 32-bit process on a 64-bit system: the two views are different keys.
TEST(KernelRegistry, WritesReachBothViewsAndEitherFailureSurfaces) {
    struct Case {
        const char* name;
        bool failing;
        RegView failingView;
        ErrorCode expected;
    } cases[] = {
        {"both views take it", false, RegView::kDefault, err::kSuccess},
        {"64-bit view refuses", true, RegView::k64, err::kAccessDenied},
        {"default view refuses", true, RegView::kDefault, err::kAccessDenied},
    };
    for (const Case& c : cases) {
        MemoryRegistry reg(true);
        ScopedRegistryBackend use(&reg);
        if (c.failing) reg.FailWrites(c.failingView, err::kAccessDenied, 100);
        EXPECT_EQ(RegWriteDwordBoth(kRoot, kKey, "Number", 42), c.expected) << c.name;
        EXPECT_EQ(RegWriteStringBoth(kRoot, kKey, "Text", "value"), c.expected) << c.name;
        if (c.failing) continue;
        for (RegView view : {RegView::k64, RegView::kDefault}) {
            RegKey key;
            ASSERT_EQ(RegOpenKey(kRoot, kKey, view, key), err::kSuccess) << c.name;
            std::uint32_t number = 0;
            EXPECT_EQ(RegReadDword(key, "Number", number), err::kSuccess);
            EXPECT_EQ(number, 42u);
        }
        std::string text;
        EXPECT_EQ(RegReadString64(kRoot, kKey, "Text", text), err::kSuccess);
        EXPECT_EQ(text, "value");
    }
}

} // namespace
} // namespace tvd
