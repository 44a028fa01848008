#include "storage/commandinterfaces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "storage/ataidentitybuilder.h"
#include "storage/clnvme.h"
#include "storage/clscsi.h"
#include "storage/clusbata.h"
#include "storage/devicechoice.h"
#include "storage/fakestorage.h"
#include "storage/nvmeidentitybuilder.h"

namespace tvd {
namespace {

using test::FakeStorage;
using test::SelectedStorage;

// A back end whose disks answer ATA PASS-THROUGH the way a SAT bridge or libata does: IDENTIFY
// through (12), SMART RETURN STATUS through (16) with the registers in descriptor sense.
class SatStorage : public FakeStorage {
public:
    bool answersSat = true;
    std::vector<ScsiAddress> addresses;
    int scsiCommands = 0;
    const test::AtaIdentityBuilder identify;
    std::vector<std::uint8_t> controller; // NVMe IDENTIFY CONTROLLER answer; empty: fails

    ErrorCode ScsiCommand(DeviceHandle& h, ScsiCommandRequest& r) override {
        if (!h.IsOpen()) return err::kInvalidHandle;
        ++scsiCommands;
        addresses.push_back(r.address);
        r.status = 2; // CHECK CONDITION, invalid opcode
        r.transferred = 0;
        if (!answersSat || r.cdb.size() < 12) return err::kSuccess;
        if (r.cdb[0] == 0xA1 && r.cdb[9] == 0xEC && r.data.size() == 512) {
            std::copy(identify.Page().begin(), identify.Page().end(), r.data.begin());
            r.transferred = 512;
            r.status = 0;
        } else if (r.cdb.size() == 16 && r.cdb[0] == 0x85 && r.cdb[14] == 0xB0 &&
                   r.cdb[4] == 0xDA) {
            // Descriptor-format sense with the ATA Status Return descriptor (LBA mid/high
            // 4Fh/C2h: no threshold exceeded).
            const std::uint8_t header[8] = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14};
            std::memcpy(r.sense, header, sizeof header);
            std::uint8_t* d = r.sense + 8;
            d[0] = 0x09;
            d[1] = 0x0C;
            d[9] = 0x4F;
            d[11] = 0xC2;
            d[12] = 0xA0;
            d[13] = 0x50;
            r.senseLength = 22;
        }
        return err::kSuccess;
    }
    ErrorCode NvmeCommand(DeviceHandle& h, NvmeCommandRequest& r) override {
        if (!h.IsOpen()) return err::kInvalidHandle;
        std::memset(r.completion, 0, sizeof r.completion);
        if (controller.empty() || r.command[0] != 0x06 || r.data.size() < controller.size()) {
            r.completion[14] = 0x02; // invalid opcode
            return err::kSuccess;
        }
        std::copy(controller.begin(), controller.end(), r.data.begin());
        return err::kSuccess;
    }
};

class BusDisk : public clDisk {
public:
    std::uint32_t bus = bustype::kUsb;
    bool removable = false;
    std::uint32_t GetBusType() override { return bus; }
    bool IsUsb() override { return bus == bustype::kUsb; }
    bool IsRemovable() override { return removable; }
};

class CommandInterfacesTest : public ::testing::Test {
protected:
    CommandInterfacesTest() {
        ClearCandidateFactories();
        fake.paths["DISK1"].address = ScsiAddress{2, 1, 5, 3};
        disk.SetPath("DISK1");
        RegisterCommandInterfaces();
        RegisterCommandInterfaces(); // a second call changes nothing
    }
    ~CommandInterfacesTest() override { ClearCandidateFactories(); }

