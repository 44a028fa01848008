#include "storage/sim/simstorage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "foundation/inibufutila.h"
#include "storage/cldevicelist.h"
#include "storage/deviceregistry.h"
#include "storage/partitiontableutil.h"
#include "storage/sim/simlayout.h"
#include "storage/partitionimage.h"
#include "storage/simfolder.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;
using Kind = DeviceEvent::Kind;

using test::SimFolder;

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>(seed + i * 7);
    return v;
}

std::unique_ptr<SimStorage> Sim(const SimFolder& folder) {
    ErrorCode e = err::kGenFailure;
    auto sim = SimStorage::Create(folder.Path(), e);
    EXPECT_EQ(e, err::kSuccess);
    return sim;
}

std::vector<PresentDevice> Devices(SimStorage& sim, DeviceClass cls) {
    std::vector<PresentDevice> out;
    EXPECT_EQ(sim.EnumerateClass(cls, out), err::kSuccess);
    return out;
}

std::uint32_t DevInstOf(SimStorage& sim, DeviceClass cls, const std::string& path) {
    for (const PresentDevice& d : Devices(sim, cls))
        if (d.interfacePath == path) return d.devInst;
    return 0;
}

std::vector<DeviceEvent> Poll(SimStorage& sim) {
    std::vector<DeviceEvent> events;
    sim.PollEvents(events);
    return events;
}

std::string Describe(const std::vector<DeviceEvent>& events) {
    std::string out;
    for (const DeviceEvent& e : events) {
        switch (e.kind) {
        case Kind::kInterfaceArrival:
            out += "+" + e.path;
            break;
        case Kind::kInterfaceRemoved:
            out += "-" + e.path;
            break;
        case Kind::kNodeRemoved:
            out += "x";
            break;
        case Kind::kNodeArrival:
            out += "n";
            break;
        default:
            out += "?";
            break;
        }
        out += " ";
    }
    return out;
}

// The test's own MBR bytes, written into an image at sector 0.
std::vector<std::uint8_t> MbrBytes(std::uint32_t signature,
                                   const std::vector<test::MbrSlotSpec>& slots) {
    test::SparseDisk disk(512, 1);
    test::WriteMbrSector(disk, 0, signature, slots);
    std::vector<std::uint8_t> sector(512);
    disk.Read(0, sector);
    return sector;
}

// ---- the drive file

TEST(SimDriveSpec, ReadsEveryKeyOfAFullFile) {
    const std::string text = "[Drive]\r\nBus=nvme\r\nModel=Kestrel 990\r\nSerial=S123\r\n"
                             "Firmware=2B1Q\r\nVendor=Acme\r\nCapacity=64M\r\nSectorSize=4096\r\n"
                             "Removable=1\r\nTrim=1\r\nImage=img\\k.bin\r\nParent=hub-1\r\n"
                             "[Usb]\r\nVendorId=0x152D\r\nProductId=0578\r\nProduct=Bridge\r\n"
                             "Manufacturer=JM\r\nSerial=U9\r\n"
                             "[Faults]\r\nReadErrorAt=9, 3 9\r\nWriteErrorAt=7\r\nFailOpen=5\r\n"
                             "[Pci]\r\nSpeed=3\r\nWidth=4\r\nMaxWidth=8\r\n"
                             "[Ata]\r\nSmartTemperature=41\r\n";
    SimDriveSpec s;
    std::string message;
    ASSERT_EQ(ParseSimDrive(
                  "k1", ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                  s, message),
              err::kSuccess)
        << message;
    EXPECT_EQ(s.busType, bustype::kNvme);
    EXPECT_EQ(s.model, "Kestrel 990");
    EXPECT_EQ(s.serial, "S123");
    EXPECT_EQ(s.firmware, "2B1Q");
    EXPECT_EQ(s.vendor, "Acme");
    EXPECT_EQ(s.capacity, 64u << 20);
    EXPECT_EQ(s.sectorSize, 4096u);
    EXPECT_TRUE(s.removable);
    EXPECT_TRUE(s.trim);
    EXPECT_EQ(s.image, "img/k.bin");
    EXPECT_EQ(s.parent, "hub-1");
    EXPECT_EQ(s.usb.vendorId, 0x152D);
    EXPECT_EQ(s.usb.productId, 0x0578);
    EXPECT_EQ(s.usb.product, "Bridge");
    EXPECT_EQ(s.usb.manufacturer, "JM");
    EXPECT_EQ(s.usb.serial, "U9");
    EXPECT_EQ(s.faults.readErrorAt, (std::vector<std::uint64_t>{3, 9}));
    EXPECT_EQ(s.faults.writeErrorAt, (std::vector<std::uint64_t>{7}));
    EXPECT_EQ(s.faults.failOpen, err::kAccessDenied);
    EXPECT_TRUE(s.hasPci);
    EXPECT_EQ(s.pci.currentSpeed, 3);
    EXPECT_EQ(s.pci.maxSpeed, 3);
    EXPECT_EQ(s.pci.currentWidth, 4);
    EXPECT_EQ(s.pci.maxWidth, 8);
    // Sections of later layers stay readable.
    const auto temp = IniGetValue(&s.ini, "Ata", "SmartTemperature");
    ASSERT_TRUE(temp.has_value());
    EXPECT_EQ(*temp, "41");
}

TEST(SimDriveSpec, MissingKeysTakeDefaults) {
    struct Row {
        const char* text;
        std::uint32_t bus;
        bool removable;
        const char* parent;
    };
    const Row rows[] = {
        {"", bustype::kSata, false, ""},
        {"[Drive]\nModel=X\n", bustype::kSata, false, ""},
        {"[Drive]\nBus=SD\n", bustype::kSd, true, ""}, // cards are removable media
        {"[Drive]\nBus=MMC\nRemovable=0\n", bustype::kMmc, false, ""},
        {"[Drive]\nBus=USB\n", bustype::kUsb, false, "d0"}, // a USB disk has a node of its own
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        SimDriveSpec s;
        std::string message;
        const std::string text = r.text;
        ASSERT_EQ(
            ParseSimDrive("d0",
                          ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                          s, message),
            err::kSuccess)
            << message;
        EXPECT_EQ(s.busType, r.bus);
        EXPECT_EQ(s.removable, r.removable);
        EXPECT_EQ(s.parent, r.parent);
        EXPECT_EQ(s.capacity, kSimDefaultCapacity);
        EXPECT_EQ(s.sectorSize, 512u);
        EXPECT_EQ(s.image, "d0.img");
        EXPECT_EQ(s.serial, "SIM-d0");
        EXPECT_FALSE(s.trim);
        EXPECT_FALSE(s.hasPci);
        EXPECT_EQ(s.faults.failOpen, err::kSuccess);
    }
}

