#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "../storage/ataidentitybuilder.h"
#include "drive/fundiskbusutil.h"

namespace tvd {
namespace {

using test::AtaIdentityBuilder;

// A Serial ATA drive (word 93 zero) with its capability (76) and negotiated speed (77) words.
std::vector<std::uint8_t> SataPage(std::uint16_t word76, std::uint16_t word77) {
    return AtaIdentityBuilder().Set(76, word76).Set(77, word77).Vector();
}

// A parallel drive: word 93 reports the cable, word 88 the supported and selected modes.
std::vector<std::uint8_t> PataPage(std::uint16_t word88) {
    return AtaIdentityBuilder().Set(93, 0x600B).Set(88, word88).Vector();
}

TEST(FunDiskBusText, AtaLinkTextFromIdentify) {
    const struct {
        std::vector<std::uint8_t> identify;
        const char* text;
    } cases[] = {
        {SataPage(0x000E, 2 << 1), "SATA 3.0 Gb/s"}, // 6 Gb/s drive linked at 3 Gb/s
        {SataPage(0x000E, 3 << 1), "SATA 6.0 Gb/s"},
        {SataPage(0x000E, 1 << 1), "SATA 1.5 Gb/s"},
        {SataPage(0x000E, 0), "SATA 6.0 Gb/s"}, // no negotiated speed: the best supported
        {SataPage(0x0006, 7 << 1), "SATA 3.0 Gb/s"},
        {SataPage(0x0002, 0), "SATA 1.5 Gb/s"},
        {SataPage(0x0000, 0), "SATA"},
        {PataPage(0x403F), "UDMA/133"},
        {PataPage(0x201F), "UDMA/100"},
        {PataPage(0x0107), "UDMA/16"},
        {PataPage(0x007F), "PIO/DMA"},
        {{}, "SATA"},                                // IDENTIFY failed
        {std::vector<std::uint8_t>(100, 0), "SATA"}, // short answer
    };
    for (const auto& c : cases) {
        BusFacts facts;
        facts.busType = bustype::kSata;
        facts.ataIdentify = c.identify;
        EXPECT_EQ(BuildBusText(facts), c.text) << c.text;
        facts.busType = bustype::kAta;
        EXPECT_EQ(BuildBusText(facts), c.text) << c.text;
    }
}

TEST(FunDiskBusText, TextPerBusType) {
    const std::vector<std::uint8_t> sata6 = SataPage(0x000E, 3 << 1);
    const struct {
        std::uint32_t busType;
        std::optional<std::uint16_t> usbLink;
        PciLinkInfo pci;
        const char* text;
    } cases[] = {
        {bustype::kScsi, std::nullopt, {}, "SCSI"},
        {bustype::k1394, std::nullopt, {}, "FireWall"},
        {bustype::kRaid, std::nullopt, {}, "RAID"},
        {bustype::kSd, std::nullopt, {}, "SD"},
        {bustype::kMmc, std::nullopt, {}, "MMC"},
        {bustype::kUnknown, std::nullopt, {}, "---"},
        {bustype::kAtapi, std::nullopt, {}, "---"},
        {bustype::kSas, std::nullopt, {}, "---"},
        {bustype::kSpaces, std::nullopt, {}, "---"},
        {bustype::kUsb, std::nullopt, {}, "USB"}, // port or hub not reached
        {bustype::kUsb, 0x0000, {}, "USB"},
        {bustype::kUsb, 0x0100, {}, "USB"},
        {bustype::kUsb, 0x0110, {}, "USB"},
        {bustype::kUsb, 0x0200, {}, "USB 2.0"},
        {bustype::kUsb, 0x0300, {}, "USB 3.0"},
        {bustype::kUsb, 0x0310, {}, "USB 3.1"},
        {bustype::kNvme, std::nullopt, {4, 4, 3, 4}, "PCIe Gen3 x4"},
        {bustype::kNvme, std::nullopt, {4, 4, 4, 2}, "PCIe Gen4 x2"},
        {bustype::kNvme, std::nullopt, {4, 4, 0, 4}, "PCIe"},
        {bustype::kNvme, std::nullopt, {4, 4, 3, 0}, "PCIe"},
        {bustype::kNvme, std::nullopt, {}, "PCIe"},
    };
    for (const auto& c : cases) {
        BusFacts facts;
        facts.busType = c.busType;
        facts.usbLinkVersion = c.usbLink;
        facts.pciLink = c.pci;
        // Identify data of another command set must not leak into a non-ATA bus text.
        facts.ataIdentify = sata6;
        EXPECT_EQ(BuildBusText(facts), c.text) << "bus " << c.busType;
    }
}

} // namespace
} // namespace tvd
