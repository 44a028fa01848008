// The sysfs facts of the Linux back end against directory trees shaped like the kernel's for
// buses this machine does not have: SATA and PATA through libata, NVMe with and without
// multipath, USB storage, SAS, virtio, SD and MMC cards.
#include "storage/linux/linuxsysfs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "storage/linux/linuxmountinfo.h"
#include "storage/linux/linuxstorage.h"
#include "storage/linux/linuxtesttools.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;
using namespace linuxsys;

// A sysfs-like tree: devices under devices/, subsystem links into bus/ or class/.
class FakeSysfs {
public:
    std::string Path(const std::string& rel) const { return tmp_ / rel; }

    // A device directory with its subsystem link and, when given, its DEVTYPE.
    std::string Dev(const std::string& rel, const std::string& subsystem = "",
                    const std::string& devtype = "") {
        const std::string dir = Path(rel);
        fs::create_directories(dir);
        if (!subsystem.empty()) {
            fs::create_directories(Path("bus/" + subsystem));
            fs::create_directory_symlink(Path("bus/" + subsystem), dir + "/subsystem");
        }
        if (!devtype.empty()) Attr(rel, "uevent", "DEVTYPE=" + devtype + "\n");
        return dir;
    }
    void Attr(const std::string& rel, const std::string& name, const std::string& value) {
        fs::create_directories(fs::path(Path(rel + "/" + name)).parent_path());
        std::ofstream(Path(rel + "/" + name), std::ios::binary) << value;
    }
    void Link(const std::string& rel, const std::string& name, const std::string& targetRel) {
        fs::create_directory_symlink(Path(targetRel), Path(rel + "/" + name));
    }
    // A block disk below `parentRel`, with its device link to the parent.
    std::string Disk(const std::string& parentRel, const std::string& name,
                     const std::string& removable = "0") {
        const std::string rel = parentRel + "/block/" + name;
        Dev(rel, "block", "disk");
        Link(rel, "device", parentRel);
        Attr(rel, "removable", removable + "\n");
        Attr(rel, "size", "2048\n");
        return Path(rel);
    }
    // host / target / H:C:T:L below `parentRel`; returns the scsi_device's relative path.
    std::string ScsiStack(const std::string& parentRel, const std::string& hctl,
                          const std::string& vendor, const std::string& model) {
        const std::string host = parentRel + "/host" + hctl.substr(0, hctl.find(':'));
        const std::string target = host + "/target" + hctl.substr(0, hctl.rfind(':'));
        const std::string sdev = target + "/" + hctl;
        Dev(host, "scsi", "scsi_host");
        Dev(target, "scsi", "scsi_target");
        Dev(sdev, "scsi", "scsi_device");
        Attr(sdev, "vendor", vendor);
        Attr(sdev, "model", model);
        Attr(sdev, "rev", "1.0 \n");
        Attr(sdev, "type", "0\n");
        Attr(sdev, "queue_depth", "32\n");
        return sdev;
    }

private:
    test::TempDir tmp_;
};

// IDENTIFY DEVICE strings swap the bytes of each word.
std::string AtaWords(const std::string& s, std::size_t bytes) {
    std::string padded = s;
    padded.resize(bytes, ' ');
    for (std::size_t i = 0; i + 1 < bytes; i += 2)
        std::swap(padded[i], padded[i + 1]);
    return padded;
}

std::string AtaInfoPage(const std::string& model, const std::string& serial,
                        const std::string& fw) {
    std::string page(60 + 512, '\0');
    page[1] = char(0x89);
    page[2] = 0x02;
    page[3] = 0x38;
    page.replace(60 + 20, 20, AtaWords(serial, 20));
    page.replace(60 + 46, 8, AtaWords(fw, 8));
    page.replace(60 + 54, 40, AtaWords(model, 40));
    return page;
}

