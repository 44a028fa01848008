#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "clone/clclonesourcedisk.h"
#include "clone/clclonetargetdisk.h"
#include "drive/fundiskdescutil.h"
#include "drive/fundisksutil.h"
#include "drive/kernelfun.h"
#include "shell/diskinfoframeutil.h"
#include "storage/deviceregistry.h"
#include "storage/storageplatform.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;

// A folder of simulated drives, selected as the storage back end, with the kernel's disk bus
// started over it.
class DiskRegistryBus : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ =
            fs::temp_directory_path() /
            ("tvd-fundisks-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        FunDiskBusStop();
        FunDisksSetHandlers({});
        SelectStorage(nullptr);
        sim_.reset();
        fs::remove_all(folder_);
    }
    void Drive(const std::string& name, const std::string& body) {
        std::ofstream(folder_ / (name + ".drive")) << "[Drive]\n" << body << "\n";
    }
    void Start() {
        ErrorCode e = err::kSuccess;
        sim_ = NewSimStorage(folder_.string(), e);
        ASSERT_TRUE(sim_) << e;
        SelectStorage(sim_.get());
        FunDisksSetHandlers({[this](clFunDisk* fd) { added_.push_back(Name(fd)); },
                             [this](clFunDisk* fd) { removed_.push_back(Name(fd)); }});
        ASSERT_TRUE(FunDiskBusStart(nullptr));
        FunDiskBusPoll();
    }
    void Patch(const std::string& name, std::uint64_t offset, std::uint32_t value) {
        std::fstream f(folder_ / (name + ".img"), std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(std::streamoff(offset));
        const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
        f.write(bytes, 4);
    }
    static std::string Name(clFunDisk* fd) {
        const std::string* m = GetModel(fd);
        return m ? *m : std::string("?");
    }
    std::map<std::string, clFunDisk*> ByModel() {
        std::map<std::string, clFunDisk*> out;
        for (clFunDisk* fd = FunDisksFirst(); fd; fd = FunDisksNext(fd))
            out[Name(fd)] = fd;
        return out;
    }

    fs::path folder_;
    std::unique_ptr<StoragePlatform> sim_;
    std::vector<std::string> added_, removed_;
};

TEST_F(DiskRegistryBus, WrapsServedDisksOnly) {
    Drive("a-sata", "Model=Sata Disk\nBus=SATA\nCapacity=2G");
    Drive("b-nvme", "Model=Nvme Disk\nBus=NVMe\nCapacity=4G");
    Drive("c-usbfixed", "Model=Usb Enclosure\nSerial=ENC-77\nBus=USB\nRemovable=0");
    Drive("d-stick", "Model=Usb Stick\nBus=USB\nRemovable=1");
    Drive("e-sas", "Model=Sas Disk\nBus=SAS");
    Drive("f-virtual", "Model=Virtual Disk\nBus=Virtual");
    Drive("g-4k", "Model=Big Sectors\nBus=SATA\nSectorSize=4096");
    Drive("h-sd", "Model=Sd Card\nBus=SD");
    ASSERT_NO_FATAL_FAILURE(Start());

    auto disks = ByModel();
    std::vector<std::string> names;
    for (auto& [name, fd] : disks)
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"Big Sectors", "Nvme Disk", "Sata Disk", "Sd Card",
                                               "Usb Enclosure"}));
    EXPECT_EQ(added_.size(), 5u);

    struct Expect {
        const char* model;
        bool solid, source, target;
        std::uint64_t size;
    } rows[] = {
        {"Sata Disk", false, true, true, 2ull << 30},
        {"Nvme Disk", true, true, true, 4ull << 30},
        {"Sd Card", true, true, true, 1ull << 30},
        {"Big Sectors", false, false, false, 1ull << 30}, // only 512-byte sectors clone
    };
    for (const Expect& r : rows) {
        clFunDisk* fd = disks[r.model];
        ASSERT_NE(fd, nullptr) << r.model;
        EXPECT_EQ(fd->solidState, r.solid) << r.model;
        EXPECT_EQ(fd->cloneSource, r.source) << r.model;
        EXPECT_EQ(fd->cloneTarget, r.target) << r.model;
        EXPECT_EQ(fd->sizeBytes, r.size) << r.model;
        EXPECT_EQ(GetSectorCount(fd), r.size / fd->bytesPerSector) << r.model;
        EXPECT_NE(fd->diskNumber, kNoDiskNumber) << r.model;
    }
    // Every wrapped disk that has SMART gets it monitored from the start.
    EXPECT_NE(disks["Sata Disk"]->smart.smart, nullptr);
    EXPECT_NE(disks["Nvme Disk"]->smart.smart, nullptr);
    EXPECT_EQ(disks["Sd Card"]->smart.smart, nullptr);
    EXPECT_NE(disks["Sata Disk"]->ata, nullptr);
    EXPECT_EQ(disks["Sata Disk"]->nvme, nullptr);
    EXPECT_NE(disks["Nvme Disk"]->nvme, nullptr);
    EXPECT_TRUE(IsUsb(disks["Usb Enclosure"]));
    // A bridge without ATA pass-through: the serial comes from the storage descriptor.
    EXPECT_EQ(disks["Usb Enclosure"]->ata, nullptr);
    ASSERT_NE(GetSerial(disks["Usb Enclosure"]), nullptr);
    EXPECT_EQ(*GetSerial(disks["Usb Enclosure"]), "ENC-77");
    EXPECT_EQ(GetSerial(disks["Sd Card"]), nullptr); // not on USB: no descriptor fallback
}

