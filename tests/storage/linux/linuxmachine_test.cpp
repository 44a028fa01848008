// The Linux back end on this machine's own devices, read only, and on input that is not a
// device at all.
#include <gtest/gtest.h>

#include "storage/linux/linuxstorage.h"
#include "storage/linux/linuxsysfs.h"

namespace tvd {
namespace {

TEST(LinuxMachine, DisksAnswerTheirSizeAndNumber) {
    LinuxStorage storage;
    storage.SetIncludeLoop(false);
    std::vector<PresentDevice> disks;
    ASSERT_EQ(storage.EnumerateClass(DeviceClass::kDiskInterface, disks), err::kSuccess);
    int asked = 0;
    for (const PresentDevice& d : disks) {
        SCOPED_TRACE(d.interfacePath);
        ASSERT_TRUE(d.hasInterface);
        ASSERT_EQ(d.interfacePath.rfind("/dev/", 0), 0u);
        const std::string name = d.interfacePath.substr(5);
        EXPECT_NE(name.rfind("loop", 0), 0u) << "loop devices are listed only when asked for";
        const std::string sys = linuxsys::Canonical("/sys/class/block/" + name);
        ASSERT_FALSE(sys.empty());
        std::uint64_t sectors = 0;
        ASSERT_TRUE(linuxsys::ReadAttrU64(sys, "size", sectors));
        std::string driver;
        EXPECT_EQ(storage.GetProperty(d.devInst, DeviceProperty::kDriver, driver), err::kSuccess);
        EXPECT_NE(storage.ParentOf(d.devInst), 0u);
        EXPECT_NE(linuxsys::BusTypeOfDisk(sys), bustype::kUnknown) << "a drive on no known bus";

        DeviceHandle h;
        const ErrorCode opened = storage.Open(d.interfacePath, h);
        // Without rights (not root, or a device cgroup that denies the node) a disk is listed
        // but cannot be asked anything.
        if (opened == err::kAccessDenied) continue;
        ASSERT_EQ(opened, err::kSuccess);
        ++asked;
        std::uint64_t bytes = 0;
        const ErrorCode e = storage.GetLength(h, bytes);
        if (sectors == 0) {
            EXPECT_EQ(e, linuxsys::kNotReady); // a reader without its medium
            continue;
        }
        ASSERT_EQ(e, err::kSuccess);
        EXPECT_EQ(bytes, sectors * 512);
        StorageDeviceNumber number;
        ASSERT_EQ(storage.GetDeviceNumber(h, number), err::kSuccess);
        EXPECT_EQ(std::to_string(number.deviceNumber >> 20) + ":" +
                      std::to_string(number.deviceNumber & 0xFFFFF),
                  linuxsys::ReadAttr(sys, "dev"));
        StorageDeviceDescriptor desc;
        ASSERT_EQ(storage.QueryDeviceDescriptor(h, desc), err::kSuccess);
        EXPECT_NE(desc.busType, bustype::kFileBackedVirtual);
        DriveLayout layout;
        EXPECT_EQ(storage.GetDriveLayout(h, layout), err::kSuccess);
        PciLinkInfo link;
        if (const std::uint32_t ctrl = storage.ControllerOf(d.devInst); ctrl != 0)
            storage.GetPciLink(ctrl, link); // present or not: it must answer, not crash
    }
    if (asked == 0 && !disks.empty())
        GTEST_SKIP() << "no disk of this machine may be opened here: sizes not compared";
}

TEST(LinuxMachine, EveryClassEnumerates) {
    LinuxStorage storage;
    for (DeviceClass cls : {DeviceClass::kVolumeInterface, DeviceClass::kUsbHostControllerIface,
                            DeviceClass::kUsbHubInterface, DeviceClass::kUsbDeviceInterface,
                            DeviceClass::kUsbSetupClass}) {
        std::vector<PresentDevice> devices;
        EXPECT_EQ(storage.EnumerateClass(cls, devices), err::kSuccess);
        for (const PresentDevice& d : devices)
            EXPECT_NE(d.devInst, 0u);
    }
}

TEST(LinuxMachine, KeysStayWithTheirDevices) {
    LinuxStorage storage;
    std::vector<PresentDevice> first, second;
    ASSERT_EQ(storage.EnumerateClass(DeviceClass::kDiskInterface, first), err::kSuccess);
    LinuxStorage other; // keys are the process's, not the back end object's
    ASSERT_EQ(other.EnumerateClass(DeviceClass::kDiskInterface, second), err::kSuccess);
    ASSERT_EQ(first.size(), second.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].devInst, second[i].devInst);
        EXPECT_EQ(first[i].interfacePath, second[i].interfacePath);
    }
}

