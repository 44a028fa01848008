#include "storage/deviceregistry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/fakestorage.h"

namespace tvd {
namespace {

using test::FakeStorage;
using test::SelectedStorage;
using Kind = DeviceEvent::Kind;

DeviceEvent Event(Kind kind) {
    DeviceEvent e;
    e.kind = kind;
    return e;
}
DeviceEvent NodeRemoved(std::uint32_t devInst) {
    DeviceEvent e = Event(Kind::kNodeRemoved);
    e.devInst = devInst;
    return e;
}
DeviceEvent InterfaceRemoved(std::string path) {
    DeviceEvent e = Event(Kind::kInterfaceRemoved);
    e.path = std::move(path);
    return e;
}
DeviceEvent Volume(Kind kind, std::uint32_t mask, bool media) {
    DeviceEvent e = Event(kind);
    e.unitMask = mask;
    e.media = media;
    return e;
}
DeviceEvent Media(Kind kind, char letter) {
    DeviceEvent e = Event(kind);
    e.letter = letter;
    return e;
}
constexpr std::uint32_t Bit(char letter) {
    return 1u << (letter - 'A');
}

std::string NameOf(const clDevice& d) {
    switch (d.Type()) {
    case devtype::kDrive:
        return std::string("drive ") + static_cast<const clDrive&>(d).Letter();
    case devtype::kDisk:
        return "disk " + std::to_string(d.DevInst());
    case devtype::kVolume:
        return "volume " + std::to_string(d.DevInst());
    default:
        return "usb " + std::to_string(d.DevInst());
    }
}

// The registry over a fake machine, ticked with a callback that does what the kernel does:
// announce new objects, settle changed ones, announce and delete removed ones.
class RegistryTest : public ::testing::Test {
protected:
    void RegisterStandardLists() {
        ASSERT_TRUE(reg.RegisterList(std::make_unique<clNtDiskList>()));
        ASSERT_TRUE(reg.RegisterList(std::make_unique<clNtDriveList>()));
        ASSERT_TRUE(reg.RegisterList(std::make_unique<clWinVolumeList>()));
        ASSERT_TRUE(reg.RegisterList(std::make_unique<clWinUsbList>()));
    }
    void AddDisk(std::uint32_t devInst, const std::string& path, std::int64_t number,
                 std::uint32_t bus = bustype::kSata) {
        fake.AddDevice(DeviceClass::kDiskInterface, devInst, "\\\\?\\" + path);
        StorageDeviceDescriptor d;
        d.busType = bus;
        fake.AddDiskTarget(path, number).descriptor = d;
    }
    DeviceRegistry::TickCallback Kernel() {
        return [this](clDevice& d) {
            calledThisTick = true;
            switch (d.State()) {
            case devstate::kNew:
                log.push_back("added " + NameOf(d));
                d.SetState(devstate::kCurrent);
                break;
            case devstate::kChanged:
                log.push_back("changed " + NameOf(d));
                d.SetState(devstate::kCurrent);
                break;
            case devstate::kRemoved:
                log.push_back("removed " + NameOf(d));
                DeleteDevice(&d);
                break;
            }
        };
    }
    // Ticks once; answers what happened: 'R' enumerated, 'C' the callback ran, '-' neither.
    char TickOnce() {
        const std::size_t before = fake.enumerated.size();
        calledThisTick = false;
        reg.Tick(Kernel());
        return fake.enumerated.size() > before ? 'R' : calledThisTick ? 'C' : '-';
    }
    std::vector<std::string> TakeLog() { return std::exchange(log, {}); }
    clDeviceList& Disks() { return *reg.FindList(devtype::kDisk); }
    clDeviceList& Drives() { return *reg.FindList(devtype::kDrive); }

