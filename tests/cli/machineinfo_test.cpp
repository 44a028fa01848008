#include <gtest/gtest.h>

#include "cli/machineinfo.h"
#include "foundation/smbiosfixture.h"

namespace tvd::cli {
namespace {

using test::SmbiosTableBuilder;

TEST(MachineInfo, BoardBiosAndModulesComeFromTheTable) {
    SmbiosTableBuilder t;
    t.Add(0, 0, test::BiosFields(), {"Firmware Co", "2.17", "03/04/2025"});
    t.Add(1, 1, test::SystemFields(), {"Maker", "Model X", "1.0", "SER1"});
    t.Add(2, 2, test::BoardFields(10), {"Board Maker", "B650", "rev 1"});
    t.Add(3, 3, test::ChassisFields(0x83), {"Case"}); // bit 7 is the lock flag, not the type
    t.Add(17, 4, test::MemoryFields(0x4000), {"DIMM A1", "BANK 0"});
    t.Add(17, 5, test::MemoryFields(0), {"DIMM A2", "BANK 0"}); // empty slot
    t.Add(17, 6, test::MemoryFields(0x7FFF, 0x20000, 34), {"DIMM B1", "BANK 1"});
    t.AddEnd();
    MachineInfo info;
    FillFromSmbios(t.Blob(3, 4), info);
    EXPECT_EQ(info.smbiosVersion, "3.4");
    EXPECT_EQ(info.biosVendor, "Firmware Co");
    EXPECT_EQ(info.biosDate, "03/04/2025");
    EXPECT_EQ(info.systemProduct, "Model X");
    EXPECT_EQ(info.boardMaker, "Board Maker");
    EXPECT_EQ(info.boardProduct, "B650");
    EXPECT_EQ(info.boardType, "MotherBoard");
    EXPECT_EQ(info.chassisType, "Desktop");
    ASSERT_EQ(info.memoryDevices.size(), 2u);
    EXPECT_EQ(info.memoryDevices[0].locator, "DIMM A1");
    EXPECT_EQ(info.memoryDevices[0].bytes, 16ull << 30);
    EXPECT_EQ(info.memoryDevices[0].type, "DDR4");
    EXPECT_EQ(info.memoryDevices[1].bytes, 128ull << 30);
    EXPECT_EQ(info.memoryDevices[1].type, "DDR5");
    std::string text = MachineInfoText(info);
    EXPECT_NE(text.find("Board:            Board Maker B650\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  Module:         DIMM B1: 128.0 GiB DDR5\n"), std::string::npos) << text;
}

TEST(MachineInfo, DamagedTableGivesEmptyFieldsNotGarbage) {
    SmbiosTableBuilder t;
    t.Add(2, 2, test::SmbiosFields(0x05).Byte(0x04, 1), {"Only Maker"}); // too short for product
    t.AddRaw({17, 0x22, 0x04}); // memory device cut off by the table's end
    MachineInfo info;
    FillFromSmbios(t.Blob(), info);
    EXPECT_EQ(info.boardMaker, "Only Maker");
    EXPECT_EQ(info.boardProduct, "");
    EXPECT_EQ(info.boardType, "");
    EXPECT_TRUE(info.memoryDevices.empty());
}

TEST(MachineInfo, ProcessorTextsLoseTheirPadding) {
    MachineInfo info;
    info.cpuVendor = "GenuineTvd";
    info.cpuBrand = "   Tvd Processor 9000    ";
    info.cpuThreads = 2;
    EXPECT_NE(MachineInfoText(info).find("Processor:        Tvd Processor 9000, 2 threads\n"),
              std::string::npos)
        << MachineInfoText(info);
    EXPECT_NE(MachineInfoJson(info).find("\"brand\": \"Tvd Processor 9000\",\n"), std::string::npos)
        << MachineInfoJson(info);
    info.cpuBrand = "     ";
    EXPECT_NE(MachineInfoText(info).find("Processor:        GenuineTvd, 2 threads\n"),
              std::string::npos);
}

} // namespace
} // namespace tvd::cli
