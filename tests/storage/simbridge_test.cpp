// Simulated USB enclosures end to end: the interface choice finds each bridge's command set over
// the simulated drive behind it, identifies the drive and reads its SMART data; the root hub
// reports the enclosure's ids, strings and link.
#include <gtest/gtest.h>

#include <set>

#include "storage/clata.h"
#include "storage/clnvme.h"
#include "storage/commandinterfaces.h"
#include "storage/devicechoice.h"
#include "storage/deviceregistry.h"
#include "storage/fakestorage.h"
#include "storage/simfolder.h"
#include "storage/usbnodeutil.h"

namespace tvd {
namespace {

class SimBridgeTest : public ::testing::Test {
protected:
    // Starts the simulation over the folder's drives with the process registry enumerated.
    void Start() {
        ErrorCode e = err::kSuccess;
        sim_ = NewSimStorage(folder_.Path(), e);
        ASSERT_NE(sim_, nullptr) << e;
        selected_ = std::make_unique<test::SelectedStorage>(*sim_);
        ClearCandidateFactories();
        RegisterCommandInterfaces();
        ASSERT_TRUE(RegisterList(std::make_unique<clNtDiskList>()));
        ASSERT_TRUE(RegisterList(std::make_unique<clWinUsbList>()));
        EnumerateAll(nullptr);
    }
    void TearDown() override {
        ShutdownAll();
        ClearCandidateFactories();
        selected_.reset();
    }
    clDisk* Disk(const std::string& name) {
        clDeviceList* disks = FindList(devtype::kDisk);
        return disks ? static_cast<clDisk*>(disks->FindByPath("SIM\\" + name)) : nullptr;
    }

