#include <gtest/gtest.h>

#include "report/edidbuilder.h"
#include "report/edidutil.h"

namespace tvd {
namespace {

TEST(Edid, IdentityFromTheBaseBlock) {
    const struct {
        test::EdidSpec spec;
        const char* name;       // nullptr: no name descriptor
        const char* serialText; // nullptr: none
    } cases[] = {
        {{"RHT", 0x1234, 123456, 42, 24, "QEMU Monitor", "SN-77", false}, "QEMU Monitor", "SN-77"},
        {{"DEL", 0xA0C2, 0xFFFFFFFF, 1, 30, "", "", false}, nullptr, nullptr},
        // Thirteen characters fill the field without a line feed.
        {{"SAM", 0x0F00, 0, 0, 0, "ABCDEFGHIJKLM", "", false}, "ABCDEFGHIJKLM", nullptr},
        {{"AAA", 0, 1, 255, 25, "x", "", true}, "x", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spec.maker);
        const auto id = DecodeEdid(test::BuildEdid(c.spec));
        ASSERT_TRUE(id);
        EXPECT_EQ(id->makerId, c.spec.maker);
        EXPECT_EQ(id->productCode, c.spec.product);
        EXPECT_EQ(id->serialNumber, c.spec.serial);
        EXPECT_EQ(id->year, 1990 + c.spec.yearSince1990);
        EXPECT_EQ(id->checksumOk, !c.spec.badChecksum);
        EXPECT_EQ(id->name.has_value(), c.name != nullptr);
        if (c.name && id->name) {
            EXPECT_EQ(*id->name, c.name);
        }
        EXPECT_EQ(id->serialText.has_value(), c.serialText != nullptr);
        if (c.serialText && id->serialText) {
            EXPECT_EQ(*id->serialText, c.serialText);
        }
    }
}

TEST(Edid, HostileBlocks) {
    std::vector<std::uint8_t> edid = test::BuildEdid({});
    EXPECT_FALSE(DecodeEdid(ByteView(edid).first(127))); // short
    EXPECT_FALSE(DecodeEdid({}));
    std::vector<std::uint8_t> header = edid;
    header[7] = 0x01;
    EXPECT_FALSE(DecodeEdid(header));
    // Maker letters outside A-Z, control bytes in a name, a descriptor text without a line feed.
    edid[8] = 0x80 | (27 << 2);
    edid[9] = 0x00;
    test::EdidDescriptor(edid, 72, 0xFC, std::string("A\r\nB\x01", 5));
    const auto id = DecodeEdid(edid);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->makerId, "??"
                           "?");
    ASSERT_TRUE(id->name);
    EXPECT_EQ(*id->name, "A?");
    // Extension blocks after the base block are not read as part of it.
    edid.resize(kEdidBlockSize * 3, 0xFF);
    EXPECT_TRUE(DecodeEdid(edid));
}

} // namespace
} // namespace tvd