TEST_F(DiskRegistryBus, OrderByNumberKeepsArrivalAmongEquals) {
    Drive("a", "Model=A");
    Drive("b", "Model=B");
    Drive("c", "Model=C");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(FunDisksCount(), 3u);
    clFunDisk* first = FunDisksFirst();
    clFunDisk* second = FunDisksNext(first);
    clFunDisk* third = FunDisksNext(second);
    // Force numbers: 7, 3, 3; the earlier of the two 3s comes first, the next above 3 is 7.
    first->diskNumber = 7;
    second->diskNumber = 3;
    third->diskNumber = 3;
    EXPECT_EQ(FunDisksLowest(), second);
    EXPECT_EQ(FunDisksNextAbove(3), first);
    EXPECT_EQ(FunDisksNextAbove(7), nullptr);
    // Full width: 259 is not disk 3.
    third->diskNumber = 259;
    EXPECT_EQ(FunDisksNextAbove(7), third);
}

TEST_F(DiskRegistryBus, RemovedDriveIsUnwrappedOnceAndNeverTouchedAgain) {
    Drive("a", "Model=Stays");
    Drive("b", "Model=Leaves\nBus=NVMe");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(FunDisksCount(), 2u);
    ZoltRef<clFunDisk> held(ByModel()["Leaves"]); // a job still holds it
    ASSERT_TRUE(held);

    fs::remove(folder_ / "b.drive");
    for (int i = 0; i < 3; ++i)
        FunDiskBusPoll();
    EXPECT_EQ(removed_, std::vector<std::string>{"Leaves"});
    EXPECT_EQ(FunDisksCount(), 1u);
    EXPECT_TRUE(held->Detached());
    EXPECT_EQ(held->nvme, nullptr);
    EXPECT_EQ(held->smart.smart, nullptr);
    EXPECT_EQ(GetWwnText(held.Get()), ""); // a query: nothing to ask any more
    EXPECT_EQ(GetNvmeVendorId(held.Get()), 0);
    EXPECT_FALSE(IsUsb(held.Get()));
    EXPECT_EQ(*GetModel(held.Get()), "Leaves");  // texts known before stay
    EXPECT_EQ(GetFirmware(held.Get()), nullptr); // never asked before: none now

    // Back again: a new entry, announced once.
    Drive("b", "Model=Leaves\nBus=NVMe");
    // The device layer rescans after a pending-refresh countdown.
    for (int i = 0; i < 2 * DeviceRegistry::kRefreshTicks && FunDisksCount() < 2; ++i)
        FunDiskBusPoll();
    EXPECT_EQ(FunDisksCount(), 2u);
    EXPECT_EQ(added_.size(), 3u);
}