struct BusCase {
    const char* name;
    std::string (*build)(FakeSysfs&);
    std::uint32_t bus;
    const char* vendor;
    const char* product;
    const char* serial;
    const char* revision;
    const char* scsiAddress; // "" when the disk has none
};

const BusCase kBusCases[] = {
    {"SATA disk on AHCI",
     [](FakeSysfs& s) {
         s.Dev("devices/pci0000:00/0000:00:1f.2", "pci");
         s.Dev("devices/pci0000:00/0000:00:1f.2/ata1");
         s.Attr("devices/pci0000:00/0000:00:1f.2/ata1/link1/ata_link/link1", "sata_spd",
                "6.0 Gbps\n");
         const std::string sdev = s.ScsiStack("devices/pci0000:00/0000:00:1f.2/ata1", "0:0:0:0",
                                              "ATA     ", "Samsung SSD 860 ");
         s.Attr(sdev, "vpd_pg89",
                AtaInfoPage("Samsung SSD 860 EVO 500GB", "S3Z1NB0K123456", "RVT01B6Q"));
         return s.Disk(sdev, "sda");
     },
     bustype::kSata, "", "Samsung SSD 860 EVO 500GB", "S3Z1NB0K123456", "RVT01B6Q", "0:0:0:0"},
    {"PATA disk on a legacy IDE controller",
     [](FakeSysfs& s) {
         s.Dev("devices/pci0000:00/0000:00:01.1", "pci");
         s.Dev("devices/pci0000:00/0000:00:01.1/ata2");
         s.Attr("devices/pci0000:00/0000:00:01.1/ata2/link2/ata_link/link2", "sata_spd",
                "<unknown>\n");
         const std::string sdev = s.ScsiStack("devices/pci0000:00/0000:00:01.1/ata2", "1:0:1:0",
                                              "ATA     ", "QEMU HARDDISK   ");
         return s.Disk(sdev, "sdb");
     },
     bustype::kAta, "", "QEMU HARDDISK", "", "1.0", "1:0:1:0"},
    {"NVMe namespace without multipath",
     [](FakeSysfs& s) {
         s.Dev("devices/pci0000:00/0000:01:00.0", "pci");
         const std::string ctrl = "devices/pci0000:00/0000:01:00.0/nvme/nvme0";
         s.Dev(ctrl, "nvme");
         s.Attr(ctrl, "model", "WD Blue SN570 1TB                       \n");
         s.Attr(ctrl, "serial", "22123A456789        \n");
         s.Attr(ctrl, "firmware_rev", "234110WD\n");
         const std::string rel = ctrl + "/nvme0n1";
         s.Dev(rel, "block", "disk");
         s.Link(rel, "device", ctrl);
         return s.Path(rel);
     },
     bustype::kNvme, "", "WD Blue SN570 1TB", "22123A456789", "234110WD", ""},
    {"NVMe namespace head of a multipath subsystem",
     [](FakeSysfs& s) {
         s.Dev("devices/pci0000:00/0000:02:00.0", "pci");
         const std::string ctrl = "devices/pci0000:00/0000:02:00.0/nvme/nvme1";
         s.Dev(ctrl, "nvme");
         s.Attr(ctrl, "model", "QEMU NVMe Ctrl\n");
         s.Attr(ctrl, "serial", "deadbeef\n");
         const std::string subsys = "devices/virtual/nvme-subsystem/nvme-subsys1";
         s.Dev(subsys, "nvme-subsystem");
         s.Link(subsys, "nvme1", ctrl);
         const std::string rel = subsys + "/nvme1n1";
         s.Dev(rel, "block", "disk");
         s.Link(rel, "device", subsys);
         return s.Path(rel);
     },
     bustype::kNvme, "", "QEMU NVMe Ctrl", "deadbeef", "", ""},
    {"USB stick behind usb-storage",
     [](FakeSysfs& s) {
         s.Dev("devices/pci0000:00/0000:00:14.0", "pci");
         s.Dev("devices/pci0000:00/0000:00:14.0/usb2", "usb", "usb_device");
         const std::string dev = "devices/pci0000:00/0000:00:14.0/usb2/2-1";
         s.Dev(dev, "usb", "usb_device");
         s.Attr(dev, "serial", "4C530001230905117053\n");
         s.Attr(dev, "removable", "removable\n");
         s.Dev(dev + "/2-1:1.0", "usb", "usb_interface");
         const std::string sdev =
             s.ScsiStack(dev + "/2-1:1.0", "6:0:0:0", "SanDisk ", "Ultra           ");
         std::string pg80 = std::string("\0\x80\0\x04", 4) + "VPD1";
         s.Attr(sdev, "vpd_pg80", pg80);
         return s.Disk(sdev, "sdc", "1");
     },
     bustype::kUsb, "SanDisk", "Ultra", "4C530001230905117053", "1.0", "6:0:0:0"},
    {"SAS disk behind an expander",
     [](FakeSysfs& s) {
         s.Dev("devices/pci0000:00/0000:03:00.0", "pci");
         const std::string p = "devices/pci0000:00/0000:03:00.0/host2/port-2:0/end_device-2:0";
         s.Dev(p);
         const std::string sdev = s.ScsiStack(p, "2:0:3:0", "SEAGATE ", "ST4000NM0023    ");
         std::string pg80 = std::string("\0\x80\0\x08", 4) + "Z1Z0ABCD";
         s.Attr(sdev, "vpd_pg80", pg80);
         return s.Disk(sdev, "sdd");
     },
     bustype::kSas, "SEAGATE", "ST4000NM0023", "Z1Z0ABCD", "1.0", "2:0:3:0"},
    {"virtio-scsi disk",
     [](FakeSysfs& s) {
         s.Dev("devices/pci0000:00/0000:00:05.0", "pci");
         s.Dev("devices/pci0000:00/0000:00:05.0/virtio3", "virtio");
         const std::string sdev = s.ScsiStack("devices/pci0000:00/0000:00:05.0/virtio3", "1:0:0:2",
                                              "QEMU    ", "QEMU HARDDISK   ");
         return s.Disk(sdev, "sde");
     },
     bustype::kScsi, "QEMU", "QEMU HARDDISK", "", "1.0", "1:0:0:2"},
    {"virtio block disk",
     [](FakeSysfs& s) {
         s.Dev("devices/pci0000:00/0000:00:02.0", "pci");
         s.Dev("devices/pci0000:00/0000:00:02.0/virtio1", "virtio");
         const std::string d = s.Disk("devices/pci0000:00/0000:00:02.0/virtio1", "vda");
         s.Attr("devices/pci0000:00/0000:00:02.0/virtio1/block/vda", "serial", "vd-serial\n");
         return d;
     },
     bustype::kVirtual, "", "", "vd-serial", "", ""},
    {"SD card",
     [](FakeSysfs& s) {
         s.Dev("devices/pci0000:00/0000:00:1e.6", "pci");
         s.Dev("devices/pci0000:00/0000:00:1e.6/mmc_host/mmc0", "mmc_host");
         const std::string card = "devices/pci0000:00/0000:00:1e.6/mmc_host/mmc0/mmc0:aaaa";
         s.Dev(card, "mmc");
         s.Attr(card, "type", "SD\n");
         s.Attr(card, "name", "SC32G\n");
         s.Attr(card, "serial", "0x1234abcd\n");
         s.Attr(card, "fwrev", "0x0\n");
         return s.Disk(card, "mmcblk0", "1");
     },
     bustype::kSd, "", "SC32G", "0x1234abcd", "0x0", ""},
    {"eMMC",
     [](FakeSysfs& s) {
         const std::string card = "devices/platform/soc/mmc_host/mmc1/mmc1:0001";
         s.Dev(card, "mmc");
         s.Attr(card, "type", "MMC\n");
         s.Attr(card, "name", "DG4016\n");
         return s.Disk(card, "mmcblk1");
     },
     bustype::kMmc, "", "DG4016", "", "", ""},
    {"loop device",
     [](FakeSysfs& s) {
         s.Dev("devices/virtual/block/loop3", "block", "disk");
         s.Attr("devices/virtual/block/loop3/loop", "backing_file", "/tmp/disk.img\n");
         return s.Path("devices/virtual/block/loop3");
     },
     bustype::kFileBackedVirtual, "", "", "", "", ""},
};

