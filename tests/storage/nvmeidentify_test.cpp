#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/nvmeidentifyutil.h"
#include "storage/nvmeidentitybuilder.h"

namespace tvd {
namespace {

using test::NvmeControllerBuilder;
using test::NvmeNamespaceBuilder;

TEST(NvmeIdentify, ControllerPlausibility) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> data;
        bool valid;
    };
    auto shortened = NvmeControllerBuilder().Bytes();
    shortened.pop_back();
    const Case cases[] = {
        {"default", NvmeControllerBuilder().Bytes(), true},
        {"model NUL padded", NvmeControllerBuilder().Model("ABC", '\0').Bytes(), true},
        {"serial blank", NvmeControllerBuilder().Serial("", ' ').Bytes(), true},
        {"short", shortened, false},
        {"all zero", std::vector<std::uint8_t>(4096, 0), false},
        {"model blank", NvmeControllerBuilder().Model("", ' ').Bytes(), false},
        {"model control char", NvmeControllerBuilder().Byte(30, 0x01).Bytes(), false},
        {"model high byte", NvmeControllerBuilder().Byte(24, 0xC3).Bytes(), false},
        {"text after NUL", NvmeControllerBuilder().Model("AB", '\0').Byte(40, 'X').Bytes(), false},
        {"serial garbage", NvmeControllerBuilder().Byte(10, 0xFF).Bytes(), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nvmeid::ControllerValid(c.data), c.valid) << c.name;
}

TEST(NvmeIdentify, TextAndScalarFields) {
    const std::string model40(40, 'M');
    const auto ctrl = NvmeControllerBuilder()
                          .Model(model40)
                          .Serial("SER", '\0')
                          .Firmware("FW12345X")
                          .Le16(2, 0x1AB2)
                          .Oacs(0x0017)
                          .Sanicap(0x20000003)
                          .Byte(260, 0x07)
                          .Le16(266, 343)
                          .Le16(268, 358)
                          .Bytes();
    EXPECT_EQ(nvmeid::Model(ctrl), model40);
    EXPECT_EQ(nvmeid::Serial(ctrl), "SER");
    EXPECT_EQ(nvmeid::Firmware(ctrl), "FW12345X");
    EXPECT_EQ(nvmeid::PciVendorId(ctrl), 0x144D);
    EXPECT_EQ(nvmeid::PciSubsystemVendorId(ctrl), 0x1AB2);
    EXPECT_TRUE(nvmeid::SecuritySupported(ctrl));
    EXPECT_EQ(nvmeid::Sanicap(ctrl), 0x20000003u);
    EXPECT_EQ(nvmeid::FirmwareSlots(ctrl), 3);
    EXPECT_EQ(nvmeid::WarningTemperature(ctrl), 343);
    EXPECT_EQ(nvmeid::CriticalTemperature(ctrl), 358);
    EXPECT_FALSE(nvmeid::SecuritySupported(NvmeControllerBuilder().Oacs(0x0016).Bytes()));
    // A truncated structure yields nothing rather than bytes beyond it.
    const ByteView cut = ByteView(ctrl).first(30);
    EXPECT_EQ(nvmeid::Model(cut), "");
    EXPECT_EQ(nvmeid::Sanicap(cut), 0u);
}

TEST(NvmeIdentify, VersionText) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, ""}, {0x00010400, "1.4"}, {0x00010201, "1.2.1"}, {0x00020000, "2.0"}};
    for (const auto& [v, text] : cases)
        EXPECT_EQ(nvmeid::VersionText(v), text) << std::hex << v;
}