TEST(SimDriveSpec, RefusesWhatCannotBeSimulated) {
    struct Row {
        const char* text;
        const char* inMessage; // the key the message must name
    };
    const Row rows[] = {
        {"[Drive]\nBus=Floppy\n", "Bus=Floppy"},
        {"[Drive]\nCapacity=1000\n", "512-byte sectors"},
        {"[Drive]\nCapacity=6K\nSectorSize=4096\n", "4096-byte sectors"},
        {"[Drive]\nCapacity=0\n", "Capacity"},
        {"[Drive]\nCapacity=12Q\n", "Capacity"},
        {"[Drive]\nCapacity=99999999999T\n", "Capacity"},
        {"[Drive]\nSectorSize=520\n", "SectorSize"},
        {"[Drive]\nRemovable=yes\n", "Removable"},
        {"[Drive]\nTrim=2\n", "Trim"},
        {"[Drive]\nImage=../outside.img\n", "Image"},
        {"[Drive]\nImage=/abs.img\n", "Image"},
        {"[Drive]\nImage=C:\\abs.img\n", "Image"},
        {"[Drive]\nImage=other.drive\n", "Image"},
        {"[Drive]\nParent=a b\n", "Parent"},
        {"[Drive]\nParent=n\n[Usb]\nVendorId=12345\n", "VendorId"},
        {"[Drive]\nCapacity=1M\n[Faults]\nReadErrorAt=2048\n", "ReadErrorAt"},
        {"[Drive]\n[Faults]\nWriteErrorAt=7,x\n", "WriteErrorAt"},
        {"[Drive]\n[Pci]\nWidth=4\n", "Speed"},
        {"[Drive]\n[Pci]\nSpeed=3\nWidth=300\n", "Width"},
        {"[Drive]\nCapacity=64M\nLayout=mbr:1G\n", "Layout"},
        {"[Drive]\nLayout=gpt:1M\n", "Layout"},
        {"[Drive]\nLayout=mbr:rest,1M\n", "Layout"},
        {"[Drive]\nLayout=mbr:1M/zz\n", "Layout"},
        {"[Drive]\nLetters=1:E,2:e\n", "Letters"},
        {"[Drive]\nFree=1:5M\n", "partition 1 has no letter"},
        {"[Drive]\nLetters=1:E\nFree=1:5Q\n", "Free"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        SimDriveSpec s;
        s.model = "untouched";
        std::string message;
        const std::string text = r.text;
        EXPECT_EQ(
            ParseSimDrive("d",
                          ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                          s, message),
            err::kInvalidData);
        EXPECT_NE(message.find(r.inMessage), std::string::npos) << message;
        EXPECT_EQ(s.model, "untouched"); // a refused file leaves the output alone
    }
    SimDriveSpec s;
    std::string message;
    EXPECT_EQ(ParseSimDrive("two words", {}, s, message), err::kInvalidParameter);
    EXPECT_EQ(ParseSimDrive("", {}, s, message), err::kInvalidParameter);
}

TEST(SimDriveSpec, CapacitySuffixesAreBinary) {
    struct Row {
        const char* text;
        bool ok;
        std::uint64_t bytes;
    };
    const Row rows[] = {
        {"512", true, 512},
        {"1K", true, 1024},
        {"3m", true, 3u << 20},
        {"2G", true, 2ull << 30},
        {"1T", true, 1ull << 40},
        {"64 MiB", true, 64u << 20},
        {"5kb", true, 5120},
        {"", false, 0},
        {"K", false, 0},
        {"-5", false, 0},
        {"1.5G", false, 0},
        {"1GG", false, 0},
        {"18446744073709551616", false, 0},
        {"16777216T", false, 0},
    };
    for (const Row& r : rows) {
        std::uint64_t bytes = 77;
        EXPECT_EQ(ParseSimSize(r.text, bytes), r.ok) << r.text;
        EXPECT_EQ(bytes, r.ok ? r.bytes : 77) << r.text;
    }
}

TEST(SimDriveSpec, LettersAndFreeFiguresByPartition) {
    struct Row {
        const char* text;
        bool ok;
        std::map<std::uint32_t, char> letters;
    };
    const Row letterRows[] = {
        {"1:E, 2:f", true, {{1, 'E'}, {2, 'F'}}},
        {"128:Z", true, {{128, 'Z'}}},
        {"", true, {}},
        {"0:E", false, {}},
        {"129:E", false, {}},
        {"1:EF", false, {}},
        {"1:", false, {}},
        {"1:5", false, {}},
        {"E", false, {}},
        {"x:E", false, {}},
        {"1:E,1:F", false, {}}, // a partition twice
        {"1:E,2:E", false, {}}, // a letter twice
    };
    for (const Row& r : letterRows) {
        const std::map<std::uint32_t, char> before{{9, 'Q'}};
        std::map<std::uint32_t, char> letters = before;
        std::string message;
        EXPECT_EQ(ParseSimLetters(r.text, letters, message), r.ok) << r.text;
        EXPECT_EQ(letters, r.ok ? r.letters : before) << r.text; // a refusal leaves it alone
        EXPECT_EQ(message.empty(), r.ok) << r.text;
    }
    struct FreeRow {
        const char* text;
        bool ok;
        std::map<std::uint32_t, std::uint64_t> free;
    };
    const FreeRow freeRows[] = {
        {"1:100M,2:0", true, {{1, 100u << 20}, {2, 0}}},
        {"3:2G", true, {{3, 2ull << 30}}}, // free may exceed the partition: reported as given
        {"1:x", false, {}},
        {"1:1M,1:2M", false, {}},
        {"1:-1", false, {}},
    };
    for (const FreeRow& r : freeRows) {
        std::map<std::uint32_t, std::uint64_t> free;
        std::string message;
        EXPECT_EQ(ParseSimFree(r.text, free, message), r.ok) << r.text;
        const std::map<std::uint32_t, std::uint64_t> none;
        EXPECT_EQ(free, r.ok ? r.free : none) << r.text;
    }
    // A refused key names its line.
    const std::string text = "[Drive]\nLetters=1:E\nFree=2:1M\n";
    SimDriveSpec spec;
    std::string message;
    std::size_t line = 0;
    EXPECT_EQ(ParseSimDrive(
                  "d", ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                  spec, message, &line),
              err::kInvalidData);
    EXPECT_EQ(line, 3u);
}

// ---- images

TEST(SimStorage, ImagesAreMadeAtCapacityAndNeverTruncated) {
    SimFolder dir;
    const auto data = Pattern(3 << 20, 1);
    dir.Write("long.img", std::string(data.begin(), data.end()));
    dir.Write("short.img", std::string(1000, 'x'));
    dir.Drive("long", "Capacity=1M\n");
    dir.Drive("short", "Capacity=2M\n");
    dir.Drive("fresh", "Capacity=5M\nSectorSize=4096\n");
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    EXPECT_EQ(sim->DriveNames(), (std::vector<std::string>{"fresh", "long", "short"}));
    EXPECT_EQ(dir.Size("long.img"), data.size());
    EXPECT_EQ(dir.Bytes("long.img", 0, data.size()), data);
    EXPECT_EQ(dir.Size("short.img"), 2u << 20);
    EXPECT_EQ(dir.Bytes("short.img", 998, 4), (std::vector<std::uint8_t>{'x', 'x', 0, 0}));
    EXPECT_EQ(dir.Size("fresh.img"), 5u << 20);

    // The drive ends at its capacity even where the image holds more.
    DeviceHandle h;
    ASSERT_EQ(sim->Open("SIM\\long", h), err::kSuccess);
    std::uint64_t length = 0;
    EXPECT_EQ(sim->GetLength(h, length), err::kSuccess);
    EXPECT_EQ(length, 1u << 20);
    std::vector<std::uint8_t> buf(512);
    EXPECT_EQ(sim->ReadAt(h, 1 << 20, buf), err::kHandleEof);
}

TEST(SimStorage, LayoutKeyPartitionsOnlyANewImage) {
    SimFolder dir;
    dir.Write("old.img", std::string(4096, '\0'));
    dir.Drive("old", "Capacity=8M\nLayout=mbr:2M,rest\n");
    dir.Drive("new", "Capacity=8M\nLayout=mbr:2M/0c,rest\n");
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    EXPECT_EQ(dir.Bytes("old.img", 510, 2), (std::vector<std::uint8_t>{0, 0}));
    const auto volumes = Devices(*sim, DeviceClass::kVolumeInterface);
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[0].interfacePath, "SIM\\new\\PARTITION1");
    EXPECT_EQ(volumes[1].interfacePath, "SIM\\new\\PARTITION2");

    DeviceHandle h;
    ASSERT_EQ(sim->Open("SIM\\new", h), err::kSuccess);
    DriveLayout layout;
    ASSERT_EQ(sim->GetDriveLayout(h, layout), err::kSuccess);
    ASSERT_EQ(layout.style, layoutstyle::kMbr);
    EXPECT_EQ(layout.partitions[0].mbrType, 0x0C);
    EXPECT_EQ(layout.partitions[0].startingOffset, 1u << 20);
    EXPECT_EQ(layout.partitions[0].length, 2u << 20);
    EXPECT_EQ(layout.partitions[1].mbrType, 0x07);
    EXPECT_EQ(layout.partitions[1].startingOffset, 3u << 20);
    EXPECT_EQ(layout.partitions[1].length, 5u << 20);
}

// ---- sector access

TEST(SimStorage, ReadWriteRoundTripWithinBounds) {
    SimFolder dir;
    dir.Drive("d", "Capacity=64K\n");
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    DeviceHandle h;
    ASSERT_EQ(sim->Open("\\\\?\\sim\\D", h), err::kSuccess); // prefix and case do not matter
    EXPECT_TRUE(h.Writable());

    const auto data = Pattern(1500, 9);
    ASSERT_EQ(sim->WriteAt(h, 1000, data), err::kSuccess); // unaligned on purpose
    std::vector<std::uint8_t> back(1500);
    ASSERT_EQ(sim->ReadAt(h, 1000, back), err::kSuccess);
    EXPECT_EQ(back, data);
    EXPECT_EQ(dir.Bytes("d.img", 1000, 1500), data); // the bytes are in the image

    struct Row {
        std::uint64_t offset;
        std::size_t size;
        ErrorCode expected;
    };
    const Row rows[] = {
        {0, 65536, err::kSuccess},
        {65535, 1, err::kSuccess},
        {65536, 1, err::kHandleEof},
        {65000, 1024, err::kHandleEof},
        {65537, 1, err::kInvalidParameter},
        {0, 0, err::kInvalidParameter},
        {~0ull - 10, 512, err::kInvalidParameter},
    };
    for (const Row& r : rows) {
        std::vector<std::uint8_t> buf(r.size);
        EXPECT_EQ(sim->ReadAt(h, r.offset, buf), r.expected) << r.offset << "+" << r.size;
        EXPECT_EQ(sim->WriteAt(h, r.offset, buf), r.expected) << r.offset << "+" << r.size;
    }
    EXPECT_EQ(dir.Size("d.img"), 65536u); // nothing wrote past the end

    DeviceHandle closed;
    std::vector<std::uint8_t> one(1);
    EXPECT_EQ(sim->ReadAt(closed, 0, one), err::kFileNotFound);
    EXPECT_EQ(sim->Open("", closed), err::kInvalidParameter);
    EXPECT_EQ(sim->Open("SIM\\nothing", closed), err::kFileNotFound);
    EXPECT_FALSE(closed.IsOpen());

    // A handle of another simulation is not one of ours.
    auto other = Sim(dir);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->ReadAt(h, 0, one), err::kFileNotFound);
}