TEST(LinuxSysfs, BusTypeIdentityAndScsiAddress) {
    for (const BusCase& c : kBusCases) {
        SCOPED_TRACE(c.name);
        FakeSysfs sys;
        const std::string disk = c.build(sys);
        EXPECT_EQ(BusTypeOfDisk(disk), c.bus);
        const DiskIdentity id = IdentifyDisk(disk);
        EXPECT_EQ(id.busType, c.bus);
        EXPECT_EQ(id.vendor, c.vendor);
        EXPECT_EQ(id.product, c.product);
        EXPECT_EQ(id.serial, c.serial);
        EXPECT_EQ(id.revision, c.revision);
        ScsiAddress a;
        const ErrorCode e = ScsiAddressOf(disk, a);
        if (*c.scsiAddress == 0) {
            EXPECT_EQ(e, err::kNotSupported);
        } else {
            ASSERT_EQ(e, err::kSuccess);
            const std::string got = std::to_string(a.portNumber) + ":" + std::to_string(a.pathId) +
                                    ":" + std::to_string(a.targetId) + ":" + std::to_string(a.lun);
            EXPECT_EQ(got, c.scsiAddress);
        }
    }
}

TEST(LinuxSysfs, UdevRecordCompletesCutOffModelsAndMissingSerials) {
    const std::string record =
        "S:disk/by-id/ata-x\n"
        "E:ID_MODEL=Samsung_SSD_860_EVO_500GB\n"
        "E:ID_MODEL_ENC=Samsung\\x20SSD\\x20860\\x20EVO\\x20500GB\\x20\\x20\n"
        "E:ID_SERIAL_SHORT=S3Z1NB0K123456\n";
    DiskIdentity cut;
    cut.product = "Samsung SSD 860";
    MergeUdevRecord(record, cut);
    EXPECT_EQ(cut.product, "Samsung SSD 860 EVO 500GB");
    EXPECT_EQ(cut.serial, "S3Z1NB0K123456");

    DiskIdentity other;
    other.product = "Ultra";
    other.serial = "from sysfs";
    MergeUdevRecord(record, other);
    EXPECT_EQ(other.product, "Ultra"); // another model, not a longer form of this one
    EXPECT_EQ(other.serial, "from sysfs");

    DiskIdentity none;
    MergeUdevRecord("", none);
    MergeUdevRecord("E:ID_SERIAL_SHORT", none);
    EXPECT_TRUE(none.serial.empty());
    EXPECT_TRUE(none.product.empty());
}

