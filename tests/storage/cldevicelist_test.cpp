#include "storage/cldevicelist.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "storage/fakestorage.h"

namespace tvd {
namespace {

using test::FakeStorage;
using test::SelectedStorage;

// The (devInst, path) of every object of a list, in list order, removed ones included.
std::vector<std::pair<std::uint32_t, std::string>> Members(const clDeviceList& list) {
    std::vector<std::pair<std::uint32_t, std::string>> out;
    for (clZoltObject* o : list) {
        auto* d = static_cast<clDevice*>(o);
        out.emplace_back(d->DevInst(), d->Path());
    }
    return out;
}

class DeviceListTest : public ::testing::Test {
protected:
    FakeStorage fake;
    SelectedStorage selected{fake};
};

TEST_F(DeviceListTest, InterfaceEnumerationTakesEachDevicesOwnPath) {
    using M = std::vector<std::pair<std::uint32_t, std::string>>;
    struct Dev {
        std::uint32_t devInst;
        bool started;
        const char* iface; // "" = no interface of the class
    };
    struct Row {
        const char* what;
        const char* backEnd;
        std::vector<Dev> devices;
        std::vector<std::pair<const char*, ErrorCode>> openable;
        M want;
    } rows[] = {
        {"prefixes removed, upper-cased",
         "win32",
         {{1, true, "\\\\?\\ide#disk&ven_a#1"}, {2, true, "\\\\.\\scsi#disk&ven_b#2"}},
         {{"IDE#DISK&VEN_A#1", 0}, {"SCSI#DISK&VEN_B#2", 0}},
         {{1, "IDE#DISK&VEN_A#1"}, {2, "SCSI#DISK&VEN_B#2"}}},
        {"Linux paths keep their case",
         "linux",
         {{8, true, "/dev/sdA"}},
         {{"/dev/sdA", 0}},
         {{8, "/dev/sdA"}}},
        {"not started is skipped",
         "win32",
         {{1, false, "\\\\?\\A"}, {2, true, "\\\\?\\B"}},
         {{"A", 0}, {"B", 0}},
         {{2, "B"}}},
        {"no own interface: listed without a path, the next keeps its own",
         "win32",
         {{1, true, ""}, {2, true, "\\\\?\\B"}},
         {{"B", 0}},
         {{1, ""}, {2, "B"}}},
        {"two interfaces of one device: the first, no other device gets the second",
         "win32",
         {{1, true, "\\\\?\\A1"}, {1, true, "\\\\?\\A2"}, {2, true, ""}, {3, true, "\\\\?\\C"}},
         {{"A1", 0}, {"A2", 0}, {"C", 0}},
         {{1, "A1"}, {2, ""}, {3, "C"}}},
        {"access denied keeps the path, any other failure drops it",
         "win32",
         {{1, true, "\\\\?\\A"}, {2, true, "\\\\?\\B"}, {3, true, "\\\\?\\C"}},
         {{"A", err::kAccessDenied}, {"B", err::kSharingViolation}},
         {{1, "A"}, {2, ""}, {3, ""}}},
        {"a duplicate path is skipped",
         "win32",
         {{1, true, "\\\\?\\A"}, {2, true, "\\\\?\\a"}},
         {{"A", 0}},
         {{1, "A"}}},
    };
    for (const Row& r : rows) {
        FakeStorage f;
        SelectedStorage sel(f);
        f.name = r.backEnd;
        for (const Dev& d : r.devices)
            f.AddDevice(DeviceClass::kDiskInterface, d.devInst, d.iface, d.started);
        for (auto& [path, result] : r.openable)
            f.paths[path].openResult = result;
        clNtDiskList list;
        EXPECT_EQ(list.Refresh(), err::kSuccess) << r.what;
        EXPECT_EQ(Members(list), r.want) << r.what;
        // A second pass finds every device already listed.
        list.Refresh();
        EXPECT_EQ(Members(list), r.want) << r.what;
        EXPECT_EQ(f.liveHandles, 0) << r.what;
        for (clZoltObject* o : list)
            EXPECT_EQ(static_cast<clDevice*>(o)->State(), devstate::kNew) << r.what;
    }
}

TEST_F(DeviceListTest, NotificationsRegisteredOncePerClassAndStopped) {
    int window = 0;
    struct Row {
        std::unique_ptr<clDeviceList> list;
        std::vector<DeviceClass> classes;
    };
    std::vector<Row> rows;
    rows.push_back({std::make_unique<clNtDiskList>(), {DeviceClass::kDiskInterface}});
    rows.push_back({std::make_unique<clNtDriveList>(), {}});
    rows.push_back({std::make_unique<clWinVolumeList>(), {DeviceClass::kVolumeInterface}});
    rows.push_back({std::make_unique<clWinUsbList>(),
                    {DeviceClass::kUsbHostControllerIface, DeviceClass::kUsbHubInterface,
                     DeviceClass::kUsbDeviceInterface, DeviceClass::kUsbSetupClass}});
    for (Row& r : rows) {
        fake.registered.clear();
        r.list->Enumerate(&window);
        r.list->Enumerate(&window);
        EXPECT_EQ(fake.registered, r.classes) << r.list->Type();
        EXPECT_EQ(fake.liveTokens.size(), r.classes.size()) << r.list->Type();
        for (void* w : fake.registerWindows)
            EXPECT_EQ(w, &window);
        r.list->StopNotifications();
        EXPECT_TRUE(fake.liveTokens.empty()) << r.list->Type();
    }
    // Refused for want of a window: asked again when one is given.
    fake.needsWindow = true;
    clNtDiskList disks;
    disks.Enumerate(nullptr);
    EXPECT_TRUE(fake.liveTokens.empty());
    disks.Enumerate(&window);
    EXPECT_EQ(fake.liveTokens.size(), 1u);
    disks.StopNotifications();
    fake.needsWindow = false;

    // A list destroyed while registered unregisters too.
    {
        clWinVolumeList list;
        list.Enumerate(nullptr);
        EXPECT_EQ(fake.liveTokens.size(), 1u);
    }
    EXPECT_TRUE(fake.liveTokens.empty());
}

TEST_F(DeviceListTest, UsbPassesClassifyAndNumberHostControllers) {
    fake.AddDevice(DeviceClass::kUsbHostControllerIface, 100, "\\\\?\\pci#hc0");
    fake.AddDevice(DeviceClass::kUsbHostControllerIface, 101, "\\\\?\\pci#hc1");
    fake.AddDevice(DeviceClass::kUsbHostControllerIface, 102, "\\\\?\\pci#hc2");
    fake.AddDevice(DeviceClass::kUsbHubInterface, 200, "\\\\?\\usb#root");
    fake.AddDevice(DeviceClass::kUsbDeviceInterface, 300, "\\\\?\\usb#stick");
    // The setup class lists every USB node; only those not met before are new.
    for (std::uint32_t n : {100u, 200u, 300u, 400u})
        fake.AddDevice(DeviceClass::kUsbSetupClass, n, "");
    for (const char* p : {"PCI#HC0", "PCI#HC1", "PCI#HC2", "USB#ROOT", "USB#STICK"})
        fake.paths[p];
    fake.properties[{100, DeviceProperty::kDriver}] =
        "{36fc9e60-c465-11cf-8056-444553540000}\\0001";
    fake.properties[{101, DeviceProperty::kDriver}] =
        "{36fc9e60-c465-11cf-8056-444553540000}\\0002";
    fake.properties[{102, DeviceProperty::kDriver}] =
        "{36fc9e60-c465-11cf-8056-444553540000}\\0003";
    // HCD0 is the second controller, HCD2 the first; HCD1 is missing, HCD3 matches nothing.
    fake.hcdKeys = std::vector<std::string>{"{36FC9E60-C465-11CF-8056-444553540000}\\0002", "",
                                            "{36FC9E60-C465-11CF-8056-444553540000}\\0001",
                                            "{36FC9E60-C465-11CF-8056-444553540000}\\0009"};
    clWinUsbList list;
    ASSERT_EQ(list.Refresh(), err::kSuccess);
    struct Want {
        std::uint32_t devInst;
        std::uint8_t kind;
        std::optional<std::uint32_t> hc;
        const char* path;
    } want[] = {
        {100, usbkind::kHostController, 3, "PCI#HC0"},
        {101, usbkind::kHostController, 1, "PCI#HC1"},
        {102, usbkind::kHostController, std::nullopt, "PCI#HC2"},
        {200, usbkind::kHub, std::nullopt, "USB#ROOT"},
        {300, usbkind::kDevice, std::nullopt, "USB#STICK"},
        {400, usbkind::kUnclassified, std::nullopt, ""},
    };
    ASSERT_EQ(list.Count(), std::size(want));
    std::size_t i = 0;
    for (clZoltObject* o : list) {
        auto* u = static_cast<clUsb*>(o);
        EXPECT_EQ(u->DevInst(), want[i].devInst);
        EXPECT_EQ(u->NodeKind(), want[i].kind) << u->DevInst();
        EXPECT_EQ(u->HostControllerNumber(), want[i].hc) << u->DevInst();
        EXPECT_EQ(u->Path(), want[i].path);
        ++i;
    }
    // A controller keeps its number; a platform without the numbering numbers nothing.
    fake.hcdKeys = std::vector<std::string>{"{36FC9E60-C465-11CF-8056-444553540000}\\0001"};
    list.Refresh();
    EXPECT_EQ(static_cast<clUsb*>(list.FindByDevInst(100))->HostControllerNumber(), 3u);
    fake.hcdKeys.reset();
    clWinUsbList other;
    other.Refresh();
    for (clZoltObject* o : other)
        EXPECT_FALSE(static_cast<clUsb*>(o)->HostControllerNumber());
}

TEST_F(DeviceListTest, DriveLettersAndLookups) {
    fake.AddLetter('C', drivetype::kFixed);
    fake.AddLetter('Z', drivetype::kRemote);
    clNtDriveList drives;
    drives.Refresh();
    ASSERT_EQ(drives.Count(), 2u);
    ASSERT_NE(drives.FindByLetter('c'), nullptr);
    EXPECT_EQ(drives.FindByLetter('C')->Letter(), 'C');
    EXPECT_EQ(drives.FindByLetter('Z')->DevInst(), 0u);
    EXPECT_EQ(drives.FindByLetter('D'), nullptr);
    fake.AddLetter('D', drivetype::kRemovable);
    drives.Refresh();
    EXPECT_EQ(drives.Count(), 3u);
    EXPECT_EQ(drives.FindByDeviceNumber(0), nullptr); // not a disk list

    fake.AddDevice(DeviceClass::kDiskInterface, 1, "\\\\?\\usbstor#disk&ven_x#1");
    fake.AddDiskTarget("USBSTOR#DISK&VEN_X#1", 6);
    clNtDiskList disks;
    disks.Refresh();
    clDevice* d = disks.FindByPath("\\\\?\\UsbStor#Disk&Ven_X#1");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(disks.FindByDeviceNumber(6), d);
    EXPECT_EQ(disks.FindByDeviceNumber(-1), nullptr);
    EXPECT_EQ(disks.FindByPath(""), nullptr);
    EXPECT_EQ(disks.FindByLetter('C'), nullptr); // not a drive list
    d->MarkRemoved();
    EXPECT_EQ(disks.FindByPath("USBSTOR#DISK&VEN_X#1"), nullptr);
    EXPECT_EQ(disks.FindByDevInst(1), nullptr);
    EXPECT_EQ(disks.FindByDeviceNumber(6), nullptr);
    EXPECT_EQ(disks.FirstDevice(), nullptr);
    EXPECT_TRUE(disks.HasRemoved());
    // The removed object still holds the key: the device is left out and the list deferred.
    disks.Refresh();
    EXPECT_EQ(disks.Count(), 1u);
    EXPECT_TRUE(disks.Deferred());
    DeleteDevice(d);
    disks.Refresh();
    EXPECT_FALSE(disks.Deferred());
    ASSERT_NE(disks.FindByDevInst(1), nullptr);

    // A list takes objects of its own type only.
    EXPECT_FALSE(disks.AppendDevice(std::make_unique<clWinDrive>('Q')));
    EXPECT_FALSE(disks.AppendDevice(nullptr));
    DeleteDevice(nullptr);
}

} // namespace
} // namespace tvd
