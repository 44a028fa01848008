#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "../storage/ataidentitybuilder.h"
#include "../storage/nvmeidentitybuilder.h"
#include "drive/fundiskstringutil.h"
#include "foundation/clmsgobject.h"

namespace tvd {
namespace {

using test::AtaIdentityBuilder;
using test::NvmeNamespaceBuilder;

TEST(FunDiskString, WwnAndEui64) {
    // ATA/ATAPI-7 (word 80 bit 7), WWN supported (word 84 bit 8), words 108-111.
    const auto wwnPage = [](std::uint16_t word80, std::uint16_t word84) {
        return AtaIdentityBuilder()
            .Set(80, word80)
            .Set(84, word84)
            .Set(108, 0x5000)
            .Set(109, 0xC500)
            .Set(110, 0x1234)
            .Set(111, 0xABCD)
            .Vector();
    };
    const std::vector<std::uint8_t> ata7 = wwnPage(0x00F0, 0x0100);
    const std::vector<std::uint8_t> ata6 = wwnPage(0x0070, 0x0100);
    const std::vector<std::uint8_t> noWwn = wwnPage(0x00F0, 0x0000);
    NvmeNamespaceBuilder ns;
    for (std::uint8_t i = 0; i < 8; ++i)
        ns.Byte(120 + i, static_cast<std::uint8_t>(0x11 * i));
    const std::vector<std::uint8_t> zeroEui = NvmeNamespaceBuilder().Bytes();

    const struct {
        WwnFacts facts;
        const char* text;
    } cases[] = {
        {{true, ata7, true, ns.Bytes()}, "WWN: 5000C5001234ABCD"},
        {{true, ata6, false, {}}, "WWN: N/A"},
        {{true, noWwn, false, {}}, "WWN: N/A"},
        {{true, {}, true, ns.Bytes()}, "WWN: N/A"},
        {{false, ata7, true, ns.Bytes()}, "EUI64: 0011223344556677"},
        {{false, {}, true, zeroEui}, "EUI64: N/A"},
        {{false, {}, true, {}}, "EUI64: N/A"},
        {{false, ata7, false, ns.Bytes()}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildWwnText(c.facts), c.text) << c.text;
}

TEST(FunDiskString, CapacityText) {
    constexpr std::uint64_t kKiB = 1024, kTiB = kKiB * kKiB * kKiB * kKiB;
    const struct {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 Byte"},
        {1, "1 Bytes"},
        {1023, "1023 Bytes"},
        {1024, "1 KB"},
        {10 * kKiB + 300, "10 KB"},
        {kKiB * kKiB - 1, "1024 KB"}, // 1023.999 KB, written without decimals
        {kKiB * kKiB, "1 MB"},
        {500107862016, "466 GB"},
        {kTiB, "1 TB"},
        {kTiB * kKiB, "1024 TB"}, // never beyond TB
        {std::numeric_limits<std::uint64_t>::max(), "16777216 TB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CapacityText(c.bytes), c.text) << c.bytes;
}

TEST(FunDiskString, DisplayNames) {
    constexpr std::uint32_t kC = 1u << 2, kD = 1u << 3;
    const struct {
        std::uint8_t number;
        std::uint64_t bytes;
        std::uint32_t letters;
        const char* text;
    } longCases[] = {
        {0, 1024, 0, "Disk 0 - 1 KB"},
        {1, 500107862016, kC, "Disk 1 - 466 GB (C:)"},
        {2, 1024 * 1024, kD | kC, "Disk 2 - 1 MB (C:, D:)"},
        {255, 0, 1u | (1u << 25), "Disk 255 - 0 Byte (A:, Z:)"},
        {3, 1, 0xFC000000u, "Disk 3 - 1 Bytes"}, // no letters beyond Z
    };
    for (const auto& c : longCases)
        EXPECT_EQ(BuildDisplayNameLong(c.number, c.bytes, c.letters), c.text);

    EXPECT_EQ(BuildDisplayNameShort("Example 1", "SATA 6.0 Gb/s"), "Example 1 | SATA 6.0 Gb/s");
    EXPECT_EQ(BuildDisplayNameShort("Example 1", ""), "Example 1");
    EXPECT_EQ(BuildDisplayNameShort("", "USB 3.0"), "");
}

TEST(FunDiskString, InterfaceLabelFromTheMessageTable) {
    const std::u16string table = u"22011\tOther\r\n22012\tSchnittstelle\r\n";
    clMsgObject german;
    ASSERT_TRUE(german.Load(table.data(), table.size() * 2));
    const std::u16string otherTable = u"22011\tOther\r\n";
    clMsgObject without;
    ASSERT_TRUE(without.Load(otherTable.data(), otherTable.size() * 2));

    EXPECT_EQ(BuildDisplayInterface("USB 3.0", &german), "Schnittstelle: USB 3.0");
    EXPECT_EQ(BuildDisplayInterface("USB 3.0", &without), "Interface: USB 3.0");
    EXPECT_EQ(BuildDisplayInterface("PCIe", nullptr), "Interface: PCIe");
}

TEST(FunDiskString, IconName) {
    const struct {
        bool boot, usb;
        const char* name;
    } cases[] = {
        {true, true, "IMG_CLONE_ICON_USB_WIN"},
        {false, true, "IMG_CLONE_ICON_USB"},
        {true, false, "IMG_CLONE_ICON_PC_WIN"},
        {false, false, "IMG_CLONE_ICON_PC"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(DiskIconName(c.boot, c.usb), c.name);
}

} // namespace
} // namespace tvd