TEST(LinuxSysfs, MultipathNvmeLeadsToTheControllerOnPci) {
    FakeSysfs sys;
    const std::string disk = kBusCases[3].build(sys);
    EXPECT_EQ(AncestorOfSubsystem(HardwareDir(disk), "pci"),
              Canonical(sys.Path("devices/pci0000:00/0000:02:00.0")));
}

TEST(LinuxSysfs, HotplugInfo) {
    struct Case {
        std::size_t busCase;
        std::uint8_t expect[8];
    };
    const Case cases[] = {
        {0, {8, 0, 0, 0, 0, 0, 0, 0}}, // SATA, fixed
        {4, {8, 0, 0, 0, 1, 1, 1, 0}}, // USB stick: removable medium on a hot-plug bus
        {8, {8, 0, 0, 0, 1, 1, 0, 0}}, // SD card in a built-in reader
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(kBusCases[c.busCase].name);
        FakeSysfs sys;
        std::uint8_t info[8];
        HotplugInfoOf(kBusCases[c.busCase].build(sys), info);
        EXPECT_EQ(0, std::memcmp(info, c.expect, 8));
    }
    // An NVMe drive behind a Thunderbolt port is marked removable by the PCI layer.
    FakeSysfs sys;
    const std::string disk = kBusCases[2].build(sys);
    sys.Attr("devices/pci0000:00/0000:01:00.0", "removable", "removable\n");
    std::uint8_t info[8];
    HotplugInfoOf(disk, info);
    EXPECT_EQ(info[6], 1);
}