TEST_F(DiskRegistryBus, PartitionsAreReadOnRequestAndDropped) {
    Drive("a", "Model=Parted\nCapacity=1G\nLayout=mbr:100M/07,200M/0C,rest/83");
    ASSERT_NO_FATAL_FAILURE(Start());
    clFunDisk* fd = FunDisksFirst();
    ASSERT_NE(fd, nullptr);
    EXPECT_EQ(fd->partitions, nullptr);
    const PartitionSnapshot* s = GetPartitions(fd);
    ASSERT_NE(s, nullptr);
    int partitions = 0;
    for (const PartitionSnapshotEntry& e : s->entries)
        partitions += e.partitionNumber > 0;
    EXPECT_EQ(partitions, 3);
    EXPECT_FALSE(HasWindowsPartition(fd));
    // No mounted volume: nothing measured, and the outputs stay as they were.
    std::uint64_t total = 7, free = 9;
    EXPECT_FALSE(GetVolumeSpace(fd, total, free));
    EXPECT_EQ(total, 7u);
    EXPECT_EQ(free, 9u);
    FunDisksDropPartitions();
    EXPECT_EQ(fd->partitions, nullptr);
}

// Letters exist on Windows only: there the lettered volumes of a disk are summed from what the
// back end reports, elsewhere a simulated letter measures nothing.
TEST_F(DiskRegistryBus, VolumeSpaceSumsTheLetteredVolumes) {
    Drive("a", "Model=Two\nCapacity=1G\nLayout=mbr:100M/07,200M/07,rest/07\n"
               "Letters=1:E,2:F\nFree=1:60M,2:20M");
    Drive("b", "Model=Overfull\nCapacity=256M\nLayout=mbr:100M/07\nLetters=1:G\nFree=1:2G");
    Drive("c", "Model=Unlettered\nCapacity=256M\nLayout=mbr:100M/07");
    ASSERT_NO_FATAL_FAILURE(Start());
    struct Row {
        const char* model;
        bool measured;
        std::uint64_t total, free;
        int fillWidth;
    };
#ifdef _WIN32
    constexpr std::uint64_t M = 1u << 20;
    const Row rows[] = {
        {"Two", true, 300 * M, 80 * M, 498},      // 220 of 300 used: 73.3 % of 680 pixels, cut
        {"Overfull", true, 100 * M, 2048 * M, 0}, // free above total: nothing used
        {"Unlettered", false, 0, 0, 0},
    };
#else
    const Row rows[] = {
        {"Two", false, 0, 0, 0},
        {"Overfull", false, 0, 0, 0},
        {"Unlettered", false, 0, 0, 0},
    };
#endif
    auto disks = ByModel();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.model);
        clFunDisk* fd = disks[r.model];
        ASSERT_NE(fd, nullptr);
        std::uint64_t total = 0, free = 0;
        EXPECT_EQ(GetVolumeSpace(fd, total, free), r.measured);
        EXPECT_EQ(total, r.total);
        EXPECT_EQ(free, r.free);
        const CapacityBarView bar = ReadCapacityBar(fd);
        EXPECT_EQ(bar.visible, r.measured);
        EXPECT_EQ(bar.fillWidth, r.fillWidth);
    }
}

TEST_F(DiskRegistryBus, DescriptorsAndTheDriveOwnSettings) {
    Drive("a", "Model=Settled Disk\nSerial=SD-42\nFirmware=FW9\nBus=SATA\nTrim=1");
    SetFunDiskSettingsFolder({});
    ASSERT_NO_FATAL_FAILURE(Start());
    clFunDisk* fd = FunDisksFirst();
    ASSERT_NE(fd, nullptr);
    ASSERT_NE(GetFirmware(fd), nullptr);
    EXPECT_EQ(*GetFirmware(fd), "FW9");
    ASSERT_NE(GetBusText(fd), nullptr);
    EXPECT_EQ(GetBusText(fd)->rfind("SATA", 0), 0u) << *GetBusText(fd);
    EXPECT_EQ(DisplayNameShort(fd), "Settled Disk | " + *GetBusText(fd));
    const std::string* key = GetConfigKey(fd);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->find_first_of("/\\:"), std::string::npos) << *key;
    const std::int32_t health = fd->smart.health;
    ASSERT_GT(health, 0);
    EXPECT_EQ(fd->smart.HealthState, healthstate::kGood);
    EXPECT_EQ(GetConfigPath(fd), ""); // no settings folder yet
    const std::string keyText = *key;
    FunDiskBusStop();

    // A warning level above the drive's health, in the drive's own file, makes it a caution.
    SetFunDiskSettingsFolder(folder_.string());
    std::ofstream(folder_ / (keyText + ".ini"))
        << "[Smart]\nHealthWarning=" << health << "\nHealthBad=1\n";
    ASSERT_TRUE(FunDiskBusStart(nullptr));
    FunDiskBusPoll();
    fd = FunDisksFirst();
    ASSERT_NE(fd, nullptr);
    EXPECT_EQ(GetConfigPath(fd), (folder_ / (keyText + ".ini")).string());
    EXPECT_EQ(fd->smart.healthWarning, health);
    EXPECT_EQ(fd->smart.HealthState, healthstate::kCaution);
    SetFunDiskSettingsFolder({});
}