    test::SimFolder folder_;
    std::unique_ptr<StoragePlatform> sim_;
    std::unique_ptr<test::SelectedStorage> selected_;
};

TEST_F(SimBridgeTest, EachAtaBridgeEndToEnd) {
    struct Case {
        const char* name;
        const char* usb; // [Usb] keys
        const char* cls; // expected class; null: no ATA interface
        std::uint16_t chip, status;
        std::uint8_t device;
    } cases[] = {
        {"sat", "Bridge=sat\n", "clSatUsbAta", 0, 0, 0xA0},
        {"jmicron", "Bridge=jmicron\n", "clJmUsbAta", 0x2339, 0x4FC2, 0xA0},
        {"jm2335", "Bridge=jmicron\nChip=2335\nDrivePort=1\n", "clJmUsbAta", 0x2335, 0x4FC2, 0xB0},
        {"jm2352", "Bridge=jmicron\nChip=2352\nDrivePort=1\n", "clJmUsbAta", 0x2352, 0x4FC2, 0xB0},
        {"jmsat", "Bridge=jmicron\nSat=1\n", "clSatUsbAta", 0x2339, 0, 0xA0},
        {"asmedia", "Bridge=asmedia\n", "clAsmUsbAta", 0x2105, 0x4FC2, 0xA0},
        {"sunplus", "Bridge=sunplus\n", "clSunplusAta", 0x0C05, 0x4FC2, 0xA0},
        {"plx", "Bridge=plx507\nDrivePort=1\n", "clPlx507Ata", 0x2507, 0x4FC2, 0xB0},
        {"prolific", "Bridge=pl2571\n", "clPl2571Ata", 0x2571, 0x4FC2, 0xA0},
        {"none", "Bridge=none\n", nullptr, 0, 0, 0},
        {"unknown", "Bridge=sunplus\nVendorId=1234\nProductId=5678\n", nullptr, 0, 0, 0},
    };
    for (const Case& c : cases)
        folder_.Drive(c.name, std::string("Bus=USB\nModel=BRIDGED ") + c.name + "\nSerial=SN-" +
                                  c.name + "\n[Usb]\n" + c.usb + "[Ata]\n");
    folder_.Drive("sata", "Bus=SATA\nModel=PLAIN\n");
    Start();

    for (const Case& c : cases) {
        clDisk* disk = Disk(c.name);
        ASSERT_NE(disk, nullptr) << c.name;
        InterfacePtr<clAta> ata = OpenAtaInterface(disk);
        EXPECT_EQ(disk->ChipId(), c.chip) << c.name;
        if (!c.cls) {
            EXPECT_EQ(ata, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(ata, nullptr) << c.name;
        EXPECT_TRUE(ata->IsA(c.cls)) << c.name;
        EXPECT_TRUE(ata->IsA("clUsbAta")) << c.name;
        EXPECT_EQ(ata->Device(), c.device) << c.name;
        std::string model;
        ASSERT_TRUE(ata->GetModel(model)) << c.name;
        EXPECT_EQ(model.substr(0, 8 + std::string(c.name).size()),
                  std::string("BRIDGED ") + c.name);
        std::uint8_t page[512];
        EXPECT_TRUE(ata->SmartReadData(page)) << c.name;
        EXPECT_TRUE(ata->SmartReadThresholds(page)) << c.name;
        EXPECT_EQ(ata->SmartReturnStatus(), c.status) << c.name;
        ata->Close();
    }

    // A SATA disk is no USB bridge (on Linux it is reached through libata's translation).
    InterfacePtr<clAta> sata = OpenAtaInterface(Disk("sata"));
    ASSERT_NE(sata, nullptr);
    EXPECT_FALSE(sata->IsA("clUsbAta"));
#ifndef _WIN32
    EXPECT_TRUE(sata->IsA("clSatAta"));
#endif
}

TEST_F(SimBridgeTest, ExceededStatusThroughVendorSets) {
    for (const char* bridge : {"jmicron", "asmedia", "sunplus", "pl2571"})
        folder_.Drive(bridge, std::string("Bus=USB\n[Usb]\nBridge=") + bridge +
                                  "\n[Ata]\nSmartStatus=exceeded\n");
    Start();
    for (const char* bridge : {"jmicron", "asmedia", "sunplus", "pl2571"}) {
        InterfacePtr<clAta> ata = OpenAtaInterface(Disk(bridge));
        ASSERT_NE(ata, nullptr) << bridge;
        EXPECT_EQ(ata->SmartReturnStatus(), 0xF42C) << bridge;
    }
}

TEST_F(SimBridgeTest, NvmeBridgesEndToEnd) {
    folder_.Drive("asm", "Bus=USB\nModel=ASM NVME\nSerial=A1\n[Usb]\nBridge=asmedia-nvme\n");
    folder_.Drive("jm", "Bus=USB\nModel=JM NVME\nSerial=J1\n[Usb]\nBridge=jmicron-nvme\n");
    folder_.Drive("plain", "Bus=USB\nModel=NO BRIDGE\n[Nvme]\n");
    Start();
    struct Case {
        const char* name;
        const char* cls;
        const char* model;
    } cases[] = {{"asm", "clAsmUsbNvme", "ASM NVME"}, {"jm", "clJmUsbNvme", "JM NVME"}};
    for (const Case& c : cases) {
        EXPECT_EQ(OpenAtaInterface(Disk(c.name)), nullptr) << c.name;
        NvmeChoice choice = OpenNvmeInterface(Disk(c.name));
        ASSERT_NE(choice.nvme, nullptr) << c.name;
        EXPECT_TRUE(choice.nvme->IsA(c.cls)) << c.name;
        std::string model;
        ASSERT_TRUE(choice.nvme->GetModel(model)) << c.name;
        EXPECT_EQ(model.substr(0, std::string(c.model).size()), c.model) << c.name;
        std::uint8_t log[512] = {};
        ASSERT_TRUE(choice.nvme->GetLogPage(0x02, 127, log)) << c.name;
        EXPECT_EQ(Le<std::uint16_t>(ByteView(log), 1), 310) << c.name; // composite temperature
    }
    EXPECT_EQ(OpenNvmeInterface(Disk("plain")).nvme, nullptr);
}

TEST_F(SimBridgeTest, HubReportsIdsStringsAndLink) {
    folder_.Drive("a", "Bus=USB\n[Usb]\nVendorId=0x1234\nProductId=5678\nManufacturer=Maker\n"
                       "Product=Box\nSerial=S-1\nLink=3.0\n");
    folder_.Drive("b", "Bus=USB\n[Usb]\nLink=1.1\n");
    folder_.Drive("c", "Bus=USB\n[Usb]\nLink=2.0\nManufacturer=Only\n");
    Start();
    struct Case {
        const char* name;
        std::uint16_t vendor, product, link;
        const char *manufacturer, *product_, *serial;
    } cases[] = {
        {"a", 0x1234, 0x5678, 0x0300, "Maker", "Box", "S-1"},
        {"b", 0, 0, 0x0110, "", "USB Mass Storage Device", ""},
        {"c", 0, 0, 0x0200, "Only", "USB Mass Storage Device", ""},
    };
    std::set<int> ports;
    for (const Case& c : cases) {
        clDisk* disk = Disk(c.name);
        std::uint16_t v = 0, p = 0;
        ASSERT_TRUE(GetUsbIds(disk, v, p)) << c.name;
        EXPECT_EQ(v, c.vendor) << c.name;
        EXPECT_EQ(p, c.product) << c.name;
        UsbDiskInfo info;
        ASSERT_TRUE(GetUsbDiskInfo(disk, info)) << c.name;
        EXPECT_EQ(info.linkVersion, c.link) << c.name;
        EXPECT_EQ(info.manufacturer, c.manufacturer) << c.name;
        EXPECT_EQ(info.product, c.product_) << c.name;
        EXPECT_EQ(info.serial, c.serial) << c.name;
        EXPECT_GE(info.port, 1) << c.name;
        ports.insert(info.port);
    }
    EXPECT_EQ(ports.size(), 3u); // each device found at its own port

    // The root hub itself hangs on the host controller: port 0.
    clDeviceList* usbs = FindList(devtype::kUsb);
    ASSERT_NE(usbs, nullptr);
    auto* root = static_cast<clUsb*>(usbs->FindByPath("SIMUSB\\ROOT_HUB"));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(UsbPortNumber(root), 0);
    DeviceHandle hub;
    ASSERT_EQ(Storage().Open("SIMUSB\\ROOT_HUB", hub), err::kSuccess);
    EXPECT_GE(UsbHubPortCount(hub), 3);
    EXPECT_FALSE(GetUsbString(hub, 1, 0)); // index 0 names no text
}

} // namespace
} // namespace tvd
