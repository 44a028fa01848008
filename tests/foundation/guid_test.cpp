#include "foundation/guidutil.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace tvd {
namespace {

TEST(GuidUtil, TextFormat) {
    Guid g;
    g.data1 = 0x0123ABCD;
    g.data2 = 0x4567;
    g.data3 = 0x89EF;
    const std::uint8_t tail[8] = {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
    std::copy(std::begin(tail), std::end(tail), g.data4);
    EXPECT_EQ(GuidText(g), "{0123ABCD-4567-89EF-FEDC-BA9876543210}");
    EXPECT_EQ(GuidText(Guid{}), "{00000000-0000-0000-0000-000000000000}");
}

TEST(GuidUtil, NewGuidsAreRandomVersion4) {
    std::set<std::string> seen;
    const std::regex shape(
        "\\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\}");
    for (int i = 0; i < 16; ++i) {
        Guid g;
        ASSERT_EQ(NewGuid(g), err::kSuccess);
        const std::string text = GuidText(g);
        EXPECT_TRUE(std::regex_match(text, shape)) << text;
        EXPECT_EQ(g.data3 >> 12, 4);
        EXPECT_EQ(g.data4[0] & 0xC0, 0x80);
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 16u);
}

} // namespace
} // namespace tvd