// USB disks: the link comes from the hub's connection record, the settings key from the
// device's string descriptors when the drive itself names no model and serial.
TEST_F(DiskRegistryBus, UsbLinkAndKeyFromTheHub) {
    Drive("fast", "Model=Fast Box\nSerial=F1\nBus=USB\n[Usb]\nLink=3.0\nBridge=asmedia\n[Ata]");
    Drive("slow", "Model=Slow Stick\nSerial=\nBus=USB\n[Usb]\nLink=1.1\nManufacturer=Acme\n"
                  "Product=Stick\nSerial=U-7");
    Drive("high", "Model=High Stick\nSerial=\nBus=USB\n[Usb]\nLink=2.0\nSerial=H-2");
    ASSERT_NO_FATAL_FAILURE(Start());
    auto disks = ByModel();
    ASSERT_EQ(disks.size(), 3u);
    struct Case {
        const char* model;
        const char* bus;
        const char* key;
    } cases[] = {
        {"Fast Box", "USB 3.0", "DISK_Fast Box_F1"}, // the drive behind the bridge names it
        {"Slow Stick", "USB", "USB_Acme_Stick_U-7"}, // a full-speed link shows no version
        {"High Stick", "USB 2.0", "USB_USB Mass Storage Device_H-2"},
    };
    for (const Case& c : cases) {
        clFunDisk* fd = disks[c.model];
        ASSERT_NE(fd, nullptr) << c.model;
        ASSERT_NE(GetBusText(fd), nullptr) << c.model;
        EXPECT_EQ(*GetBusText(fd), c.bus) << c.model;
        ASSERT_NE(GetConfigKey(fd), nullptr) << c.model;
        EXPECT_EQ(*GetConfigKey(fd), c.key) << c.model;
    }
}

TEST_F(DiskRegistryBus, SimulatedSystemDiskIsNoCloneTarget) {
    Drive("a-data", "Model=Data Disk\nCapacity=2G");
    Drive("b-system", "Model=System Disk\nCapacity=2G\nSystemDisk=1");
    Start();
    auto disks = ByModel();
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(FunDisksSystemDisk(), disks["System Disk"]->disk);
    EXPECT_FALSE(disks["System Disk"]->cloneTarget);
    EXPECT_TRUE(disks["Data Disk"]->cloneTarget);

    // A new target signature is none of the present disks'.
    Patch("a-data", 440, 0xA1A1A1A1);
    Patch("b-system", 440, 0xB2B2B2B2);
    clCloneSourceDisk source;
    source.signature = 0xC3C3C3C3;
    clCloneTargetDisk target;
    target.AvoidPresentSignatures(&source);
    std::sort(target.avoidSignatures.begin(), target.avoidSignatures.end());
    EXPECT_EQ(target.avoidSignatures,
              (std::vector<std::uint32_t>{0xA1A1A1A1, 0xB2B2B2B2, 0xC3C3C3C3}));
}

TEST(FunDiskRegistry, WithoutRegistryNothingHappens) {
    EXPECT_FALSE(FunDisksExists());
    EXPECT_FALSE(FunDisksAdd(nullptr));
    EXPECT_FALSE(FunDisksRemove(nullptr));
    EXPECT_EQ(FunDisksFirst(), nullptr);
    EXPECT_EQ(FunDisksLowest(), nullptr);
    EXPECT_EQ(FunDiskCreate(nullptr), nullptr);
    EXPECT_EQ(GetModel(nullptr), nullptr);
    EXPECT_EQ(GetSectorCount(nullptr), 0u);
    CloseHandles(nullptr);
}

TEST(KernelBitLocker, SignatureAtBytes3To10) {
    std::vector<std::uint8_t> sector(512, 0);
    std::memcpy(sector.data() + 3, "-FVE-FS-", 8);
    EXPECT_TRUE(IsBitLockerSector(sector));
    std::memcpy(sector.data() + 3, "NTFS    ", 8);
    EXPECT_FALSE(IsBitLockerSector(sector));
    EXPECT_FALSE(IsBitLockerSector(ByteView(sector).first(10)));
}

} // namespace
} // namespace tvd