TEST(NvmeIdentify, NamespaceBlockSizeFromFormatInUse) {
    struct Case {
        const char* name;
        NvmeNamespaceBuilder ns;
        std::uint32_t blockSize;
        std::uint8_t index;
    };
    const Case cases[] = {
        {"format 0, 512", NvmeNamespaceBuilder(), 512, 0},
        {"format 1, 4096", NvmeNamespaceBuilder().Nlbaf(1).Format(1, 12).Flbas(1), 4096, 1},
        {"bit 4 is not index", NvmeNamespaceBuilder().Nlbaf(1).Format(1, 12).Flbas(0x10), 512, 0},
        {"high bits with 20 formats",
         NvmeNamespaceBuilder().Nlbaf(19).Format(1, 9).Format(17, 12).Flbas(0x21), 4096, 17},
        {"high bits ignored with 4 formats",
         NvmeNamespaceBuilder().Nlbaf(3).Format(1, 12).Format(17, 9).Flbas(0x21), 4096, 1},
        {"index beyond NLBAF", NvmeNamespaceBuilder().Nlbaf(1).Format(5, 12).Flbas(5), 0, 5},
        {"exponent 8", NvmeNamespaceBuilder().Format(0, 8), 0, 0},
        {"exponent 16", NvmeNamespaceBuilder().Format(0, 16), 65536, 0},
        {"exponent 17", NvmeNamespaceBuilder().Format(0, 17), 0, 0},
        {"exponent 0xFF", NvmeNamespaceBuilder().Format(0, 0xFF), 0, 0},
    };
    for (const Case& c : cases) {
        nvmeid::NamespaceInfo info;
        ASSERT_TRUE(nvmeid::DecodeNamespace(c.ns.Bytes(), info)) << c.name;
        EXPECT_EQ(info.blockSize, c.blockSize) << c.name;
        EXPECT_EQ(info.formatIndex, c.index) << c.name;
    }
}

TEST(NvmeIdentify, NamespaceIdentifiersAndRejects) {
    NvmeNamespaceBuilder b;
    b.Format(0, 12, 8).Le64(0, 0x1122334455667788ull).Le64(8, 7).Le64(16, 3);
    for (std::size_t i = 0; i < 16; ++i)
        b.Byte(104 + i, static_cast<std::uint8_t>(0xA0 + i));
    b.Byte(120 + 7, 0x5E);
    nvmeid::NamespaceInfo info;
    ASSERT_TRUE(nvmeid::DecodeNamespace(b.Bytes(), info));
    EXPECT_EQ(info.size, 0x1122334455667788ull);
    EXPECT_EQ(info.capacity, 7u);
    EXPECT_EQ(info.utilization, 3u);
    EXPECT_EQ(info.metadataSize, 8);
    EXPECT_TRUE(info.hasNguid);
    EXPECT_EQ(info.nguid[0], 0xA0);
    EXPECT_EQ(info.nguid[15], 0xAF);
    EXPECT_TRUE(info.hasEui64);
    EXPECT_EQ(info.eui64[0], 0);
    EXPECT_EQ(info.eui64[7], 0x5E);

    ASSERT_TRUE(nvmeid::DecodeNamespace(NvmeNamespaceBuilder().Bytes(), info));
    EXPECT_FALSE(info.hasEui64);
    EXPECT_FALSE(info.hasNguid);

    auto shortened = NvmeNamespaceBuilder().Bytes();
    shortened.resize(4095);
    EXPECT_FALSE(nvmeid::DecodeNamespace(shortened, info));
    EXPECT_FALSE(nvmeid::DecodeNamespace(std::vector<std::uint8_t>(4096, 0), info));
    EXPECT_EQ(info.blockSize, 0u); // a rejected structure leaves nothing behind
}

TEST(NvmeIdentify, ActiveNamespaceList) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> list;
        std::vector<std::uint32_t> ids;
    };
    std::vector<std::uint8_t> full(4096, 0);
    for (std::size_t i = 0; i < 1024; ++i)
        StoreLe(MutableByteView(full), 4 * i, static_cast<std::uint32_t>(i + 1));
    std::vector<std::uint32_t> all(1024);
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<std::uint32_t>(i + 1);
    const Case cases[] = {
        {"stops at 0", {1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0}, {1, 2}},
        {"empty", std::vector<std::uint8_t>(4096, 0), {}},
        {"full list bounded", full, all},
        {"partial entry ignored", {3, 0, 0, 0, 4, 0}, {3}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nvmeid::ActiveNamespaces(c.list), c.ids) << c.name;
}

} // namespace
} // namespace tvd