TEST(LinuxSysfs, ScsiAddressBeyondByteRangeIsRefused) {
    FakeSysfs sys;
    const std::string disk =
        sys.Disk(sys.ScsiStack("devices/platform/host300", "300:0:0:0", "X", "Y"), "sdf");
    ScsiAddress a;
    EXPECT_EQ(ScsiAddressOf(disk, a), err::kInvalidData);
}

TEST(LinuxSysfs, WhichBlockDevicesAreDisks) {
    FakeSysfs sys;
    sys.Dev("devices/pci0000:00/0000:00:02.0/virtio1", "virtio");
    const std::string vdb = sys.Disk("devices/pci0000:00/0000:00:02.0/virtio1", "vdb");
    const std::string sdev =
        sys.ScsiStack("devices/pci0000:00/0000:00:1f.2", "3:0:0:0", "HL", "DVD");
    sys.Attr(sdev, "type", "5\n");
    const std::string sr0 = sys.Disk(sdev, "sr0");
    const std::string optMem =
        sys.ScsiStack("devices/pci0000:00/0000:00:1f.3", "4:0:0:0", "A", "MO");
    sys.Attr(optMem, "type", "7\n");
    const std::string sdm = sys.Disk(optMem, "sdm");
    auto virt = [&](const std::string& name) {
        sys.Dev("devices/virtual/block/" + name, "block", "disk");
        return sys.Path("devices/virtual/block/" + name);
    };
    const std::string loopBacked = virt("loop0");
    sys.Attr("devices/virtual/block/loop0/loop", "backing_file", "/img\n");
    const std::string loopFree = virt("loop1");
    const std::string hiddenPath = sys.Disk("devices/pci0000:00/0000:00:02.0/virtio1", "nvme0c0n1");
    const std::string hiddenAttr = sys.Disk("devices/pci0000:00/0000:00:02.0/virtio1", "xvq");
    sys.Attr("devices/pci0000:00/0000:00:02.0/virtio1/block/xvq", "hidden", "1\n");
    const std::string boot = sys.Disk("devices/pci0000:00/0000:00:02.0/virtio1", "mmcblk0boot0");
    sys.Dev("devices/pci0000:00/0000:00:02.0/virtio1/block/vdb/vdb1", "block", "partition");
    sys.Attr("devices/pci0000:00/0000:00:02.0/virtio1/block/vdb/vdb1", "partition", "1\n");
    const struct {
        std::string dir;
        DiskKind kind;
    } cases[] = {
        {vdb, DiskKind::kPhysical},       {sdm, DiskKind::kPhysical},
        {sr0, DiskKind::kNone},           {loopBacked, DiskKind::kLoop},
        {loopFree, DiskKind::kNone},      {virt("zram0"), DiskKind::kNone},
        {virt("ram0"), DiskKind::kNone},  {virt("dm-0"), DiskKind::kNone},
        {virt("md127"), DiskKind::kNone}, {virt("nbd0"), DiskKind::kNone},
        {virt("odd0"), DiskKind::kNone},  {hiddenPath, DiskKind::kNone},
        {hiddenAttr, DiskKind::kNone},    {boot, DiskKind::kNone},
        {vdb + "/vdb1", DiskKind::kNone},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyDisk(c.dir), c.kind) << c.dir;
}

