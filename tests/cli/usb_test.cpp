// USB disks through the tool: identify names the bridge's interface class and the USB facts,
// info shows them, smart reads the drive through every bridge.
#include <gtest/gtest.h>

#include "storage/simfolder.h"
#include "toolrun.h"

namespace tvd::cli {
namespace {

using test::Flat;
using test::RunTool;
using test::ToolRun;

struct Case {
    const char* name;
    const char* usb;   // [Usb] keys
    const char* extra; // command-set section
    const char* ata;   // interface classes as identify names them
    const char* nvme;
    const char* ids; // "vendorId": ..., "productId": ...
    const char* link;
};

const Case kCases[] = {
    {"sat", "Bridge=sat\nVendorId=0x0BDA\nProductId=0x9210\n", "[Ata]\n", "clSatUsbAta", nullptr,
     "\"vendorId\": \"0bda\",\"productId\": \"9210\"", "USB 2.0"},
    {"jmicron", "Bridge=jmicron\nChip=2335\nLink=3.0\n", "[Ata]\n", "clJmUsbAta", nullptr,
     "\"vendorId\": \"152d\",\"productId\": \"2339\"", "USB 3.0"},
    {"asmedia", "Bridge=asmedia\nLink=1.1\n", "[Ata]\n", "clAsmUsbAta", nullptr,
     "\"vendorId\": \"174c\",\"productId\": \"5106\"", "USB 1.1"},
    {"sunplus", "Bridge=sunplus\n", "[Ata]\n", "clSunplusAta", nullptr,
     "\"vendorId\": \"04fc\",\"productId\": \"0c05\"", "USB 2.0"},
    {"plx", "Bridge=plx507\nDrivePort=1\n", "[Ata]\n", "clPlx507Ata", nullptr,
     "\"vendorId\": \"067b\",\"productId\": \"2507\"", "USB 2.0"},
    {"prolific", "Bridge=pl2571\n", "[Ata]\n", "clPl2571Ata", nullptr,
     "\"vendorId\": \"067b\",\"productId\": \"2571\"", "USB 2.0"},
    {"asmnvme", "Bridge=asmedia-nvme\nLink=3.0\n", "[Nvme]\n", nullptr, "clAsmUsbNvme",
     "\"vendorId\": \"174c\",\"productId\": \"2362\"", "USB 3.0"},
    {"jmnvme", "Bridge=jmicron-nvme\nLink=3.0\n", "[Nvme]\n", nullptr, "clJmUsbNvme",
     "\"vendorId\": \"152d\",\"productId\": \"0583\"", "USB 3.0"},
};

TEST(UsbCommands, IdentifyInfoAndSmartThroughEachBridge) {
    test::SimFolder dir;
    for (const Case& c : kCases)
        dir.Drive(c.name, std::string("Bus=USB\nModel=Boxed ") + c.name + "\nSerial=S-" + c.name +
                              "\n[Usb]\nManufacturer=Maker\nProduct=Box\n" + c.usb + c.extra);
    for (const Case& c : kCases) {
        const ToolRun id = RunTool({"--simulate", dir.Path(), "--json", "identify", c.name});
        ASSERT_EQ(id.status, 0) << c.name << ": " << id.err;
        const std::string j = Flat(id.out);
        const std::string ata = c.ata ? std::string("\"") + c.ata + "\"" : "null";
        const std::string nvme = c.nvme ? std::string("\"") + c.nvme + "\"" : "null";
        EXPECT_NE(j.find("\"ata\": " + ata), std::string::npos) << c.name << "\n" << j;
        EXPECT_NE(j.find("\"nvme\": " + nvme), std::string::npos) << c.name << "\n" << j;
        EXPECT_NE(j.find(c.ids), std::string::npos) << c.name << "\n" << j;
        EXPECT_NE(j.find(std::string("\"link\": \"") + c.link + "\""), std::string::npos)
            << c.name << "\n"
            << j;
        EXPECT_NE(j.find("\"manufacturer\": \"Maker\",\"product\": \"Box\""), std::string::npos)
            << c.name << "\n"
            << j;

        const ToolRun info = RunTool({"--simulate", dir.Path(), "info", c.name});
        ASSERT_EQ(info.status, 0) << c.name << ": " << info.err;
        EXPECT_NE(info.out.find(std::string("USB link:     ") + c.link), std::string::npos)
            << c.name << "\n"
            << info.out;
        // The interface text shows the version from USB 2.0 on only.
        const std::string bus = std::string(c.link) == "USB 1.1" ? "USB\n" : std::string(c.link);
        EXPECT_NE(info.out.find("Interface:    " + bus), std::string::npos) << c.name << "\n"
                                                                            << info.out;

        const ToolRun smart = RunTool({"--simulate", dir.Path(), "--json", "smart", c.name});
        ASSERT_EQ(smart.status, 0) << c.name << ": " << smart.err;
        EXPECT_NE(Flat(smart.out).find(std::string("\"kind\": \"") + (c.ata ? "ata" : "nvme")),
                  std::string::npos)
            << c.name << "\n"
            << smart.out;
    }
}

} // namespace
} // namespace tvd::cli