TEST(SimStorage, InjectedFaultsHitTheirSectorsOnly) {
    SimFolder dir;
    dir.Drive("f", "Capacity=64K\n[Faults]\nReadErrorAt=10\nWriteErrorAt=20,21\n");
    dir.Drive("deny", "[Faults]\nFailOpen=5\n");
    dir.Drive("dead", "[Faults]\nFailOpen=1\n");
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    DeviceHandle h;
    ASSERT_EQ(sim->Open("SIM\\f", h), err::kSuccess);
    struct Row {
        std::uint64_t offset;
        std::size_t size;
        ErrorCode read, write;
    };
    const Row rows[] = {
        {9 * 512, 512, err::kSuccess, err::kSuccess},
        {10 * 512, 512, simerr::kCrc, err::kSuccess},
        {10 * 512 + 511, 1, simerr::kCrc, err::kSuccess},
        {11 * 512, 512, err::kSuccess, err::kSuccess},
        {8 * 512, 4096, simerr::kCrc, err::kSuccess}, // a request spanning the sector
        {19 * 512, 512, err::kSuccess, err::kSuccess},
        {19 * 512 + 1, 512, err::kSuccess, err::kWriteFault},
        {21 * 512, 512, err::kSuccess, err::kWriteFault},
        {22 * 512, 512, err::kSuccess, err::kSuccess},
    };
    for (const Row& r : rows) {
        std::vector<std::uint8_t> buf(r.size, 0x5A);
        EXPECT_EQ(sim->WriteAt(h, r.offset, buf), r.write) << r.offset;
        EXPECT_EQ(sim->ReadAt(h, r.offset, buf), r.read) << r.offset;
    }
    EXPECT_EQ(dir.Bytes("f.img", 20 * 512, 2), (std::vector<std::uint8_t>{0, 0})); // refused

    DeviceHandle other;
    EXPECT_EQ(sim->Open("SIM\\deny", other), err::kAccessDenied);
    EXPECT_EQ(sim->Open("SIM\\dead", other), err::kIoDevice);
    // Both are still present devices; only opening them fails.
    EXPECT_EQ(Devices(*sim, DeviceClass::kDiskInterface).size(), 3u);
}

TEST(SimStorage, ReadOnlyDrivesRefuseWrites) {
    SimFolder dir;
    dir.Drive("ro", "Capacity=64K\nReadOnly=1\nTrim=1\n");
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    DeviceHandle h;
    ASSERT_EQ(sim->Open("SIM\\ro", h), err::kSuccess);
    bool writable = true;
    EXPECT_EQ(sim->IsWritable(h, writable), err::kSuccess);
    EXPECT_FALSE(writable);
    const auto data = Pattern(512, 3);
    EXPECT_EQ(sim->WriteAt(h, 0, data), simerr::kWriteProtect);
    EXPECT_EQ(sim->TrimRange(h, 0, 512), simerr::kWriteProtect);
    EXPECT_EQ(sim->DeleteLayout(h), simerr::kWriteProtect);
}

TEST(SimStorage, TrimZerosAndRecordsRanges) {
    SimFolder dir;
    dir.Drive("t", "Capacity=1M\nTrim=1\n");
    dir.Drive("n", "Capacity=1M\n");
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    DeviceHandle h, n;
    ASSERT_EQ(sim->Open("SIM\\t", h), err::kSuccess);
    ASSERT_EQ(sim->Open("SIM\\n", n), err::kSuccess);
    bool trim = false;
    EXPECT_EQ(sim->QueryTrimEnabled(h, trim), err::kSuccess);
    EXPECT_TRUE(trim);
    EXPECT_EQ(sim->TrimRange(n, 0, 4096), err::kNotSupported);

    const auto data = Pattern(1 << 20, 4);
    ASSERT_EQ(sim->WriteAt(h, 0, data), err::kSuccess);
    ASSERT_EQ(sim->TrimRange(h, 4096, 8192), err::kSuccess);
    ASSERT_EQ(sim->TrimRange(h, (1 << 20) - 4096, 4096), err::kSuccess); // up to the end
    EXPECT_EQ(sim->TrimRange(h, 1 << 20, 4096), err::kHandleEof);
    EXPECT_EQ(sim->TrimRange(h, 0, 0), err::kInvalidParameter);
    EXPECT_EQ(sim->TrimmedRanges("T"),
              (std::vector<SimRange>{{4096, 8192}, {(1 << 20) - 4096, 4096}}));

    std::vector<std::uint8_t> back(1 << 20);
    ASSERT_EQ(sim->ReadAt(h, 0, back), err::kSuccess);
    auto expected = data;
    std::fill(expected.begin() + 4096, expected.begin() + 12288, 0);
    std::fill(expected.end() - 4096, expected.end(), 0);
    EXPECT_EQ(back, expected);
    EXPECT_EQ(dir.Size("t.img"), 1u << 20);
}

// ---- arrival and removal

TEST(SimStorage, FilesArriveAndLeaveThroughPollEvents) {
    SimFolder dir;
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    EXPECT_TRUE(Devices(*sim, DeviceClass::kDiskInterface).empty());
    EXPECT_EQ(Describe(Poll(*sim)), "");

    dir.Drive("a", "Capacity=1M\n");
    const auto arrived = Poll(*sim);
    EXPECT_EQ(Describe(arrived), "+SIM\\a ");
    const auto disks = Devices(*sim, DeviceClass::kDiskInterface);
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_TRUE(disks[0].started);
    EXPECT_TRUE(disks[0].hasInterface);
    EXPECT_EQ(disks[0].interfacePath, "SIM\\a");
    EXPECT_NE(disks[0].devInst, 0u);
    EXPECT_EQ(arrived[0].devInst, disks[0].devInst);
    EXPECT_EQ(Describe(Poll(*sim)), ""); // nothing changed since

    DeviceHandle h;
    ASSERT_EQ(sim->Open("SIM\\a", h), err::kSuccess);
    dir.Remove("a.drive");
    const auto removed = Poll(*sim);
    EXPECT_EQ(Describe(removed), "-SIM\\a x ");
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(removed[1].devInst, disks[0].devInst);
    EXPECT_TRUE(Devices(*sim, DeviceClass::kDiskInterface).empty());
    // A handle of a pulled drive fails like one of a pulled device.
    std::vector<std::uint8_t> buf(512);
    EXPECT_EQ(sim->ReadAt(h, 0, buf), simerr::kDeviceNotConnected);

    // An edited file is a different drive: it leaves and arrives again.
    dir.Drive("a", "Capacity=1M\n");
    Poll(*sim);
    dir.Drive("a", "Capacity=2M\nTrim=1\n");
    EXPECT_EQ(Describe(Poll(*sim)), "-SIM\\a x +SIM\\a ");
}

TEST(SimStorage, RefusedFilesAreReportedNotListed) {
    SimFolder dir;
    dir.Drive("bad", "Bus=Floppy\n");
    dir.Drive("good", "");
    dir.Write("notes.txt", "not a drive");
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    EXPECT_EQ(sim->DriveNames(), std::vector<std::string>{"good"});
    const auto problems = sim->Problems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].name, "bad");
    EXPECT_EQ(problems[0].error, err::kInvalidData);
    EXPECT_NE(problems[0].message.find("Bus=Floppy"), std::string::npos);
    EXPECT_EQ(sim->Plug("bad"), err::kInvalidData);

    // Mended, it arrives.
    dir.Drive("bad", "Bus=SATA\nCapacity=1M\n");
    EXPECT_EQ(Describe(Poll(*sim)), "+SIM\\bad ");
    EXPECT_TRUE(sim->Problems().empty());
}

TEST(SimStorage, DeviceInstancesAndNumbersStayWithTheName) {
    SimFolder dir;
    for (const char* name : {"c", "a", "b"})
        dir.Drive(name, "Capacity=1M\n");
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    auto numberOf = [&](const std::string& name) {
        DeviceHandle h;
        StorageDeviceNumber n;
        EXPECT_EQ(sim->Open("SIM\\" + name, h), err::kSuccess);
        EXPECT_EQ(sim->GetDeviceNumber(h, n), err::kSuccess);
        EXPECT_EQ(n.deviceType, filedevice::kDisk);
        EXPECT_EQ(n.partitionNumber, 0u);
        return n.deviceNumber;
    };
    EXPECT_EQ(numberOf("a"), 0);
    EXPECT_EQ(numberOf("b"), 1);
    EXPECT_EQ(numberOf("c"), 2);
    const std::uint32_t b = DevInstOf(*sim, DeviceClass::kDiskInterface, "SIM\\b");
    ASSERT_NE(b, 0u);

    // Pulled by the API, then by its file: the same key and number each time it returns.
    ASSERT_EQ(sim->Unplug("b"), err::kSuccess);
    EXPECT_EQ(sim->Unplug("b"), err::kFileNotFound);
    EXPECT_EQ(Describe(Poll(*sim)), "-SIM\\b x ");
    EXPECT_EQ(Describe(Poll(*sim)), ""); // the file alone does not bring it back
    ASSERT_EQ(sim->Plug("B"), err::kSuccess);
    EXPECT_EQ(Describe(Poll(*sim)), "+SIM\\b ");
    EXPECT_EQ(DevInstOf(*sim, DeviceClass::kDiskInterface, "SIM\\b"), b);

    dir.Remove("b.drive");
    Poll(*sim);
    dir.Drive("d", "Capacity=1M\n");
    dir.Drive("b", "Capacity=2M\n");
    EXPECT_EQ(Describe(Poll(*sim)), "+SIM\\b +SIM\\d ");
    EXPECT_EQ(DevInstOf(*sim, DeviceClass::kDiskInterface, "SIM\\b"), b);
    EXPECT_EQ(numberOf("b"), 1);
    EXPECT_EQ(numberOf("d"), 3); // a new name never takes a number that was given before
    EXPECT_NE(DevInstOf(*sim, DeviceClass::kDiskInterface, "SIM\\d"), b);
    EXPECT_EQ(sim->Plug("zz"), err::kFileNotFound);
}