// Enumeration reads class and bus lists itself: each relative link must lead where the kernel's
// resolution (here the C++ library's canonical path) leads, and parents skip plain folders.
TEST(LinuxSysfs, ListedDevicesResolveLikeCanonicalPaths) {
    FakeSysfs sys;
    const std::string nvme =
        sys.Dev("devices/pci0000:00/0000:00:04.0/nvme/nvme0/nvme0n1", "block", "disk");
    const std::string sda = sys.Disk("devices/pci0000:00/0000:00:1f.2/ata1/host0", "sda");
    const std::string part =
        sys.Dev("devices/pci0000:00/0000:00:1f.2/ata1/host0/block/sda/sda1", "block", "partition");
    const std::string loop = sys.Dev("devices/virtual/block/loop0", "block", "disk");
    fs::create_directories(sys.Path("class/block"));
    const struct {
        const char* name;
        std::string target;
    } links[] = {
        {"sda", "../../devices/pci0000:00/0000:00:1f.2/ata1/host0/block/sda"},
        {"sda1", "../../devices/pci0000:00/0000:00:1f.2/ata1/host0/block/sda/sda1"},
        {"nvme0n1", "../../devices/pci0000:00/0000:00:04.0/nvme/nvme0/nvme0n1"},
        {"loop0", "../../devices/virtual/block/loop0"},
    };
    for (const auto& l : links)
        fs::create_directory_symlink(l.target, sys.Path("class/block/") + l.name);
    std::ofstream(sys.Path("class/block/not-a-link")) << "x";

    const std::vector<std::string> listed = ListedDevices(sys.Path("class/block"));
    std::vector<std::string> expected;
    for (const auto& l : links)
        expected.push_back(fs::canonical(sys.Path("class/block/") + l.name).string());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(ResolveLink(sys.Path("class/block"), "not-a-link"), "");
    EXPECT_EQ(ResolveLink(sys.Path("class/block"), "missing"), "");

    // ata1 has no uevent in this tree, so host0's parent device is the PCI function.
    sys.Attr("devices/pci0000:00/0000:00:1f.2", "uevent", "PCI_ID=8086:2922\n");
    sys.Attr("devices/pci0000:00/0000:00:1f.2/ata1/host0", "uevent", "DEVTYPE=scsi_host\n");
    EXPECT_EQ(ParentDevice(part), sda);
    EXPECT_EQ(ParentDevice(sda), sys.Path("devices/pci0000:00/0000:00:1f.2/ata1/host0"));
    EXPECT_EQ(ParentDevice(sys.Path("devices/pci0000:00/0000:00:1f.2/ata1/host0")),
              sys.Path("devices/pci0000:00/0000:00:1f.2"));
    EXPECT_EQ(UeventValue(part, "DEVTYPE"), "partition");
    EXPECT_EQ(UeventValue(nvme, "DEVNAME"), "");
    (void)loop;
}

TEST(LinuxSysfs, MappedVolumes) {
    FakeSysfs sys;
    auto mapped = [&](const std::string& name, const char* size, bool slave) {
        const std::string rel = "devices/virtual/block/" + name;
        sys.Dev(rel, "block", "disk");
        sys.Attr(rel, "size", size);
        fs::create_directories(sys.Path(rel + "/slaves"));
        if (slave) sys.Link(rel + "/slaves", "sda1", "devices/virtual/block");
        return sys.Path(rel);
    };
    EXPECT_TRUE(IsMappedVolume(mapped("dm-0", "2048\n", true)));
    EXPECT_TRUE(IsMappedVolume(mapped("md0", "2048\n", true)));
    EXPECT_FALSE(IsMappedVolume(mapped("dm-1", "2048\n", false))); // nothing below it
    EXPECT_FALSE(IsMappedVolume(mapped("md1", "0\n", true)));      // inactive array
    EXPECT_FALSE(IsMappedVolume(mapped("sdz", "2048\n", true)));
}