TEST(LinuxMachine, WhatLinuxDoesNotHave) {
    LinuxStorage storage;
    EXPECT_STREQ(storage.Name(), "linux");
    EXPECT_STREQ(NativeStorage().Name(), "linux");
    EXPECT_EQ(storage.LogicalDrives(), 0u);
    EXPECT_EQ(storage.DriveType('C'), drivetype::kNoRootDir);
    std::string name;
    EXPECT_EQ(storage.DriveDisplayName('C', name), err::kNotSupported);
    DeviceHandle h;
    EXPECT_EQ(storage.OpenLetter('C', h), err::kNotSupported);
    EXPECT_FALSE(h.IsOpen());
}

TEST(LinuxMachine, UnknownKeysAndHandlesAreRefused) {
    LinuxStorage storage;
    for (std::uint32_t key : {0u, 0xFFFFFFFFu}) {
        EXPECT_EQ(storage.ParentOf(key), 0u);
        EXPECT_EQ(storage.ControllerOf(key), 0u);
        std::string value;
        EXPECT_EQ(storage.GetProperty(key, DeviceProperty::kFriendlyName, value),
                  err::kFileNotFound);
        PciLinkInfo link;
        EXPECT_EQ(storage.GetPciLink(key, link), err::kFileNotFound);
    }

    DeviceHandle closed;
    std::uint64_t bytes = 0;
    bool flag = false;
    StorageDeviceNumber number;
    StorageDeviceDescriptor desc;
    DriveLayout layout;
    PartitionEntry entry;
    std::vector<DiskExtent> extents;
    std::uint8_t hotplug[8];
    std::vector<std::uint8_t> buf(512);
    EXPECT_EQ(storage.GetLength(closed, bytes), err::kInvalidHandle);
    EXPECT_EQ(storage.IsWritable(closed, flag), err::kInvalidHandle);
    EXPECT_EQ(storage.GetDeviceNumber(closed, number), err::kInvalidHandle);
    EXPECT_EQ(storage.QueryDeviceDescriptor(closed, desc), err::kInvalidHandle);
    EXPECT_EQ(storage.QueryTrimEnabled(closed, flag), err::kInvalidHandle);
    EXPECT_EQ(storage.GetHotplugInfo(closed, hotplug), err::kInvalidHandle);
    EXPECT_EQ(storage.GetDriveLayout(closed, layout), err::kInvalidHandle);
    EXPECT_EQ(storage.GetPartitionInfo(closed, entry), err::kInvalidHandle);
    EXPECT_EQ(storage.GetVolumeExtents(closed, extents), err::kInvalidHandle);
    EXPECT_EQ(storage.ReadAt(closed, 0, buf), err::kInvalidHandle);
    EXPECT_EQ(storage.WriteAt(closed, 0, buf), err::kInvalidHandle);
    EXPECT_EQ(storage.TrimRange(closed, 0, 512), err::kInvalidHandle);

    DeviceHandle h;
    EXPECT_EQ(storage.Open("", h), err::kInvalidParameter);
    EXPECT_EQ(storage.Open("/dev/no-such-device", h), err::kFileNotFound);
    EXPECT_EQ(storage.Open("/tmp", h), err::kFileNotFound); // not a device
    EXPECT_FALSE(h.IsOpen());
    // A character device opens, but block queries are not its business.
    ASSERT_EQ(storage.Open("/dev/null", h), err::kSuccess);
    EXPECT_EQ(storage.GetLength(h, bytes), err::kInvalidFunction);
    EXPECT_EQ(storage.GetDriveLayout(h, layout), err::kInvalidFunction);
    EXPECT_EQ(storage.GetDeviceNumber(h, number), err::kInvalidFunction);

    // Requests that exist on Windows only say so.
    std::vector<std::uint8_t> raw;
    std::vector<TemperatureInfo> temps;
    std::u16string mountName;
    EXPECT_EQ(storage.QueryAdapterDescriptor(h, raw), err::kNotSupported);
    EXPECT_EQ(storage.QueryTemperature(h, temps), err::kNotSupported);
    EXPECT_EQ(storage.GetMountDeviceName(h, mountName), err::kNotSupported);
    EXPECT_EQ(storage.CreateMbrLayout(h, 1, {}), err::kNotSupported);
    EXPECT_EQ(storage.DeleteLayout(h), err::kInvalidFunction);
}

} // namespace
} // namespace tvd