// ---- layouts and volumes

TEST(SimStorage, VolumesComeFromTheImagesPartitionTable) {
    SimFolder dir;
    dir.Drive("m", "Capacity=16M\n");
    dir.Drive("plain", "Capacity=16M\n");
    {
        auto sim = Sim(dir); // makes the images
        ASSERT_TRUE(sim);
        EXPECT_TRUE(Devices(*sim, DeviceClass::kVolumeInterface).empty());
    }
    // Two primaries, an empty slot, and a third partition that passes the drive's end.
    dir.Patch("m.img", 0,
              MbrBytes(0xA1B2C3D4,
                       {{0x07, 2048, 4096, true}, {0x0C, 8192, 8192}, {}, {0x83, 30000, 9000}}));
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    const auto volumes = Devices(*sim, DeviceClass::kVolumeInterface);
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[0].interfacePath, "SIM\\m\\PARTITION1");
    EXPECT_EQ(volumes[1].interfacePath, "SIM\\m\\PARTITION2");
    EXPECT_EQ(sim->ParentOf(volumes[0].devInst),
              DevInstOf(*sim, DeviceClass::kDiskInterface, "SIM\\m"));

    DeviceHandle disk, vol;
    ASSERT_EQ(sim->Open("SIM\\m", disk), err::kSuccess);
    ASSERT_EQ(sim->Open("SIM\\M\\PARTITION2", vol), err::kSuccess);
    StorageDeviceNumber n;
    ASSERT_EQ(sim->GetDeviceNumber(vol, n), err::kSuccess);
    EXPECT_EQ(n.partitionNumber, 2u);
    std::vector<DiskExtent> extents;
    ASSERT_EQ(sim->GetVolumeExtents(vol, extents), err::kSuccess);
    ASSERT_EQ(extents.size(), 1u);
    EXPECT_EQ(extents[0].diskNumber, n.deviceNumber);
    EXPECT_EQ(extents[0].startingOffset, 8192u * 512);
    EXPECT_EQ(extents[0].length, 8192u * 512);
    EXPECT_EQ(sim->GetVolumeExtents(disk, extents), err::kInvalidFunction);
    PartitionEntry p;
    ASSERT_EQ(sim->GetPartitionInfo(vol, p), err::kSuccess);
    EXPECT_EQ(p.mbrType, 0x0C);
    ASSERT_EQ(sim->GetPartitionInfo(disk, p), err::kSuccess);
    EXPECT_EQ(p.number, 0u);
    EXPECT_EQ(p.length, 16u << 20);
    EXPECT_EQ(p.style, layoutstyle::kMbr);

    // Volume offsets are relative to the partition and bounded by it.
    const auto data = Pattern(512, 6);
    ASSERT_EQ(sim->WriteAt(vol, 0, data), err::kSuccess);
    std::vector<std::uint8_t> back(512);
    ASSERT_EQ(sim->ReadAt(disk, 8192u * 512, back), err::kSuccess);
    EXPECT_EQ(back, data);
    EXPECT_EQ(sim->ReadAt(vol, 8192u * 512 - 256, back), err::kHandleEof);
    DriveLayout layout;
    EXPECT_EQ(sim->GetDriveLayout(vol, layout), err::kInvalidFunction);
}

TEST(SimStorage, LettersNameVolumesOfTheirDrive) {
    SimFolder dir;
    // Partition 4 does not exist: its letter is not present. "b" claims E as well, after "a".
    dir.Drive("a", "Capacity=64M\nLayout=mbr:8M,16M,rest\nLetters=1:E,2:F,4:H\nFree=1:3M\n");
    dir.Drive("b", "Capacity=16M\nRemovable=1\nLayout=mbr:rest\nLetters=1:e,2:G\n");
    dir.Drive("c", "Capacity=16M\nLayout=mbr:rest\nLetters=1:K\n");
    dir.Drive("d", "Capacity=16M\nLetters=1:L\n"); // no table, no volume
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    const auto bit = [](char c) { return 1u << (c - 'A'); };
    EXPECT_EQ(sim->LogicalDrives(), bit('E') | bit('F') | bit('K'));
    EXPECT_EQ(sim->DriveType('E'), drivetype::kFixed);
    EXPECT_EQ(sim->DriveType('f'), drivetype::kFixed);
    EXPECT_EQ(sim->DriveType('H'), drivetype::kNoRootDir);
    EXPECT_EQ(sim->DriveType('G'), drivetype::kNoRootDir);

    struct Row {
        char letter;
        std::uint32_t partition;
        std::uint64_t offset, length, free;
    };
    const Row rows[] = {
        {'E', 1, 1u << 20, 8u << 20, 3u << 20},
        {'F', 2, 9u << 20, 16u << 20, 16u << 20}, // no Free=: an empty volume
        {'K', 1, 1u << 20, 15u << 20, 15u << 20},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.letter);
        DeviceHandle h;
        ASSERT_EQ(sim->OpenLetter(r.letter, h), err::kSuccess);
        StorageDeviceNumber n;
        ASSERT_EQ(sim->GetDeviceNumber(h, n), err::kSuccess);
        EXPECT_EQ(n.partitionNumber, r.partition);
        std::vector<DiskExtent> extents;
        ASSERT_EQ(sim->GetVolumeExtents(h, extents), err::kSuccess);
        ASSERT_EQ(extents.size(), 1u);
        EXPECT_EQ(extents[0].startingOffset, r.offset);
        EXPECT_EQ(extents[0].length, r.length);
        std::uint64_t total = 0, free = 0;
        const std::u16string root = {char16_t(r.letter), u':', u'\\'};
        ASSERT_EQ(sim->VolumeSpace(root, total, free), err::kSuccess);
        EXPECT_EQ(total, r.length);
        EXPECT_EQ(free, r.free);
        std::string name;
        ASSERT_EQ(sim->DriveDisplayName(r.letter, name), err::kSuccess);
        EXPECT_EQ(name, std::string("Local Disk (") + r.letter + ":)");
    }
    DeviceHandle h;
    EXPECT_EQ(sim->OpenLetter('H', h), err::kFileNotFound);
    EXPECT_FALSE(h.IsOpen());
    std::uint64_t total = 5, free = 6;
    EXPECT_EQ(sim->VolumeSpace(u"H:\\", total, free), err::kFileNotFound);
    EXPECT_EQ(sim->VolumeSpace(u"\\\\?\\SIM\\a\\PARTITION1\\", total, free), err::kFileNotFound);
    EXPECT_EQ(sim->VolumeSpace(u"", total, free), err::kFileNotFound);
    EXPECT_EQ(total, 5u);
    EXPECT_EQ(free, 6u);

    // The letter leaves with its drive, and "b" gets E once "a" is gone.
    ASSERT_EQ(sim->Unplug("a"), err::kSuccess);
    std::vector<DeviceEvent> events;
    sim->PollEvents(events);
    EXPECT_EQ(sim->LogicalDrives(), bit('E') | bit('K'));
    EXPECT_EQ(sim->DriveType('E'), drivetype::kRemovable);
    std::string name;
    ASSERT_EQ(sim->DriveDisplayName('E', name), err::kSuccess);
    EXPECT_EQ(name, "Removable Disk (E:)");
}

// The volume notifications a drive's letters raise, in order: "-E" removed, "+E" arrived, "d" for
// the disk's own interface events between them.
std::string LetterEvents(const std::vector<DeviceEvent>& events) {
    std::string out;
    for (const DeviceEvent& e : events) {
        if (e.kind == Kind::kVolumeArrival || e.kind == Kind::kVolumeRemoved) {
            EXPECT_FALSE(e.media);
            for (int i = 0; i < 26; ++i)
                if (e.unitMask & (1u << i))
                    out += std::string(e.kind == Kind::kVolumeArrival ? "+" : "-") +
                           static_cast<char>('A' + i) + " ";
        } else if ((e.kind == Kind::kInterfaceArrival || e.kind == Kind::kInterfaceRemoved) &&
                   e.path.find("PARTITION") == std::string::npos) {
            out += "d ";
        }
    }
    return out;
}

TEST(SimStorage, LettersComeAndGoAsVolumeNotifications) {
    SimFolder dir;
    dir.Drive("a", "Capacity=64M\nLayout=mbr:8M,16M,rest\nLetters=1:E\n");
    dir.Drive("b", "Capacity=16M\nLayout=mbr:rest\nLetters=1:E\n"); // E waits behind "a"
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    EXPECT_EQ(LetterEvents(Poll(*sim)), "");

    struct Step {
        const char* what;
        std::function<void()> act;
        const char* events;
    };
    const Step steps[] = {
        // An edited file is a new drive: its letters leave before it and arrive after it.
        {"letter added",
         [&] { dir.Drive("a", "Capacity=64M\nLayout=mbr:8M,16M,rest\nLetters=1:E,2:F\n"); },
         "-E d d +E +F "},
        {"nothing changed", [] {}, ""},
        // The letter of a partition that is not there is no volume.
        {"letter of no partition", [&] { dir.Drive("c", "Capacity=16M\nLetters=1:K\n"); }, "d "},
        {"letter removed",
         [&] { dir.Drive("a", "Capacity=64M\nLayout=mbr:8M,16M,rest\nLetters=2:F\n"); },
         "-E -F d d +E +F "}, // E now belongs to "b": it leaves "a" and arrives on "b"
        {"unplugged", [&] { EXPECT_EQ(sim->Unplug("a"), err::kSuccess); }, "-F d "},
        {"plugged", [&] { EXPECT_EQ(sim->Plug("a"), err::kSuccess); }, "d +F "},
        {"holder pulled", [&] { EXPECT_EQ(sim->Unplug("b"), err::kSuccess); }, "-E d "},
        {"file removed", [&] { dir.Remove("a.drive"); }, "-F d "},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        EXPECT_EQ(LetterEvents(Poll(*sim)), s.events);
    }
    EXPECT_EQ(sim->LogicalDrives(), 0u);
}