TEST(LinuxSysfs, PciLink) {
    EXPECT_EQ(PcieGeneration("2.5 GT/s PCIe"), 1);
    EXPECT_EQ(PcieGeneration("5.0 GT/s PCIe"), 2);
    EXPECT_EQ(PcieGeneration("5 GT/s"), 2);
    EXPECT_EQ(PcieGeneration("8.0 GT/s PCIe"), 3);
    EXPECT_EQ(PcieGeneration("16.0 GT/s PCIe"), 4);
    EXPECT_EQ(PcieGeneration("32.0 GT/s PCIe"), 5);
    EXPECT_EQ(PcieGeneration("64.0 GT/s PCIe"), 6);
    for (const char* bad : {"", "Unknown", "2.4 GT/s", "25 GT/s", "99999999999999 GT/s"})
        EXPECT_EQ(PcieGeneration(bad), 0) << bad;

    struct Case {
        const char *maxSpeed, *maxWidth, *curSpeed, *curWidth;
        ErrorCode error;
        PciLinkInfo expect;
    };
    const Case cases[] = {
        {"8.0 GT/s PCIe", "4", "2.5 GT/s PCIe", "1", err::kSuccess, {3, 4, 1, 1}},
        {"16.0 GT/s PCIe", "16", "16.0 GT/s PCIe", "x16", err::kSuccess, {4, 16, 4, 16}},
        {"8.0 GT/s PCIe", "4", "Unknown", "0", err::kInvalidData, {}},
        {"8.0 GT/s PCIe", "4", nullptr, "4", kNotFound, {}},
        {"8.0 GT/s PCIe", "wide", "8.0 GT/s PCIe", "4", err::kInvalidData, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maxSpeed + std::string("/") + (c.curSpeed ? c.curSpeed : "-"));
        FakeSysfs sys;
        const std::string dev = sys.Dev("devices/pci0000:00/0000:01:00.0", "pci");
        sys.Attr("devices/pci0000:00/0000:01:00.0", "max_link_speed", c.maxSpeed);
        sys.Attr("devices/pci0000:00/0000:01:00.0", "max_link_width", c.maxWidth);
        if (c.curSpeed)
            sys.Attr("devices/pci0000:00/0000:01:00.0", "current_link_speed", c.curSpeed);
        sys.Attr("devices/pci0000:00/0000:01:00.0", "current_link_width", c.curWidth);
        PciLinkInfo link;
        EXPECT_EQ(ReadPciLink(dev, link), c.error);
        if (c.error == err::kSuccess) {
            EXPECT_EQ(link.maxSpeed, c.expect.maxSpeed);
            EXPECT_EQ(link.maxWidth, c.expect.maxWidth);
            EXPECT_EQ(link.currentSpeed, c.expect.currentSpeed);
            EXPECT_EQ(link.currentWidth, c.expect.currentWidth);
        }
    }
}

TEST(LinuxMountInfo, ParsesEscapesAndOptionalFields) {
    const char* text =
        "22 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
        "40 22 259:2 / /mnt/with\\040space\\011tab rw master:3 shared:9 - vfat /dev/loop0p5 rw\n"
        "41 22 259:2 /sub /srv/back\\134slash rw - vfat /dev/loop0p5 rw\n"
        "42 22 0:33 / /data rw - btrfs /dev/mapper/my\\040vol rw\n"
        "garbage line\n"
        "43 22 x:y / /bad rw - ext4 /dev/sdz rw\n"
        "44 22 8:1 / /no-separator rw ext4 /dev/sda1 rw\n"
        "45 22 259:2 / /mnt/with\\040space\\011tab rw - vfat /dev/loop0p5 rw\n";
    const auto mounts = ParseMountInfo(text);
    ASSERT_EQ(mounts.size(), 5u);
    EXPECT_EQ(mounts[1].mountPoint, "/mnt/with space\ttab");
    EXPECT_EQ(mounts[1].fsType, "vfat");
    EXPECT_EQ(mounts[1].source, "/dev/loop0p5");
    EXPECT_EQ(mounts[2].root, "/sub");
    EXPECT_EQ(mounts[2].mountPoint, "/srv/back\\slash");
    EXPECT_EQ(MountPointsOf(mounts, 259, 2, ""),
              (std::vector<std::string>{"/mnt/with space\ttab", "/srv/back\\slash"}));
    EXPECT_EQ(MountPointsOf(mounts, 253, 0, "/dev/mapper/my vol"),
              (std::vector<std::string>{"/data"}));
    EXPECT_TRUE(MountPointsOf(mounts, 8, 1, "").empty());
    EXPECT_EQ(UnescapeMountField("a\\04"), "a\\04");     // cut short: left as it is
    EXPECT_EQ(UnescapeMountField("a\\777b"), "a\\777b"); // beyond a byte: left as it is
    EXPECT_EQ(UnescapeMountField("\\134\\040"), "\\ ");
}

