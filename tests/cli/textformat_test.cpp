#include "cli/textformat.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace tvd::cli {
namespace {

TEST(CliTextFormat, TrimmedDropsDevicePaddingAtBothEnds) {
    struct Case {
        std::string in, out;
    } const cases[] = {
        {"", ""},
        {"   ", ""},
        {std::string("\0\0", 2), ""},
        {"  Model X \t", "Model X"},
        {std::string("SN1\0\0 ", 6), "SN1"},
        {"a  b", "a  b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Trimmed(c.in), c.out) << '"' << c.in << '"';
}

TEST(CliTextFormat, HexTexts) {
    const std::array<std::uint8_t, 4> bytes{0x00, 0x0f, 0xa5, 0xff};
    EXPECT_EQ(HexBytes(bytes), "000fa5ff");
    EXPECT_EQ(HexBytes({}), "");
    EXPECT_EQ(HexNumber(0xbeef, 2), "0xbeef");
    EXPECT_EQ(HexNumber(0xbeef, 8, true), "0x0000BEEF");
    EXPECT_EQ(HexNumber(UINT64_MAX, 4), "0xffffffffffffffff");
}

} // namespace
} // namespace tvd::cli