TEST(SimStorage, CreateMbrLayoutReadsBackAndAnnouncesVolumes) {
    SimFolder dir;
    dir.Drive("w", "Capacity=32M\nSectorSize=4096\n");
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    DeviceHandle h;
    ASSERT_EQ(sim->Open("SIM\\w", h), err::kSuccess);

    auto entry = [](std::uint64_t start, std::uint64_t length, std::uint8_t type, bool boot) {
        PartitionEntry e;
        e.startingOffset = start;
        e.length = length;
        e.mbrType = type;
        e.bootIndicator = boot;
        return e;
    };
    const std::vector<PartitionEntry> parts = {entry(1 << 20, 8 << 20, 0x07, true),
                                               entry(9 << 20, 23 << 20, 0x0C, false)};
    // Refused requests leave the drive untouched.
    const std::vector<std::vector<PartitionEntry>> bad = {
        {entry(1 << 20, 8 << 20, 0x07, false), entry(8 << 20, 1 << 20, 0x07, false)},
        {entry(1 << 20, 32 << 20, 0x07, false)},
        {entry(0, 1 << 20, 0x07, false)},
        {entry((1 << 20) + 512, 1 << 20, 0x07, false)},
        {parts[0], parts[1], parts[0], parts[1], parts[0]},
    };
    for (const auto& b : bad)
        EXPECT_EQ(sim->CreateMbrLayout(h, 1, b), err::kInvalidParameter);
    EXPECT_EQ(dir.Bytes("w.img", 510, 2), (std::vector<std::uint8_t>{0, 0}));

    ASSERT_EQ(sim->CreateMbrLayout(h, 0x12345678, parts), err::kSuccess);
    DriveLayout layout;
    ASSERT_EQ(sim->GetDriveLayout(h, layout), err::kSuccess);
    EXPECT_EQ(layout.style, layoutstyle::kMbr);
    EXPECT_EQ(layout.mbrSignature, 0x12345678u);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const PartitionEntry* p = FindLayoutPartition(layout, parts[i].startingOffset);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->number, i + 1);
        EXPECT_EQ(p->length, parts[i].length);
        EXPECT_EQ(p->mbrType, parts[i].mbrType);
        EXPECT_EQ(p->bootIndicator, parts[i].bootIndicator);
    }
    EXPECT_EQ(Describe(Poll(*sim)), "+SIM\\w\\PARTITION1 +SIM\\w\\PARTITION2 ");

    ASSERT_EQ(sim->DeleteLayout(h), err::kSuccess);
    ASSERT_EQ(sim->GetDriveLayout(h, layout), err::kSuccess);
    EXPECT_EQ(layout.style, layoutstyle::kRaw);
    EXPECT_TRUE(layout.partitions.empty());
    EXPECT_EQ(Describe(Poll(*sim)), "-SIM\\w\\PARTITION2 x -SIM\\w\\PARTITION1 x ");
}

TEST(SimStorage, CreateMbrLayoutClearsAnOldGpt) {
    SimFolder dir;
    dir.Drive("g", "Capacity=8M\n");
    {
        auto sim = Sim(dir);
        ASSERT_TRUE(sim);
    }
    test::SparseDisk disk(512, 16384);
    test::GptSpec gpt;
    gpt.parts.push_back({test::kBasicDataType, test::kEspType, 2048, 4095, 0, u"data", 0});
    const test::GptPlacement at = test::WriteGpt(disk, gpt);
    for (const std::uint64_t lba : {std::uint64_t(0), at.primaryHeader, at.backupHeader}) {
        std::vector<std::uint8_t> sector(512);
        disk.Read(lba * 512, sector);
        dir.Patch("g.img", lba * 512, sector);
    }
    for (const std::uint64_t lba : {at.primaryArray, at.backupArray}) {
        std::vector<std::uint8_t> array(at.arraySectors * 512);
        disk.Read(lba * 512, array);
        dir.Patch("g.img", lba * 512, array);
    }
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    DeviceHandle h;
    ASSERT_EQ(sim->Open("SIM\\g", h), err::kSuccess);
    DriveLayout layout;
    ASSERT_EQ(sim->GetDriveLayout(h, layout), err::kSuccess);
    ASSERT_EQ(layout.style, layoutstyle::kGpt);
    EXPECT_EQ(Devices(*sim, DeviceClass::kVolumeInterface).size(), 1u);

    PartitionEntry e;
    e.startingOffset = 1 << 20;
    e.length = 1 << 20;
    e.mbrType = 0x0B;
    ASSERT_EQ(sim->CreateMbrLayout(h, 7, {e}), err::kSuccess);
    ASSERT_EQ(sim->GetDriveLayout(h, layout), err::kSuccess);
    EXPECT_EQ(layout.style, layoutstyle::kMbr);
    EXPECT_EQ(dir.Bytes("g.img", 512, 8), std::vector<std::uint8_t>(8, 0));
    EXPECT_EQ(dir.Bytes("g.img", at.backupHeader * 512, 8), std::vector<std::uint8_t>(8, 0));
}

// ---- USB, controllers and the other queries

TEST(SimStorage, UsbDiskHangsOnItsNode) {
    SimFolder dir;
    dir.Drive("stick", "Bus=USB\nVendor=Acme\nModel=Stick\nCapacity=1M\nParent=bridge\n"
                       "[Usb]\nVendorId=152d\nProductId=0578\nProduct=Bridge\nManufacturer=JM\n");
    dir.Drive("fast", "Bus=NVMe\nModel=Fast\nCapacity=1M\n[Pci]\nSpeed=3\nWidth=2\nMaxSpeed=4\n"
                      "MaxWidth=4\n");
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    const std::uint32_t stick = DevInstOf(*sim, DeviceClass::kDiskInterface, "SIM\\stick");
    const std::uint32_t fast = DevInstOf(*sim, DeviceClass::kDiskInterface, "SIM\\fast");
    const auto usb = Devices(*sim, DeviceClass::kUsbDeviceInterface);
    ASSERT_EQ(usb.size(), 1u);
    EXPECT_EQ(sim->ParentOf(stick), usb[0].devInst);
    const auto hubs = Devices(*sim, DeviceClass::kUsbHubInterface);
    const auto hosts = Devices(*sim, DeviceClass::kUsbHostControllerIface);
    ASSERT_EQ(hubs.size(), 1u);
    ASSERT_EQ(hosts.size(), 1u);
    EXPECT_EQ(sim->ParentOf(usb[0].devInst), hubs[0].devInst);
    EXPECT_EQ(sim->ParentOf(hubs[0].devInst), hosts[0].devInst);
    const auto setup = Devices(*sim, DeviceClass::kUsbSetupClass);
    ASSERT_EQ(setup.size(), 2u);
    EXPECT_FALSE(setup[0].hasInterface);

    std::string text;
    EXPECT_EQ(sim->GetProperty(stick, DeviceProperty::kFriendlyName, text), err::kSuccess);
    EXPECT_EQ(text, "Acme Stick");
    EXPECT_EQ(sim->GetProperty(usb[0].devInst, DeviceProperty::kDeviceDesc, text), err::kSuccess);
    EXPECT_EQ(text, "Bridge");
    std::string hostKey, driver;
    ASSERT_EQ(sim->UsbHostControllerDriverKey(0, hostKey), err::kSuccess);
    ASSERT_EQ(sim->GetProperty(hosts[0].devInst, DeviceProperty::kDriver, driver), err::kSuccess);
    EXPECT_EQ(hostKey, driver);
    EXPECT_EQ(sim->UsbHostControllerDriverKey(1, hostKey), err::kFileNotFound);
    EXPECT_EQ(sim->GetProperty(0, DeviceProperty::kFriendlyName, text), err::kFileNotFound);

    // PCI link of the NVMe drive's controller; the USB disk has none.
    PciLinkInfo link;
    EXPECT_EQ(sim->ControllerOf(stick), 0u);
    EXPECT_EQ(sim->GetPciLink(sim->ControllerOf(stick), link), err::kNotSupported);
    const std::uint32_t controller = sim->ControllerOf(fast);
    ASSERT_NE(controller, 0u);
    EXPECT_EQ(sim->ParentOf(fast), controller);
    ASSERT_EQ(sim->GetPciLink(controller, link), err::kSuccess);
    EXPECT_EQ(link.currentSpeed, 3);
    EXPECT_EQ(link.currentWidth, 2);
    EXPECT_EQ(link.maxSpeed, 4);
    EXPECT_EQ(link.maxWidth, 4);

    // Pulling the stick takes its node and, the last USB device gone, the USB tree with it.
    ASSERT_EQ(sim->Unplug("stick"), err::kSuccess);
    EXPECT_EQ(Describe(Poll(*sim)),
              "-SIM\\stick x -SIMUSB\\DEV\\bridge x -SIMUSB\\ROOT_HUB x -SIMUSB\\HC0 x ");
    ASSERT_EQ(sim->Plug("stick"), err::kSuccess);
    EXPECT_EQ(Describe(Poll(*sim)),
              "+SIMUSB\\HC0 +SIMUSB\\ROOT_HUB +SIMUSB\\DEV\\bridge +SIM\\stick ");
    EXPECT_EQ(Devices(*sim, DeviceClass::kUsbDeviceInterface)[0].devInst, usb[0].devInst);
}