    FakeStorage fake;
    SelectedStorage selected{fake};
    DeviceRegistry reg;
    std::vector<std::string> log;
    bool calledThisTick = false;
};

using Log = std::vector<std::string>;

TEST_F(RegistryTest, RefreshCountsDownFromTheLastNotification) {
    auto ticks = [](int n) { return std::string(n, '.'); };
    auto waits = [](int n) { return std::string(n, '-'); };
    struct Row {
        const char* what;
        std::string script; // e EnumerateAll, n/a/i nodes changed/node/interface arrival, . tick
        std::string want;   // per tick: R refresh, C callback, - counting down
    } rows[] = {
        {"ticked before any enumeration", ticks(3), "RCC"},
        {"enumerated at start: the first tick announces", "e" + ticks(3), "CCC"},
        {"EnumerateAll clears a pending refresh", "ne" + ticks(2), "CC"},
        {"one notification", "e.n" + ticks(12), "C" + waits(9) + "RCC"},
        {"node arrival", "ea" + ticks(11), waits(9) + "RC"},
        {"interface arrival", "ei" + ticks(11), waits(9) + "RC"},
        {"two within ten ticks: one refresh, ten after the last", "en" + ticks(5) + "n" + ticks(11),
         waits(5) + waits(9) + "RC"},
        {"the second at the ninth tick", "en" + ticks(9) + "n" + ticks(11),
         waits(9) + waits(9) + "RC"},
        {"two apart: two refreshes", "en" + ticks(11) + "n" + ticks(11),
         waits(9) + "RC" + waits(9) + "RC"},
        {"two in one tick", "enn" + ticks(12), waits(9) + "RCC"},
    };
    AddDisk(7, "DISK7", 0);
    for (const Row& r : rows) {
        reg.ShutdownAll();
        RegisterStandardLists();
        std::string got;
        for (char c : r.script) {
            switch (c) {
            case 'e':
                reg.EnumerateAll(nullptr);
                break;
            case 'n':
                reg.OnDeviceEvent(Event(Kind::kNodesChanged));
                break;
            case 'a':
                reg.OnDeviceEvent(Event(Kind::kNodeArrival));
                break;
            case 'i':
                reg.OnDeviceEvent(Event(Kind::kInterfaceArrival));
                break;
            case '.':
                got += TickOnce();
                break;
            }
        }
        EXPECT_EQ(got, r.want) << r.what;
    }
}

TEST_F(RegistryTest, TableHoldsElevenListsAndTicksOnlyWithATable) {
    reg.Tick(Kernel());
    EXPECT_TRUE(fake.enumerated.empty()); // no table: nothing happens, even with a refresh due
    EXPECT_FALSE(reg.RegisterList(nullptr));
    EXPECT_FALSE(reg.HasTable());
    for (std::size_t i = 0; i < DeviceRegistry::kMaxLists; ++i)
        ASSERT_TRUE(reg.RegisterList(i % 2 ? std::unique_ptr<clDeviceList>(new clNtDriveList)
                                           : std::unique_ptr<clDeviceList>(new clNtDiskList)))
            << i;
    EXPECT_FALSE(reg.RegisterList(std::make_unique<clNtDiskList>()));
    EXPECT_EQ(reg.ListCount(), 11u);
    EXPECT_EQ(reg.FindList(devtype::kDisk)->Type(), devtype::kDisk);
    EXPECT_EQ(reg.FindList(devtype::kUsb), nullptr);

    reg.EnumerateAll(nullptr);
    EXPECT_EQ(fake.liveTokens.size(), 6u); // the six disk lists
    reg.ShutdownAll();
    EXPECT_TRUE(fake.liveTokens.empty());
    EXPECT_FALSE(reg.HasTable());
    EXPECT_EQ(reg.FindList(devtype::kDisk), nullptr);
    const std::size_t before = fake.enumerated.size();
    reg.Tick(Kernel());
    EXPECT_EQ(fake.enumerated.size(), before);
    EXPECT_TRUE(reg.RegisterList(std::make_unique<clNtDiskList>()));
    reg.Tick(nullptr); // a new table refreshes at its first tick; no callback is fine
    EXPECT_GT(fake.enumerated.size(), before);
    reg.Tick(nullptr);
}

TEST_F(RegistryTest, RemovedObjectsAreInvisibleAndDeletedByTheNextTick) {
    struct Row {
        const char* what;
        DeviceEvent event;
        bool removes;
    } rows[] = {
        {"node removed", NodeRemoved(7), true},
        {"interface removed with \\\\?\\, other case", InterfaceRemoved("\\\\?\\usbstor#disk7"),
         true},
        {"interface removed with \\\\.\\", InterfaceRemoved("\\\\.\\USBSTOR#DISK7"), true},
        {"interface removed without prefix", InterfaceRemoved("UsbStor#Disk7"), true},
        {"another node", NodeRemoved(8), false},
        {"node key 0 (drive letters carry it)", NodeRemoved(0), false},
        {"another interface", InterfaceRemoved("\\\\?\\usbstor#disk8"), false},
        {"empty interface name", InterfaceRemoved(""), false},
    };
    AddDisk(7, "USBSTOR#DISK7", 3);
    fake.AddLetter('C', drivetype::kFixed);
    for (const Row& r : rows) {
        reg.ShutdownAll();
        RegisterStandardLists();
        reg.EnumerateAll(nullptr);
        TickOnce();
        ASSERT_EQ(TakeLog(), (Log{"added disk 7", "added drive C"})) << r.what;
        reg.OnDeviceEvent(r.event);
        EXPECT_EQ(reg.FindByDevInst(7) == nullptr, r.removes) << r.what;
        EXPECT_EQ(reg.FindByPath("USBSTOR#DISK7") == nullptr, r.removes) << r.what;
        EXPECT_EQ(Disks().FindByDeviceNumber(3) == nullptr, r.removes) << r.what;
        EXPECT_EQ(Disks().FirstDevice() == nullptr, r.removes) << r.what;
        EXPECT_EQ(Disks().Count(), 1u) << r.what; // still listed until the tick
        EXPECT_NE(Drives().FindByLetter('C'), nullptr) << r.what;
        EXPECT_EQ(TickOnce(), 'C');
        EXPECT_EQ(TakeLog(), r.removes ? Log{"removed disk 7"} : Log{}) << r.what;
        EXPECT_EQ(Disks().Count(), r.removes ? 0u : 1u) << r.what;
        TickOnce();
        EXPECT_EQ(TakeLog(), Log{}) << r.what; // seen once
    }
}

TEST_F(RegistryTest, ReplugIsFoundAgainOnlyAfterTheRemovedObjectIsDeleted) {
    AddDisk(7, "USBSTOR#DISK7", 3);
    RegisterStandardLists();
    reg.EnumerateAll(nullptr);
    TickOnce();
    ASSERT_EQ(TakeLog(), Log{"added disk 7"});

    // Unplugged, announced, then plugged in again.
    fake.RemoveDevice(DeviceClass::kDiskInterface, 7);
    reg.OnDeviceEvent(NodeRemoved(7));
    reg.OnDeviceEvent(Event(Kind::kNodesChanged));
    for (int i = 0; i < 10; ++i)
        TickOnce();
    EXPECT_EQ(reg.FindByDevInst(7), nullptr);
    TickOnce();
    EXPECT_EQ(TakeLog(), Log{"removed disk 7"});
    EXPECT_EQ(reg.FindByDevInst(7), nullptr);
    AddDisk(7, "USBSTOR#DISK7", 3);
    reg.OnDeviceEvent(Event(Kind::kNodeArrival));
    for (int i = 0; i < 9; ++i) {
        TickOnce();
        EXPECT_EQ(reg.FindByDevInst(7), nullptr) << i;
    }
    EXPECT_EQ(TickOnce(), 'R');
    ASSERT_NE(reg.FindByDevInst(7), nullptr);
    TickOnce();
    EXPECT_EQ(TakeLog(), Log{"added disk 7"});

    // Re-plugged before any tick: the refresh must not list it beside its removed object.
    reg.OnDeviceEvent(NodeRemoved(7));
    reg.OnDeviceEvent(Event(Kind::kNodesChanged));
    std::string ticks;
    for (int i = 0; i < 10; ++i)
        ticks += TickOnce();
    EXPECT_EQ(ticks, "---------R");
    EXPECT_EQ(reg.FindByDevInst(7), nullptr);
    EXPECT_EQ(Disks().Count(), 1u);
    EXPECT_EQ(TickOnce(), 'R'); // deleted by the callback, then listed anew
    EXPECT_EQ(TakeLog(), Log{"removed disk 7"});
    clDevice* again = reg.FindByDevInst(7);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->State(), devstate::kNew);
    EXPECT_EQ(Disks().Count(), 1u);
    TickOnce();
    EXPECT_EQ(TakeLog(), Log{"added disk 7"});
    EXPECT_EQ(TickOnce(), 'C');
}

TEST_F(RegistryTest, VolumeAndMediaEventsOnDriveLetters) {
    fake.AddLetter('C', drivetype::kFixed);
    fake.AddLetter('D', drivetype::kCdRom);
    fake.displayNames['D'] = "DVD Drive (D:)";
    RegisterStandardLists();
    reg.EnumerateAll(nullptr);
    TickOnce();
    ASSERT_EQ(TakeLog(), (Log{"added drive C", "added drive D"}));
    ASSERT_STREQ(Drives().FindByLetter('D')->GetDescription(), "DVD Drive (D:)");
    fake.displayNames['D'] = "Holiday (D:)";

    struct Step {
        const char* what;
        std::vector<DeviceEvent> events;
        Log want; // at the next tick
    } steps[] = {
        {"arrival without media: new letters",
         {Volume(Kind::kVolumeArrival, Bit('E') | Bit('F'), false)},
         {"added drive E", "added drive F"}},
        {"arrival of a present letter adds nothing",
         {Volume(Kind::kVolumeArrival, Bit('C'), false)},
         {}},
        {"arrival with media: changed",
         {Volume(Kind::kVolumeArrival, Bit('D'), true)},
         {"changed drive D"}},
        {"media arrival for an absent letter creates nothing",
         {Volume(Kind::kVolumeArrival, Bit('G'), true)},
         {}},
        {"a new letter stays new through a media event",
         {Volume(Kind::kVolumeArrival, Bit('H'), false), Media(Kind::kMediaInserted, 'H')},
         {"added drive H"}},
        {"shell media notification", {Media(Kind::kMediaRemoved, 'd')}, {"changed drive D"}},
        {"removal with media: changed",
         {Volume(Kind::kVolumeRemoved, Bit('C'), true)},
         {"changed drive C"}},
        {"removal without media: removed",
         {Volume(Kind::kVolumeRemoved, Bit('E') | Bit('F'), false)},
         {"removed drive E", "removed drive F"}},
        {"media of a removed letter: nothing", {Media(Kind::kMediaInserted, 'E')}, {}},
    };
    for (const Step& s : steps) {
        for (const DeviceEvent& e : s.events)
            reg.OnDeviceEvent(e);
        TickOnce();
        EXPECT_EQ(TakeLog(), s.want) << s.what;
    }
    // The changed letter's description was dropped and is fetched anew.
    EXPECT_STREQ(Drives().FindByLetter('D')->GetDescription(), "Holiday (D:)");
    EXPECT_EQ(Drives().FindByLetter('E'), nullptr);
    EXPECT_FALSE(reg.RefreshPending()); // volume events need no enumeration
}

TEST_F(RegistryTest, PolledEventsReachTheRegistry) {
    AddDisk(7, "USBSTOR#DISK7", 3);
    RegisterStandardLists();
    reg.EnumerateAll(nullptr);
    EXPECT_EQ(reg.PollDeviceEvents(), 0u);
    fake.events = {InterfaceRemoved("\\\\?\\usbstor#disk7"), Event(Kind::kNodesChanged)};
    EXPECT_EQ(reg.PollDeviceEvents(), 2u);
    EXPECT_EQ(reg.FindByDevInst(7), nullptr);
    EXPECT_TRUE(reg.RefreshPending());
    EXPECT_EQ(reg.RefreshCountdown(), DeviceRegistry::kRefreshTicks);
    EXPECT_EQ(reg.PollDeviceEvents(), 0u);
}

// ---- letters, extents and USB nodes

class RegistryMapTest : public RegistryTest {
protected:
    RegistryMapTest() {
        AddDisk(1, "DISK1", 0);
        AddDisk(2, "DISK2", 1, bustype::kUsb);
        AddDisk(3, "DISK3", 5, bustype::kUsb);
        AddDisk(4, "DISK4", 6, bustype::kUsb);
        auto letter = [this](char l, std::uint32_t type, std::optional<StorageDeviceNumber> n,
                             std::optional<std::vector<DiskExtent>> ex) {
            fake.AddLetter(l, type);
            fake.letters[l].number = n;
            fake.letters[l].extents = ex;
        };
        const StorageDeviceNumber disk0{filedevice::kDisk, 0, 1}, disk1{filedevice::kDisk, 1, 1};
        const std::uint64_t MiB = 1048576;
        letter('C', drivetype::kFixed, disk0, std::vector<DiskExtent>{{0, MiB, 100 * MiB}});
        letter('D', drivetype::kRemovable, disk1, std::vector<DiskExtent>{{1, MiB, 8 * MiB}});
        // Spanned: no device number, two extents, the first on disk 1.
        letter('E', drivetype::kFixed, std::nullopt,
               std::vector<DiskExtent>{{1, 9 * MiB, MiB}, {0, 200 * MiB, MiB}});
        // A device-number answer that is no disk falls back to the extents.
        letter('F', drivetype::kFixed, StorageDeviceNumber{filedevice::kCdRom, 1, 0},
               std::vector<DiskExtent>{{0, 300 * MiB, 2 * MiB}});
        letter('G', drivetype::kCdRom, disk0, std::vector<DiskExtent>{{0, 400 * MiB, MiB}});
        letter('Z', drivetype::kRemote, disk0, std::vector<DiskExtent>{{0, 500 * MiB, MiB}});
        fake.AddLetter('H', drivetype::kFixed); // cannot be opened
        letter('I', drivetype::kFixed, StorageDeviceNumber{filedevice::kDisk, -1, 0}, std::nullopt);

        fake.AddDevice(DeviceClass::kVolumeInterface, 31, "\\\\?\\storage#volume#1");
        fake.AddDevice(DeviceClass::kVolumeInterface, 32, "\\\\?\\storage#volume#2");
        fake.paths["STORAGE#VOLUME#1"].extents = std::vector<DiskExtent>{{1, MiB, 8 * MiB}};
        fake.paths["STORAGE#VOLUME#2"].extents =
            std::vector<DiskExtent>{{0, 600 * MiB, MiB}, {1, 600 * MiB, MiB}};

        fake.AddDevice(DeviceClass::kUsbHubInterface, 60, "");
        fake.AddDevice(DeviceClass::kUsbSetupClass, 50, "");
        fake.parents = {{2, 50}, {3, 60}, {1, 70}};
        RegisterStandardLists();
        reg.EnumerateAll(nullptr);
    }
};

TEST_F(RegistryMapTest, LettersMapToDisksOnlyForRemovableAndFixedDrives) {
    struct Row {
        char letter;
        std::uint32_t disk; // devInst, 0 = none
    } rows[] = {
        {'C', 1}, {'c', 1}, {'D', 2}, {'E', 2}, {'F', 1}, {'G', 0},
        {'Z', 0}, {'H', 0}, {'I', 0}, {'Q', 0}, {'1', 0}, {'\0', 0},
    };
    for (const Row& r : rows) {
        clDisk* d = reg.FindDiskByLetter(r.letter);
        EXPECT_EQ(d ? d->DevInst() : 0u, r.disk) << r.letter;
    }
    EXPECT_EQ(fake.liveHandles, 0);
    auto* disk1 = static_cast<clDisk*>(reg.FindByDevInst(1));
    auto* disk2 = static_cast<clDisk*>(reg.FindByDevInst(2));
    EXPECT_EQ(reg.DiskLetterMask(disk1), Bit('C') | Bit('F'));
    EXPECT_EQ(reg.DiskLetterMask(disk2), Bit('D') | Bit('E'));
    EXPECT_EQ(reg.DiskLetterMask(nullptr), 0u);
    reg.OnDeviceEvent(Volume(Kind::kVolumeRemoved, Bit('F'), false));
    EXPECT_EQ(reg.DiskLetterMask(disk1), Bit('C'));
}

TEST_F(RegistryMapTest, ExtentSearchesMatchSingleExtentVolumesOnly) {
    const std::uint64_t MiB = 1048576;
    struct Row {
        std::int64_t disk;
        std::uint64_t offset;
        char drive;           // 0 = none
        std::uint32_t volume; // devInst, 0 = none
        std::uint64_t length;
    } rows[] = {
        {0, MiB, 'C', 0, 100 * MiB},
        {1, MiB, 'D', 31, 8 * MiB},
        {1, 9 * MiB, 0, 0, 0},   // first extent of the spanned E:
        {0, 200 * MiB, 0, 0, 0}, // its second extent
        {0, 300 * MiB, 'F', 0, 2 * MiB},
        {0, 400 * MiB, 0, 0, 0}, // optical
        {0, 500 * MiB, 0, 0, 0}, // network
        {0, 600 * MiB, 0, 0, 0}, // spanned volume
        {1, 600 * MiB, 0, 0, 0},
        {2, MiB, 0, 0, 0},
        {-1, MiB, 0, 0, 0},
    };
    for (const Row& r : rows) {
        std::uint64_t length = 12345;
        clDrive* d = reg.FindDriveByExtent(r.disk, r.offset, &length);
        EXPECT_EQ(d ? d->Letter() : 0, r.drive) << r.disk << "@" << r.offset;
        EXPECT_EQ(length, d ? r.length : 12345u) << r.disk << "@" << r.offset;
        clVolume* v = reg.FindVolumeByExtent(r.disk, r.offset);
        EXPECT_EQ(v ? v->DevInst() : 0u, r.volume) << r.disk << "@" << r.offset;
    }
    EXPECT_EQ(fake.liveHandles, 0);
    reg.OnDeviceEvent(InterfaceRemoved("\\\\?\\STORAGE#VOLUME#1"));
    EXPECT_EQ(reg.FindVolumeByExtent(1, MiB), nullptr);
}

TEST_F(RegistryMapTest, UsbNodeOfADiskIsItsParentDeviceNode) {
    auto disk = [this](std::uint32_t devInst) {
        return static_cast<clDisk*>(reg.FindByDevInst(devInst));
    };
    clUsb* node = reg.UsbNodeOfDisk(disk(2));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->DevInst(), 50u);
    EXPECT_EQ(node->NodeKind(), usbkind::kDevice);  // was unclassified
    EXPECT_EQ(reg.UsbNodeOfDisk(disk(3)), nullptr); // parent is a hub
    EXPECT_EQ(reg.UsbNodeOfDisk(disk(4)), nullptr); // no parent
    EXPECT_EQ(reg.UsbNodeOfDisk(disk(1)), nullptr); // not USB (parent 70 unknown anyway)
    EXPECT_EQ(reg.UsbNodeOfDisk(nullptr), nullptr);
    node->MarkRemoved();
    EXPECT_EQ(reg.UsbNodeOfDisk(disk(2)), nullptr);
}

TEST(ProcessDeviceRegistry, FreeFunctionsUseOneRegistry) {
    FakeStorage fake;
    SelectedStorage selected(fake);
    fake.AddDevice(DeviceClass::kDiskInterface, 9, "\\\\?\\disk9");
    fake.AddDiskTarget("DISK9", 4);
    ASSERT_TRUE(RegisterList(std::make_unique<clNtDiskList>()));
    EnumerateAll(nullptr);
    ASSERT_NE(FindList(devtype::kDisk), nullptr);
    EXPECT_EQ(FindList(devtype::kDisk)->FindByDeviceNumber(4)->DevInst(), 9u);
    EXPECT_EQ(&ProcessDeviceRegistry(), &ProcessDeviceRegistry());
    ShutdownAll();
    EXPECT_EQ(FindList(devtype::kDisk), nullptr);
    EXPECT_TRUE(fake.liveTokens.empty());
}

} // namespace
} // namespace tvd
