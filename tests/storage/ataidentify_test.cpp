#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "storage/ataidentifyutil.h"
#include "storage/ataidentitybuilder.h"

namespace tvd {
namespace {

using test::AtaIdentityBuilder;

TEST(AtaIdentify, Validity) {
    struct Case {
        const char* what;
        AtaIdentityBuilder page;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"plain drive", AtaIdentityBuilder(), true},
        {"no major version", AtaIdentityBuilder().Set(80, 0), false},
        {"serial first word 0", AtaIdentityBuilder().Set(10, 0), false},
        {"model first word 0", AtaIdentityBuilder().Set(27, 0), false},
        {"firmware first word 0", AtaIdentityBuilder().Set(23, 0), false},
        {"model byte 0x7B", AtaIdentityBuilder().Byte(2 * 40, 0x7B), false},
        {"model byte 0x7A", AtaIdentityBuilder().Byte(2 * 40, 0x7A), true},
        {"model byte 0xFF", AtaIdentityBuilder().Byte(2 * 46 + 1, 0xFF), false},
        {"serial control byte", AtaIdentityBuilder().Byte(2 * 19, 0x1F), false},
        {"firmware NUL padding", AtaIdentityBuilder().Set(26, 0), true},
        {"checksum right", AtaIdentityBuilder().FixChecksum(), true},
        {"checksum wrong", AtaIdentityBuilder().FixChecksum().Set(217, 1), false},
        {"no checksum announced", AtaIdentityBuilder().Set(255, 0x12A4), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ataid::IsValid(c.page.View()), c.valid);
    }
    EXPECT_FALSE(ataid::IsValid(AtaIdentityBuilder().View().first(510)));
}

TEST(AtaIdentify, TextFieldsAreByteSwappedAndUntrimmed) {
    AtaIdentityBuilder b;
    b.Set(27, 0x4142).Set(28, 0x4300).Set(10, 0x3132).Set(26, 0x2039);
    const std::string model = ataid::Model(b.View());
    ASSERT_EQ(model.size(), 40u);
    EXPECT_EQ(model.substr(0, 4), std::string("ABC\0", 4));
    EXPECT_EQ(model.back(), ' ');
    EXPECT_EQ(ataid::Serial(b.View()).substr(0, 2), "12");
    EXPECT_EQ(ataid::Serial(b.View()).size(), 20u);
    EXPECT_EQ(ataid::Firmware(b.View()), "FW1.0  9");
    EXPECT_EQ(ataid::Model(b.View().first(100)), "");
}

TEST(AtaIdentify, UdmaModes) {
    struct Case {
        std::uint16_t word88;
        std::uint8_t highest, selected;
    };
    const Case cases[] = {
        {0x203F, 5, 5},   {0x0000, 255, 255}, {0xFFFF, 255, 255}, {0x007F, 6, 255},
        {0x0005, 0, 255}, {0x0002, 255, 255}, {0x40FF, 7, 6},     {0x8101, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word88);
        const auto b = AtaIdentityBuilder().Set(88, c.word88);
        EXPECT_EQ(ataid::HighestUdmaMode(b.View()), c.highest);
        EXPECT_EQ(ataid::SelectedUdmaMode(b.View()), c.selected);
    }
    struct Name {
        std::uint16_t mask;
        const char* name;
    };
    const Name names[] = {{0x3F, "UDMA/100"}, {0x7F, "UDMA/133"}, {0x01, "UDMA/16"},
                          {0x05, "UDMA/33"},  {0x00, "PIO/DMA"},  {0x80, "PIO/DMA"}};
    for (const Name& n : names)
        EXPECT_STREQ(ataid::UdmaName(n.mask), n.name) << n.mask;
}

TEST(AtaIdentify, Versions) {
    struct Case {
        std::uint16_t word80;
        int major;
        const char* name; // null: none
    };
    const Case cases[] = {
        {0x07F0, 10, "ACS-3"},      {0x0FF0, 11, nullptr},      {0x7FF0, 14, nullptr},
        {0x00F8, 7, "ATA/ATAPI-7"}, {0x0008, 3, "ATA/ATAPI-3"}, {0x0004, 2, nullptr},
        {0x0003, 0, nullptr},       {0x8000, 0, nullptr},       {0xFFFF, 0, nullptr},
        {0x0000, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word80);
        const int major = ataid::MajorVersion(AtaIdentityBuilder().Set(80, c.word80).View());
        EXPECT_EQ(major, c.major);
        if (c.name)
            EXPECT_STREQ(ataid::MajorVersionName(major), c.name);
        else
            EXPECT_EQ(ataid::MajorVersionName(major), nullptr);
    }
    EXPECT_STREQ(ataid::MinorVersionName(AtaIdentityBuilder().Set(81, 0x001D).View()),
                 "ATA/ATAPI-7 published ANSI INCITS 397-2005.");
    EXPECT_STREQ(ataid::MinorVersionName(AtaIdentityBuilder().Set(81, 0x011B).View()),
                 "ACS-3 Revision 4");
    EXPECT_EQ(ataid::MinorVersionName(AtaIdentityBuilder().Set(81, 0x0020).View()), nullptr);
}

TEST(AtaIdentify, CapacityAndSectorSize) {
    struct Case {
        const char* what;
        AtaIdentityBuilder page;
        std::uint32_t sectorSize;
        std::uint64_t sectors;
    };
    const auto base = [](std::uint16_t word80) {
        return AtaIdentityBuilder().Set(80, word80).Set32(60, 0x0FFFFFFF).Set64(100, 0x123456789A);
    };
    const std::vector<Case> cases = {
        {"4K, ATA-7", base(0x00F0).Set(106, 0x5000).Set32(117, 2048), 4096, 0x0FFFFFFF},
        {"4K words on ATA-6", base(0x0070).Set(106, 0x5000).Set32(117, 2048), 512, 0x0FFFFFFF},
        {"size bit clear", base(0x00F0).Set(106, 0x4000).Set32(117, 2048), 512, 0x0FFFFFFF},
        {"size zero", base(0x00F0).Set(106, 0x5000), 512, 0x0FFFFFFF},
        {"word 106 unset", base(0x00F0).Set(106, 0xFFFF).Set32(117, 2048), 512, 0x0FFFFFFF},
        {"absurd size", base(0x00F0).Set(106, 0x5000).Set32(117, 0xFFFFFFFF), 512, 0x0FFFFFFF},
        {"LBA48", base(0x0040).Set(83, 0x0400).Set(86, 0x0400), 512, 0x123456789A},
        {"LBA48 on ATA-5", base(0x0020).Set(83, 0x0400).Set(86, 0x0400), 512, 0x0FFFFFFF},
        {"LBA48 not enabled", base(0x0040).Set(83, 0x0400), 512, 0x0FFFFFFF},
        {"word 83 unset", base(0x0040).Set(83, 0xFFFF).Set(86, 0x0400), 512, 0x0FFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ataid::LogicalSectorSize(c.page.View()), c.sectorSize);
        EXPECT_EQ(ataid::SectorCount(c.page.View()), c.sectors);
    }
}

TEST(AtaIdentify, SataSpeeds) {
    struct Case {
        std::uint16_t word93, word76, word77;
        std::uint8_t max, current;
    };
    const Case cases[] = {
        {0, 0x000E, 3 << 1, 3, 3}, {0, 0x0006, 2 << 1, 2, 2},        {0, 0x0002, 1 << 1, 1, 1},
        {0, 0x0000, 4 << 1, 0, 0}, {0x4001, 0x000E, 3 << 1, 255, 3}, {0, 0x0010, 0x0001, 0, 0},
    };
    for (const Case& c : cases) {
        const auto b = AtaIdentityBuilder().Set(93, c.word93).Set(76, c.word76).Set(77, c.word77);
        EXPECT_EQ(ataid::SataMaxSpeed(b.View()), c.max) << c.word76;
        EXPECT_EQ(ataid::SataCurrentSpeed(b.View()), c.current) << c.word77;
    }
    EXPECT_STREQ(ataid::SataSpeedName(2), "SATA 3.0 Gb/s");
    EXPECT_STREQ(ataid::SataSpeedName(0), "SATA");
}

TEST(AtaIdentify, SolidState) {
    struct Model {
        const char* model;
        bool solid;
    };
    const Model models[] = {
        {"xxssdyy", true},         {"XOCZ", false},
        {"ocz-vertex3", true},     {"Super Talent UltraDrive", true},
        {"A Super Talent", false}, {"WDC WD10EZEX", false},
        {"ORVANE SSD 860", true},  {"My SiliconHardDisk", true},
        {"xSPCC", false},          {"stt_ftm28gx25h", true},
        {"SOLIDIGM P44", true},    {"", false},
    };
    for (const Model& m : models)
        EXPECT_EQ(ataid::ModelLooksSolidState(m.model), m.solid) << m.model;

    struct Drive {
        std::uint16_t word80;
        const char* model;
        std::uint16_t rotation;
        bool solid;
    };
    const Drive drives[] = {
        {0x00F0, "SSD 1", 7200, true},
        {0x00F0, "HDD 1", 1, false},
        {0x01F0, "SSD 1", 7200, false},
        {0x01F0, "HDD 1", 1, true},
    };
    for (const Drive& d : drives) {
        const auto b = AtaIdentityBuilder().Set(80, d.word80).Model(d.model).Set(217, d.rotation);
        EXPECT_EQ(ataid::IsSolidState(b.View()), d.solid) << d.model << " " << d.word80;
    }
}

TEST(AtaIdentify, WwnAndSecurity) {
    const auto b = AtaIdentityBuilder()
                       .Set(84, 0x4100)
                       .Set(108, 0x5000)
                       .Set(109, 0xC500)
                       .Set(110, 0x1234)
                       .Set(111, 0xABCD);
    std::uint8_t wwn[8] = {};
    ASSERT_TRUE(ataid::Wwn(b.View(), wwn));
    const std::uint8_t expected[8] = {0x50, 0x00, 0xC5, 0x00, 0x12, 0x34, 0xAB, 0xCD};
    EXPECT_EQ(std::memcmp(wwn, expected, 8), 0);
    auto old = b;
    EXPECT_FALSE(ataid::Wwn(old.Set(80, 0x0070).View(), wwn));
    auto noBit = b;
    EXPECT_FALSE(ataid::Wwn(noBit.Set(84, 0x4000).View(), wwn));

    EXPECT_TRUE(ataid::SecuritySupported(AtaIdentityBuilder().Set(82, 0x0002).View()));
    EXPECT_FALSE(ataid::SecuritySupported(AtaIdentityBuilder().Set(82, 0xFFFF).View()));
    EXPECT_FALSE(
        ataid::SecuritySupported(AtaIdentityBuilder().Set(82, 0x0002).Set(80, 0x0004).View()));
    EXPECT_TRUE(ataid::SecurityEnabled(AtaIdentityBuilder().Set(128, 0x0003).View()));
    EXPECT_FALSE(ataid::SecurityEnabled(AtaIdentityBuilder().Set(128, 0x0001).View()));
}

TEST(AtaIdentify, SecurityEraseTimeout) {
    constexpr std::uint32_t kMin = 60, kMargin = 10 * kMin;
    struct Case {
        std::uint16_t word;
        std::uint32_t seconds;
    };
    const Case cases[] = {
        {30, 2 * 60 * kMin + kMargin},            // 60 minutes, doubled
        {0x0100 | 30, 2 * 60 * kMin + kMargin},   // reserved high byte ignored
        {255, 4 * 510 * kMin + kMargin},          // "more than 508 minutes"
        {0x8000 | 300, 2 * 600 * kMin + kMargin}, // extended format
        {0xFFFF, 4 * 65534 * kMin + kMargin},     // extended "more than"
        {0, 12 * 60 * kMin},                      // not reported
        {0x8000, 12 * 60 * kMin},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(
            ataid::SecurityEraseTimeoutSeconds(AtaIdentityBuilder().Set(89, c.word).View(), false),
            c.seconds);
        EXPECT_EQ(
            ataid::SecurityEraseTimeoutSeconds(AtaIdentityBuilder().Set(90, c.word).View(), true),
            c.seconds);
    }
    EXPECT_EQ(ataid::SecurityEraseTimeoutSeconds({}, false), 12 * 60 * kMin);
}

} // namespace
} // namespace tvd