TEST(SimStorage, QueriesFollowTheBus) {
    SimFolder dir;
    dir.Drive("nvme", "Bus=NVMe\nCapacity=64M\n");
    dir.Drive("sata", "Bus=SATA\nVendor=V\nModel=M\nFirmware=F1\nSerial=S1\nCapacity=1G\n");
    dir.Drive("sd", "Bus=SD\nCapacity=1M\nSectorSize=4096\n");
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    struct Row {
        const char* path;
        ErrorCode scsi;
        std::uint8_t port;
        bool removable, deviceHotplug;
        std::int64_t cylinders;
        std::uint32_t heads, bytesPerSector;
    };
    const Row rows[] = {
        {"SIM\\nvme", err::kNotSupported, 0, false, false, 8, 255, 512},
        {"SIM\\sata", err::kSuccess, 1, false, false, 130, 255, 512},
        {"SIM\\sd", err::kNotSupported, 0, true, true, 256, 1, 4096},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        DeviceHandle h;
        ASSERT_EQ(sim->Open(r.path, h), err::kSuccess);
        ScsiAddress a;
        a.lun = 9;
        EXPECT_EQ(sim->GetScsiAddress(h, a), r.scsi);
        if (r.scsi == err::kSuccess) {
            EXPECT_EQ(a.portNumber, r.port);
            EXPECT_EQ(a.lun, 0);
        }
        std::uint8_t hotplug[8] = {};
        ASSERT_EQ(sim->GetHotplugInfo(h, hotplug), err::kSuccess);
        EXPECT_EQ(hotplug[0], 8);
        EXPECT_EQ(hotplug[4] != 0, r.removable);
        EXPECT_EQ(hotplug[6] != 0, r.deviceHotplug);
        DiskGeometry g;
        ASSERT_EQ(sim->GetGeometry(h, g), err::kSuccess);
        EXPECT_EQ(g.cylinders, r.cylinders);
        EXPECT_EQ(g.tracksPerCylinder, r.heads);
        EXPECT_EQ(g.bytesPerSector, r.bytesPerSector);
        EXPECT_EQ(g.mediaType, r.removable ? 11u : 12u);
    }
    DeviceHandle h;
    ASSERT_EQ(sim->Open("SIM\\sata", h), err::kSuccess);
    StorageDeviceDescriptor d;
    ASSERT_EQ(sim->QueryDeviceDescriptor(h, d), err::kSuccess);
    EXPECT_EQ(d.busType, bustype::kSata);
    EXPECT_EQ(d.vendor, "V");
    EXPECT_EQ(d.product, "M");
    EXPECT_EQ(d.revision, "F1");
    EXPECT_EQ(d.serial, "S1");
    EXPECT_TRUE(d.raw.empty());
    std::vector<std::uint8_t> raw;
    EXPECT_EQ(sim->QueryAdapterDescriptor(h, raw), err::kNotSupported);
    std::vector<TemperatureInfo> temps;
    EXPECT_EQ(sim->QueryTemperature(h, temps), err::kNotSupported);
    std::u16string mount;
    ASSERT_EQ(sim->GetMountDeviceName(h, mount), err::kSuccess);
    EXPECT_EQ(mount, u"\\Device\\Harddisk1\\DR1");
    EXPECT_EQ(sim->LogicalDrives(), 0u);
    EXPECT_EQ(sim->DriveType('C'), drivetype::kNoRootDir);
    EXPECT_EQ(sim->OpenLetter('C', h), err::kFileNotFound);
    EXPECT_FALSE(h.IsOpen());
}

TEST(SimStorage, FolderMustBeReadable) {
    SimFolder dir;
    ErrorCode e = err::kSuccess;
    EXPECT_EQ(SimStorage::Create(dir.Path() + "/missing", e), nullptr);
    EXPECT_EQ(e, err::kPathNotFound);
    EXPECT_EQ(NewSimStorage("", e), nullptr);
    EXPECT_EQ(e, err::kInvalidParameter);
    auto sim = NewSimStorage(dir.Path(), e);
    ASSERT_NE(sim, nullptr);
    EXPECT_STREQ(sim->Name(), "sim");
}

// The device registry over simulated drives: disks, volumes and USB nodes meet as on a machine.
TEST(SimStorage, FeedsTheDeviceRegistry) {
    SimFolder dir;
    dir.Drive("stick", "Bus=USB\nCapacity=8M\nLayout=mbr:rest/0c\n");
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    // Selected for the registry's queries until the end of the test, whatever fails on the way.
    struct Selected {
        explicit Selected(StoragePlatform* p) { SelectStorage(p); }
        ~Selected() { SelectStorage(nullptr); }
    } selected(sim.get());
    {
        DeviceRegistry registry;
        ASSERT_TRUE(registry.RegisterList(std::make_unique<clNtDiskList>()));
        ASSERT_TRUE(registry.RegisterList(std::make_unique<clWinVolumeList>()));
        ASSERT_TRUE(registry.RegisterList(std::make_unique<clWinUsbList>()));
        registry.EnumerateAll(nullptr);
        auto* disk = static_cast<clDisk*>(registry.FindByPath("SIM\\stick"));
        ASSERT_NE(disk, nullptr);
        EXPECT_EQ(disk->GetCapacity(), 8u << 20);
        EXPECT_TRUE(disk->IsUsb());
        EXPECT_NE(registry.UsbNodeOfDisk(disk), nullptr);
        std::uint64_t length = 0;
        EXPECT_NE(registry.FindVolumeByExtent(disk->GetDeviceNumber(), 1 << 20, &length), nullptr);
        EXPECT_EQ(length, 7u << 20);

        // Pulled and put back: gone at once, found again under its old key after the refresh.
        const std::uint32_t devInst = disk->DevInst();
        ASSERT_EQ(sim->Unplug("stick"), err::kSuccess);
        EXPECT_GT(registry.PollDeviceEvents(), 0u);
        EXPECT_EQ(registry.FindByPath("SIM\\stick"), nullptr);
        ASSERT_EQ(sim->Plug("stick"), err::kSuccess);
        EXPECT_GT(registry.PollDeviceEvents(), 0u);
        for (int i = 0; i <= DeviceRegistry::kRefreshTicks + 1; ++i)
            registry.Tick([](clDevice& d) {
                if (d.IsRemoved())
                    DeleteDevice(&d);
                else
                    d.SetState(devstate::kCurrent);
            });
        const clDevice* back = registry.FindByPath("SIM\\stick");
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->DevInst(), devInst);
        registry.ShutdownAll();
    }
}

// A simulated letter reaches the registry's drive letters as a real volume's does: at once, from
// the volume notification, not only with the refresh after the disk's arrival.
TEST(SimStorage, LettersReachTheRegistryWithTheirVolumes) {
    SimFolder dir;
    dir.Drive("a", "Capacity=32M\nLayout=mbr:rest/07\nLetters=1:E\n");
    auto sim = Sim(dir);
    ASSERT_TRUE(sim);
    struct Selected {
        explicit Selected(StoragePlatform* p) { SelectStorage(p); }
        ~Selected() { SelectStorage(nullptr); }
    } selected(sim.get());
    DeviceRegistry registry;
    ASSERT_TRUE(registry.RegisterList(std::make_unique<clNtDiskList>()));
    ASSERT_TRUE(registry.RegisterList(std::make_unique<clNtDriveList>()));
    registry.EnumerateAll(nullptr);
    clDeviceList* drives = registry.FindList(devtype::kDrive);
    ASSERT_NE(drives, nullptr);
    clDrive* e = drives->FindByLetter('E');
    ASSERT_NE(e, nullptr);
    e->SetState(devstate::kCurrent);

    ASSERT_EQ(sim->Unplug("a"), err::kSuccess);
    registry.PollDeviceEvents();
    EXPECT_TRUE(e->IsRemoved());
    DeleteDevice(e);
    EXPECT_EQ(drives->FindByLetter('E'), nullptr);

    ASSERT_EQ(sim->Plug("a"), err::kSuccess);
    registry.PollDeviceEvents(); // no tick in between: the refresh has not run
    e = drives->FindByLetter('E');
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->State(), devstate::kNew);
    registry.ShutdownAll();
}

// ---- command-set personalities

struct Scsi {
    std::vector<std::uint8_t> cdb;
    DataDirection dir = DataDirection::kNone;
    std::size_t length = 0;
};

// One SCSI command through the back end; the answer in `r`, the data in `data`.
ErrorCode Send(SimStorage& sim, DeviceHandle& h, const Scsi& c, ScsiCommandRequest& r,
               std::vector<std::uint8_t>& data) {
    if (c.dir != DataDirection::kOut) data.assign(c.length, 0xEE);
    r = ScsiCommandRequest{};
    r.cdb = c.cdb;
    r.direction = c.dir;
    r.data = data;
    return sim.ScsiCommand(h, r);
}