    SatStorage fake;
    SelectedStorage selected{fake};
    BusDisk disk;
};

TEST_F(CommandInterfacesTest, ScsiInterfaceCarriesAddress) {
    InterfacePtr<clNtScsi> scsi = OpenScsiInterface(&disk);
    ASSERT_NE(scsi, nullptr);
    EXPECT_TRUE(scsi->IsOpen());
    EXPECT_EQ(scsi->portNumber, 2u);
    EXPECT_EQ(scsi->Path(), "DISK1");
    std::uint8_t buf[36];
    std::uint32_t len = sizeof buf;
    scsicmd::Inquiry(scsi.get(), buf, len);
    ASSERT_EQ(fake.addresses.size(), 1u);
    EXPECT_EQ(fake.addresses[0].pathId, 1);
    EXPECT_EQ(fake.addresses[0].targetId, 5);
    EXPECT_EQ(fake.addresses[0].lun, 3);
    scsi.reset();
    EXPECT_EQ(fake.liveHandles, 0);

    fake.paths["DISK1"].openResult = err::kAccessDenied;
    EXPECT_EQ(OpenScsiInterface(&disk), nullptr);
}

TEST_F(CommandInterfacesTest, UsbBridgeChoice) {
    struct Case {
        const char* name;
        bool answersSat, removable, expectAta;
    } cases[] = {
        {"SAT bridge", true, false, true},
        {"bridge without SAT", false, false, false},
        {"removable medium", true, true, false},
    };
    for (const Case& c : cases) {
        fake.answersSat = c.answersSat;
        fake.scsiCommands = 0;
        disk.removable = c.removable;
        InterfacePtr<clAta> ata = OpenAtaInterface(&disk);
        EXPECT_EQ(ata != nullptr, c.expectAta) << c.name;
        if (ata) {
            EXPECT_TRUE(ata->IsA("clSatUsbAta")) << c.name;
            EXPECT_FALSE(ata->IsA("clSatAta")) << c.name;
            EXPECT_EQ(ata->SmartReturnStatus(), 0) << c.name;
        }
        if (c.removable) {
            EXPECT_EQ(fake.scsiCommands, 0) << c.name;
        }
        ata.reset();
        EXPECT_EQ(fake.liveHandles, 0) << c.name;
    }
}

TEST_F(CommandInterfacesTest, FactoriesSurviveReset) {
    ClearCandidateFactories();
    EXPECT_EQ(OpenScsiInterface(&disk), nullptr);
    RegisterCommandInterfaces();
    EXPECT_NE(OpenScsiInterface(&disk), nullptr);
}

#ifndef _WIN32
// The platform's own paths: libata's translation for SATA disks, the NVMe pass-through.
TEST_F(CommandInterfacesTest, SataDiskThroughTranslation) {
    disk.bus = bustype::kSata;
    InterfacePtr<clAta> ata = OpenAtaInterface(&disk);
    ASSERT_NE(ata, nullptr);
    EXPECT_TRUE(ata->IsA("clSatAta"));
    EXPECT_EQ(ata->SmartReturnStatus(), 0x4FC2);

    fake.answersSat = false;
    EXPECT_EQ(OpenAtaInterface(&disk), nullptr);
}

TEST_F(CommandInterfacesTest, NvmeDiskThroughPlatform) {
    disk.bus = bustype::kNvme;
    const test::NvmeControllerBuilder builder;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> controller;
        bool expected;
    } cases[] = {
        {"answers", builder.Bytes(), true},
        {"all zero", std::vector<std::uint8_t>(kNvmeIdentifySize, 0), false},
        {"refuses", {}, false},
    };
    for (const Case& c : cases) {
        fake.controller = c.controller;
        NvmeChoice choice = OpenNvmeInterface(&disk);
        EXPECT_EQ(choice.nvme != nullptr, c.expected) << c.name;
        if (choice.nvme) {
            EXPECT_TRUE(choice.nvme->IsA("clPlatformNvme")) << c.name;
            EXPECT_EQ(choice.nvme->GetController().size(), kNvmeIdentifySize) << c.name;
            EXPECT_EQ(choice.identify, c.controller) << c.name;
        }
    }
}

// End to end over a simulated SATA disk: the translation path finds it, identifies it, reads
// its health and its SCSI capacity.
TEST(CommandInterfacesSim, SataDiskEndToEnd) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path dir;
    std::random_device random;
    for (int i = 0; i < 100 && dir.empty(); ++i) {
        const fs::path p = fs::temp_directory_path(ec) / ("tvdcmdif-" + std::to_string(random()));
        if (fs::create_directory(p, ec)) dir = p;
    }
    ASSERT_FALSE(dir.empty());
    std::ofstream(dir / "sata.drive") << "[Drive]\nBus=SATA\nModel=SIMDISK\nSerial=S1\n"
                                         "Firmware=F1\nCapacity=1G\n";
    {
        ErrorCode e = err::kSuccess;
        std::unique_ptr<StoragePlatform> sim = NewSimStorage(dir.string(), e);
        ASSERT_NE(sim, nullptr) << e;
        SelectedStorage selected(*sim);
        ClearCandidateFactories();
        RegisterCommandInterfaces();
        BusDisk disk;
        disk.bus = bustype::kSata;
        disk.SetPath("SIM\\sata");

        InterfacePtr<clAta> ata = OpenAtaInterface(&disk);
        ASSERT_NE(ata, nullptr);
        EXPECT_TRUE(ata->IsA("clSatAta"));
        std::string model;
        ASSERT_TRUE(ata->GetModel(model));
        EXPECT_EQ(model.substr(0, 7), "SIMDISK");
        EXPECT_EQ(ata->SmartReturnStatus(), 0x4FC2);
        std::uint8_t smart[512];
        EXPECT_TRUE(ata->SmartReadData(smart));

        ScsiDiskInfo info;
        ASSERT_TRUE(FillScsiDiskInfo(info, OpenScsiInterface(&disk)));
        EXPECT_EQ(info.CapacityBytes(), 1ull << 30);
        ata.reset();
        info.scsi.reset();
        ClearCandidateFactories();
    }
    fs::remove_all(dir, ec);
}
#endif

} // namespace
} // namespace tvd