TEST(LinuxEvents, UeventsBecomePortableEvents) {
    using K = DeviceEvent::Kind;
    struct Case {
        const char* name;
        UeventFacts facts;
        bool includeLoop;
        std::vector<K> kinds;
    };
    const std::vector<Case> cases = {
        {"disk added", {"add", "block", "disk", "sdb", "/dev/sdb"}, false, {K::kInterfaceArrival}},
        {"partition removed, key known",
         {"remove", "block", "partition", "sdb1", "/dev/sdb1", false, false, 7},
         false,
         {K::kInterfaceRemoved, K::kNodeRemoved}},
        {"disk removed, never seen",
         {"remove", "block", "disk", "sdb", "/dev/sdb"},
         false,
         {K::kInterfaceRemoved}},
        {"medium changed",
         {"change", "block", "disk", "sdb", "/dev/sdb", true},
         false,
         {K::kNodesChanged}},
        {"plain change", {"change", "block", "disk", "sdb", "/dev/sdb"}, false, {}},
        {"USB device added",
         {"add", "usb", "usb_device", "1-2", "/dev/bus/usb/001/003"},
         false,
         {K::kInterfaceArrival}},
        {"USB device without node removed",
         {"remove", "usb", "usb_device", "1-2", "", false, false, 9},
         false,
         {K::kNodeRemoved}},
        {"USB interface", {"add", "usb", "usb_interface", "1-2:1.0", ""}, false, {}},
        {"other subsystem", {"add", "net", "", "eth0", ""}, false, {}},
        {"loop bound",
         {"change", "block", "disk", "loop0", "/dev/loop0", false, true},
         true,
         {K::kInterfaceArrival}},
        {"loop unbound",
         {"change", "block", "disk", "loop0", "/dev/loop0", true, false, 3},
         true,
         {K::kInterfaceRemoved, K::kNodeRemoved}},
        {"loop not listed",
         {"change", "block", "disk", "loop0", "/dev/loop0", false, true},
         false,
         {}},
        {"loop partition not listed",
         {"add", "block", "partition", "loop0p1", "/dev/loop0p1"},
         false,
         {}},
        {"loop partition listed",
         {"add", "block", "partition", "loop0p1", "/dev/loop0p1"},
         true,
         {K::kInterfaceArrival}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<DeviceEvent> events;
        MapUevent(c.facts, c.includeLoop, events);
        std::vector<K> kinds;
        for (const DeviceEvent& e : events) {
            kinds.push_back(e.kind);
            if (e.kind == K::kInterfaceArrival || e.kind == K::kInterfaceRemoved) {
                EXPECT_EQ(e.path, c.facts.devnode);
            }
            if (e.kind == K::kNodeRemoved) {
                EXPECT_EQ(e.devInst, c.facts.devInst);
            }
        }
        EXPECT_EQ(kinds, c.kinds);
    }
}

} // namespace
} // namespace tvd