// ATA PASS-THROUGH (12) of a register command: PIO in with 512-byte blocks from the count, or
// non-data; `ckCond` asks for the registers back.
Scsi AtaPt12(std::uint8_t command, std::uint8_t features, std::uint8_t count, bool dataIn,
             bool ckCond = false, std::uint8_t lbaMid = 0, std::uint8_t lbaHigh = 0) {
    Scsi c;
    c.cdb = {0xA1,
             static_cast<std::uint8_t>(dataIn ? 0x08 : 0x06),
             static_cast<std::uint8_t>((dataIn ? 0x0E : 0x00) | (ckCond ? 0x20 : 0)),
             features,
             count,
             0,
             lbaMid,
             lbaHigh,
             0xA0,
             command,
             0,
             0};
    c.dir = dataIn ? DataDirection::kIn : DataDirection::kNone;
    c.length = dataIn ? 512u * count : 0;
    return c;
}

// ATA PASS-THROUGH (16) READ/WRITE SECTORS EXT.
Scsi AtaPt16Sectors(bool write, std::uint64_t lba, std::uint16_t count) {
    Scsi c;
    c.cdb = {0x85,
             static_cast<std::uint8_t>(write ? 0x0B : 0x09),
             static_cast<std::uint8_t>(write ? 0x06 : 0x0E),
             0,
             0,
             static_cast<std::uint8_t>(count >> 8),
             static_cast<std::uint8_t>(count),
             static_cast<std::uint8_t>(lba >> 24),
             static_cast<std::uint8_t>(lba),
             static_cast<std::uint8_t>(lba >> 32),
             static_cast<std::uint8_t>(lba >> 8),
             static_cast<std::uint8_t>(lba >> 40),
             static_cast<std::uint8_t>(lba >> 16),
             0xE0,
             static_cast<std::uint8_t>(write ? 0x34 : 0x24),
             0};
    c.dir = write ? DataDirection::kOut : DataDirection::kIn;
    c.length = 512u * count;
    return c;
}

std::string Field(const std::vector<std::uint8_t>& d, std::size_t at, std::size_t n) {
    std::string s(d.begin() + static_cast<std::ptrdiff_t>(at),
                  d.begin() + static_cast<std::ptrdiff_t>(at + n));
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

TEST(SimStorage, SatCarriesAtaCommandsLikeLinux) {
    SimFolder folder;
    folder.Drive("ssd", "Bus=SATA\nModel=Orvane Quill 860 256GB\nSerial=Q1\nFirmware=RVT01B6Q\n"
                        "Capacity=8M\n[Ata]\nSmartStatus=exceeded\n");
    auto sim = Sim(folder);
    DeviceHandle h;
    ASSERT_EQ(sim->Open("SIM\\ssd", h), err::kSuccess);
    ScsiCommandRequest r;
    std::vector<std::uint8_t> data;

    ASSERT_EQ(Send(*sim, h, AtaPt12(0xEC, 0, 1, true), r, data), err::kSuccess);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.transferred, 512u);
    EXPECT_EQ(data[27 * 2 + 1], 'O'); // model, byte-swapped
    EXPECT_EQ(data[27 * 2], 'r');

    // CK_COND: descriptor sense with the returned registers.
    ASSERT_EQ(Send(*sim, h, AtaPt12(0xB0, 0xDA, 0, false, true, 0x4F, 0xC2), r, data),
              err::kSuccess);
    ASSERT_EQ(r.status, 2);
    ASSERT_GE(r.senseLength, 22);
    EXPECT_EQ(r.sense[0], 0x72);
    EXPECT_EQ(r.sense[1], 0x01);
    EXPECT_EQ(r.sense[2], 0x00);
    EXPECT_EQ(r.sense[3], 0x1D);
    EXPECT_EQ(r.sense[8], 0x09);
    EXPECT_EQ(r.sense[9], 0x0C);
    EXPECT_EQ(r.sense[8 + 9], 0xF4);
    EXPECT_EQ(r.sense[8 + 11], 0x2C);
    EXPECT_EQ(r.sense[8 + 13], 0x50);

    // An aborted command: ABORTED COMMAND with the error register.
    ASSERT_EQ(Send(*sim, h, AtaPt12(0xB0, 0xD0, 1, true), r, data), err::kSuccess);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.sense[1], 0x0B);
    EXPECT_EQ(r.sense[8 + 3], 0x04);
    EXPECT_EQ(r.sense[8 + 13], 0x51);

    // Transfer fields that disagree with the buffer or the protocol are refused.
    Scsi shortBuffer = AtaPt12(0xEC, 0, 1, true);
    shortBuffer.length = 256;
    Scsi wrongDir = AtaPt12(0xEC, 0, 1, true);
    wrongDir.cdb[2] = 0x06; // T_DIR to the device for PIO in
    Scsi noLength = AtaPt12(0xEC, 0, 1, true);
    noLength.cdb[2] = 0x0C; // T_LENGTH 0
    for (const Scsi& bad : {shortBuffer, wrongDir, noLength}) {
        ASSERT_EQ(Send(*sim, h, bad, r, data), err::kSuccess);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.sense[2] & 0x0F, 0x05); // ILLEGAL REQUEST
        EXPECT_EQ(r.sense[12], 0x24);
    }

    // INQUIRY as libata answers for an ATA disk; an unknown opcode is refused.
    Scsi inquiry{{0x12, 0, 0, 0, 96, 0}, DataDirection::kIn, 96};
    ASSERT_EQ(Send(*sim, h, inquiry, r, data), err::kSuccess);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Field(data, 8, 8), "ATA");
    EXPECT_EQ(Field(data, 16, 16), "Orvane Quill 860");
    EXPECT_EQ(Field(data, 32, 4), "1B6Q");
    ASSERT_EQ(Send(*sim, h, Scsi{{0xC7, 0, 0, 0, 0, 0}}, r, data), err::kSuccess);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.sense[0], 0x70);
    EXPECT_EQ(r.sense[2], 0x05);
    EXPECT_EQ(r.sense[12], 0x20);
    EXPECT_EQ(r.sense[13], 0x00);
}

TEST(SimStorage, ReadCapacityAndSectorsAboveTwoTebibytes) {
    struct Case {
        const char* capacity;
        std::uint32_t sectorSize;
        std::uint64_t bytes;
    };
    const Case cases[] = {
        {"3T", 512, 3ull << 40}, {"8T", 4096, 8ull << 40}, {"1G", 4096, 1ull << 30}};
    for (const Case& c : cases) {
        SimFolder folder;
        folder.Drive("big", std::string("Bus=SATA\nCapacity=") + c.capacity +
                                "\nSectorSize=" + std::to_string(c.sectorSize) + "\n");
        auto sim = Sim(folder);
        DeviceHandle h;
        ASSERT_EQ(sim->Open("SIM\\big", h), err::kSuccess);
        const std::uint64_t last = c.bytes / c.sectorSize - 1;
        ScsiCommandRequest r;
        std::vector<std::uint8_t> data;
        ASSERT_EQ(
            Send(*sim, h, Scsi{{0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DataDirection::kIn, 8}, r, data),
            err::kSuccess);
        EXPECT_EQ(Be<std::uint32_t>(data, 0), std::min<std::uint64_t>(last, 0xFFFFFFFF))
            << c.capacity;
        EXPECT_EQ(Be<std::uint32_t>(data, 4), c.sectorSize);
        Scsi rc16{std::vector<std::uint8_t>(16, 0), DataDirection::kIn, 32};
        rc16.cdb[0] = 0x9E;
        rc16.cdb[1] = 0x10;
        rc16.cdb[13] = 32;
        ASSERT_EQ(Send(*sim, h, rc16, r, data), err::kSuccess);
        EXPECT_EQ(Be<std::uint64_t>(data, 0), last);
        EXPECT_EQ(Be<std::uint32_t>(data, 8), c.sectorSize);
    }

    // READ/WRITE SECTORS EXT through ATA PASS-THROUGH (16) past LBA 2^32.
    SimFolder folder;
    folder.Drive("big", "Bus=SATA\nCapacity=3T\n");
    auto sim = Sim(folder);
    DeviceHandle h;
    ASSERT_EQ(sim->Open("SIM\\big", h), err::kSuccess);
    const std::uint64_t lba = 0x123456789ull;
    std::vector<std::uint8_t> data = Pattern(1024, 3);
    ScsiCommandRequest r;
    ASSERT_EQ(Send(*sim, h, AtaPt16Sectors(true, lba, 2), r, data), err::kSuccess);
    EXPECT_EQ(r.status, 0);
    std::vector<std::uint8_t> back(1024);
    ASSERT_EQ(sim->ReadAt(h, lba * 512, back), err::kSuccess);
    EXPECT_EQ(back, Pattern(1024, 3));
    ASSERT_EQ(Send(*sim, h, AtaPt16Sectors(false, lba + 1, 1), r, data), err::kSuccess);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin() + 512));
    // The 28-bit form of (12) takes LBA bits 24-27 from the device register.
    ASSERT_EQ(sim->WriteAt(h, 0x1020304ull * 512, Pattern(512, 5)), err::kSuccess);
    Scsi read12 = AtaPt12(0x20, 0, 1, true);
    read12.cdb[5] = 0x04;
    read12.cdb[6] = 0x03;
    read12.cdb[7] = 0x02;
    read12.cdb[8] = 0xE1;
    ASSERT_EQ(Send(*sim, h, read12, r, data), err::kSuccess);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(data, Pattern(512, 5));
    ASSERT_EQ(Send(*sim, h, AtaPt16Sectors(false, (3ull << 40) / 512, 1), r, data), err::kSuccess);
    EXPECT_EQ(r.status, 2); // past the end
}

TEST(SimStorage, EachBusHasItsPersonalities) {
    struct Case {
        const char* text;
        bool ata, nvme;
        const char* vendor;
    };
    const Case cases[] = {
        {"Bus=SATA\n", true, false, "ATA"},
        {"Bus=ATA\n", true, false, "ATA"},
        {"Bus=SATA\n[Ata]\nPresent=0\n", false, false, ""},
        {"Bus=NVMe\nVendor=\n", false, true, "NVMe"},
        {"Bus=SCSI\nVendor=Kestrel\n", false, false, "Kestrel"},
        {"Bus=SAS\nVendor=Kestrel\n", false, false, "Kestrel"},
        {"Bus=SD\n", false, false, ""},
        {"Bus=Virtual\n", false, false, ""},
        {"Bus=USB\nVendor=Heddle\n", false, false, "Heddle"},
        {"Bus=USB\nVendor=Heddle\n[Ata]\n", true, false, "Heddle"},
        {"Bus=USB\nVendor=Heddle\n[Ata]\nPresent=0\n", false, false, "Heddle"},
    };
    for (const Case& c : cases) {
        SimFolder folder;
        folder.Drive("d", std::string("Capacity=1M\n") + c.text);
        auto sim = Sim(folder);
        DeviceHandle h;
        ASSERT_EQ(sim->Open("SIM\\d", h), err::kSuccess) << c.text;
        ScsiCommandRequest r;
        std::vector<std::uint8_t> data;
        ASSERT_EQ(Send(*sim, h, AtaPt12(0xEC, 0, 1, true), r, data), err::kSuccess);
        EXPECT_EQ(r.status == 0, c.ata) << c.text;
        ASSERT_EQ(Send(*sim, h, Scsi{{0x12, 0, 0, 0, 36, 0}, DataDirection::kIn, 36}, r, data),
                  err::kSuccess);
        EXPECT_EQ(Field(data, 8, 8), c.vendor) << c.text;
        NvmeCommandRequest n;
        n.command[0] = 0x06;
        n.command[40] = 1;
        n.direction = DataDirection::kIn;
        std::vector<std::uint8_t> id(4096);
        n.data = id;
        EXPECT_EQ(sim->NvmeCommand(h, n), c.nvme ? err::kSuccess : err::kNotSupported) << c.text;
        std::uint32_t returned = 0;
        std::vector<std::uint8_t> out(64);
        EXPECT_EQ(sim->IoControl(h, 0x12345678, {}, out, returned), err::kInvalidFunction);
    }
}

TEST(SimStorage, PersonalityStateAndErasesFollowThePlug) {
    SimFolder folder;
    folder.Drive("ssd", "Bus=SATA\nCapacity=4M\nTrim=1\n");
    folder.Drive("nv", "Bus=NVMe\nCapacity=4M\n[Nvme]\nSanicap=2\n");
    folder.Drive("ro", "Bus=NVMe\nCapacity=4M\nReadOnly=1\n[Nvme]\nSanicap=2\n");
    auto sim = Sim(folder);
    const auto passwordSector = [] {
        std::vector<std::uint8_t> s(512, 0);
        s[2] = 'p';
        return s;
    };
    const auto securityEnabled = [&](DeviceHandle& h) {
        ScsiCommandRequest r;
        std::vector<std::uint8_t> id;
        Send(*sim, h, AtaPt12(0xEC, 0, 1, true), r, id);
        return (Le<std::uint16_t>(id, 256) & 2) != 0;
    };
    {
        DeviceHandle h;
        ASSERT_EQ(sim->Open("SIM\\ssd", h), err::kSuccess);
        Scsi setPassword = AtaPt12(0xF1, 0, 1, false);
        setPassword.cdb[1] = 0x0A; // PIO out
        setPassword.cdb[2] = 0x06;
        setPassword.dir = DataDirection::kOut;
        std::vector<std::uint8_t> sector = passwordSector();
        ScsiCommandRequest r;
        ASSERT_EQ(Send(*sim, h, setPassword, r, sector), err::kSuccess);
        ASSERT_EQ(r.status, 0);
        EXPECT_TRUE(securityEnabled(h));
    }
    ASSERT_EQ(sim->Unplug("ssd"), err::kSuccess);
    ASSERT_EQ(sim->Plug("ssd"), err::kSuccess);
    {
        DeviceHandle h;
        ASSERT_EQ(sim->Open("SIM\\ssd", h), err::kSuccess);
        EXPECT_FALSE(securityEnabled(h)); // a new drive state after the re-plug
    }

    // NVMe sanitize at once: the image reads zeros, unless the drive is write-protected.
    for (const char* name : {"nv", "ro"}) {
        const bool readOnly = std::string(name) == "ro";
        if (!readOnly) folder.Patch(std::string(name) + ".img", 4096, Pattern(512, 9));
        DeviceHandle h;
        ASSERT_EQ(sim->Open(std::string("SIM\\") + name, h), err::kSuccess);
        NvmeCommandRequest n;
        n.command[0] = 0x84;
        n.command[40] = 2;
        ASSERT_EQ(sim->NvmeCommand(h, n), err::kSuccess);
        std::vector<std::uint8_t> log(512);
        NvmeCommandRequest l;
        l.command[0] = 0x02;
        StoreLe<std::uint32_t>(MutableByteView(l.command), 40, 0x81 | (127u << 16));
        l.direction = DataDirection::kIn;
        l.data = log;
        ASSERT_EQ(sim->NvmeCommand(h, l), err::kSuccess);
        EXPECT_EQ(Le<std::uint16_t>(log, 2) & 7, readOnly ? 3 : 1) << name;
        if (!readOnly) {
            EXPECT_EQ(folder.Bytes("nv.img", 4096, 512), std::vector<std::uint8_t>(512, 0));
        }
    }
}

TEST(SimStorage, BadPersonalityRefusesTheFile) {
    SimFolder folder;
    folder.Drive("bad", "Bus=SATA\n[Ata]\nIdentify=0g\n");
    auto sim = Sim(folder);
    EXPECT_TRUE(sim->DriveNames().empty());
    const auto problems = sim->Problems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].message.find("Identify"), std::string::npos);
}

TEST(SimStorage, ScsiSanitizeZerosScsiDisksOnly) {
    struct Case {
        const char* text;
        std::uint8_t action;
        std::uint8_t senseKey; // 0: GOOD
        bool zeroed;
    };
    const Case cases[] = {
        {"Bus=SAS\n", 0x02, 0, true},
        {"Bus=SCSI\n", 0x03, 0, true},
        {"Bus=SAS\n", 0x01, 0x05, false}, // overwrite is not offered
        {"Bus=SAS\nReadOnly=1\n", 0x02, 0x07, false},
        {"Bus=SATA\n", 0x02, 0x05, false}, // an ATA drive has no SCSI sanitize here
    };
    for (const Case& c : cases) {
        SimFolder folder;
        folder.Drive("d", std::string("Capacity=1M\n") + c.text);
        folder.Write("d.img", std::string(1 << 20, 'x'));
        auto sim = Sim(folder);
        DeviceHandle h;
        ASSERT_EQ(sim->Open("SIM\\d", h), err::kSuccess);
        ScsiCommandRequest r;
        std::vector<std::uint8_t> data;
        ASSERT_EQ(Send(*sim, h, Scsi{{0x48, c.action, 0, 0, 0, 0, 0, 0, 0, 0}}, r, data),
                  err::kSuccess);
        EXPECT_EQ(r.status, c.senseKey ? 2 : 0) << c.text;
        if (c.senseKey) {
            EXPECT_EQ(r.sense[2] & 0x0F, c.senseKey) << c.text;
        }
        EXPECT_EQ(folder.Bytes("d.img", 4096, 16) == std::vector<std::uint8_t>(16, 0), c.zeroed)
            << c.text;
    }
}

TEST(SimStorage, NvmeDriveServesNoSectorsWhileSanitizing) {
    SimFolder folder;
    folder.Drive("nv", "Bus=NVMe\nCapacity=1M\n[Nvme]\nSanicap=2\nSanitizeSeconds=1\n");
    folder.Write("nv.img", std::string(1 << 20, 'x'));
    auto sim = Sim(folder);
    DeviceHandle h;
    ASSERT_EQ(sim->Open("SIM\\nv", h), err::kSuccess);
    NvmeCommandRequest n;
    n.command[0] = 0x84;
    n.command[40] = 2;
    ASSERT_EQ(sim->NvmeCommand(h, n), err::kSuccess);
    std::vector<std::uint8_t> sector(512);
    EXPECT_EQ(sim->ReadAt(h, 0, sector), err::kNotReady);
    EXPECT_EQ(sim->WriteAt(h, 0, sector), err::kNotReady);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    ASSERT_EQ(sim->ReadAt(h, 0, sector), err::kSuccess);
    EXPECT_EQ(sector, std::vector<std::uint8_t>(512, 0));
}

} // namespace
} // namespace tvd
