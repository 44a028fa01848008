// The Windows storage back end against the real (Wine's) system: enumeration, drive letters,
// opening, sector access on a file, notifications, and honest errors where a request has no
// device behind it. Nothing destructive is ever sent to a device found here.
#include <windows.h>

#include <initguid.h>

#include <cfgmgr32.h>
#include <devguid.h>
#include <gtest/gtest.h>
#include <usbiodef.h>
#include <winioctl.h>

#include <iostream>
#include <string>
#include <vector>

#include "foundation/textconvutil.h"
#include "foundation/win32/winhandle.h"
#include "foundation/win32/wintesthelp.h"
#include "storage/win32/winstorage.h"

namespace tvd {
namespace {

constexpr DeviceClass kClasses[] = {
    DeviceClass::kDiskInterface,          DeviceClass::kVolumeInterface,
    DeviceClass::kUsbHostControllerIface, DeviceClass::kUsbHubInterface,
    DeviceClass::kUsbDeviceInterface,     DeviceClass::kUsbSetupClass,
};
const char* ClassName(DeviceClass cls) {
    switch (cls) {
    case DeviceClass::kDiskInterface:
        return "disk";
    case DeviceClass::kVolumeInterface:
        return "volume";
    case DeviceClass::kUsbHostControllerIface:
        return "usb-host-controller";
    case DeviceClass::kUsbHubInterface:
        return "usb-hub";
    case DeviceClass::kUsbDeviceInterface:
        return "usb-device";
    case DeviceClass::kUsbSetupClass:
        return "usb-setup-class";
    }
    return "?";
}

StoragePlatform& Win() {
    return NativeStorage();
}

std::string Utf8(const std::wstring& s) {
    return Utf16ToUtf8(std::u16string(s.begin(), s.end()));
}

TEST(WinStorage, IsTheNativeBackEnd) {
    EXPECT_STREQ(Win().Name(), "win32");
    EXPECT_EQ(&Win(), &NativeStorage());
}

TEST(WinStorage, ClassGuidsMatchTheSystemHeaders) {
    const std::pair<DeviceClass, GUID> cases[] = {
        {DeviceClass::kDiskInterface, GUID_DEVINTERFACE_DISK},
        {DeviceClass::kVolumeInterface, GUID_DEVINTERFACE_VOLUME},
        {DeviceClass::kUsbHostControllerIface, GUID_DEVINTERFACE_USB_HOST_CONTROLLER},
        {DeviceClass::kUsbHubInterface, GUID_DEVINTERFACE_USB_HUB},
        {DeviceClass::kUsbDeviceInterface, GUID_DEVINTERFACE_USB_DEVICE},
        {DeviceClass::kUsbSetupClass, GUID_DEVCLASS_USB},
    };
    for (const auto& [cls, expected] : cases) {
        GUID guid{};
        ASSERT_TRUE(win::ClassGuid(cls, guid)) << ClassName(cls);
        EXPECT_TRUE(IsEqualGUID(guid, expected)) << ClassName(cls);
    }
    EXPECT_TRUE(IsEqualGUID(win::kScsiAdapterClass, GUID_DEVCLASS_SCSIADAPTER));
    GUID guid{};
    EXPECT_FALSE(win::ClassGuid(static_cast<DeviceClass>(99), guid));
}

// Lists what the system offers; every device it reports must be well formed, and nothing may
// claim a path it does not have.
TEST(WinStorage, EnumeratesEveryClass) {
    std::string seen;
    for (DeviceClass cls : kClasses) {
        std::vector<PresentDevice> devices(1); // replaced, not appended to
        const ErrorCode e = Win().EnumerateClass(cls, devices);
        ASSERT_EQ(e, err::kSuccess) << ClassName(cls);
        seen += std::string(ClassName(cls)) + "=" + std::to_string(devices.size()) + " ";
        for (const PresentDevice& d : devices) {
            EXPECT_NE(d.devInst, 0u) << ClassName(cls);
            EXPECT_EQ(d.hasInterface, !d.interfacePath.empty()) << ClassName(cls);
            if (cls == DeviceClass::kUsbSetupClass) {
                EXPECT_FALSE(d.hasInterface);
            }
            if (d.hasInterface) {
                EXPECT_EQ(d.interfacePath.rfind("\\\\?\\", 0), 0u);
            }
            std::string name;
            const ErrorCode n = Win().GetProperty(d.devInst, DeviceProperty::kFriendlyName, name);
            std::cout << "  " << ClassName(cls) << " devInst " << d.devInst
                      << (d.started ? " started" : " not started") << " parent "
                      << Win().ParentOf(d.devInst) << " path '" << d.interfacePath << "' name '"
                      << (n == 0 ? name : "(error " + std::to_string(n) + ")") << "'\n";
        }
    }
    std::cout << "  enumerated: " << seen << "\n";
    RecordProperty("enumerated", seen);
    std::vector<PresentDevice> devices;
    EXPECT_EQ(Win().EnumerateClass(static_cast<DeviceClass>(99), devices), err::kInvalidParameter);
}

// Wine lists no device nodes (its configuration manager cannot even locate the root), so only
// the refusals can be checked here.
TEST(WinStorage, DeviceNodeQueriesRefuseUnknownNodes) {
    for (std::uint32_t node : {0u, 0x7FFFFFF0u}) {
        EXPECT_EQ(Win().ParentOf(node), 0u) << node;
        EXPECT_EQ(Win().ControllerOf(node), 0u) << node;
        for (DeviceProperty p : {DeviceProperty::kFriendlyName, DeviceProperty::kDeviceDesc,
                                 DeviceProperty::kDriver}) {
            std::string value = "keep";
            EXPECT_NE(Win().GetProperty(node, p, value), err::kSuccess) << node;
            EXPECT_EQ(value, "keep");
        }
        std::string value = "keep";
        EXPECT_EQ(Win().GetProperty(node, static_cast<DeviceProperty>(9), value),
                  err::kInvalidParameter);
        EXPECT_EQ(value, "keep");
    }
}

TEST(WinStorage, PciLinkNeedsAStartedStorageController) {
    PciLinkInfo link;
    link.maxSpeed = 9;
    EXPECT_EQ(Win().GetPciLink(0, link), err::kInvalidParameter);
    EXPECT_EQ(Win().GetPciLink(0x7FFFFFF0u, link), err::kFileNotFound)
        << "no storage controller has this node";
    EXPECT_EQ(link.maxSpeed, 9) << "untouched";
}

TEST(WinStorage, UsbHostControllerKeys) {
    std::string key = "keep";
    EXPECT_EQ(Win().UsbHostControllerDriverKey(32, key), err::kInvalidParameter);
    EXPECT_EQ(key, "keep");
    // Wine has no USB host controller devices: the open fails with the system's reason.
    const ErrorCode e = Win().UsbHostControllerDriverKey(0, key);
    std::cout << "  \\\\.\\HCD0 -> " << e << "\n";
    EXPECT_EQ(e, err::kFileNotFound);
    EXPECT_EQ(key, "keep");
}

TEST(WinStorage, DriveLettersOfTheSystem) {
    const std::uint32_t mask = Win().LogicalDrives();
    EXPECT_EQ(mask, GetLogicalDrives());
    EXPECT_TRUE(mask & (1u << ('C' - 'A'))) << std::hex << mask;
    EXPECT_TRUE(mask & (1u << ('Z' - 'A'))) << std::hex << mask;
    EXPECT_EQ(Win().DriveType('C'), drivetype::kFixed);
    EXPECT_EQ(Win().DriveType('c'), drivetype::kFixed);
    EXPECT_EQ(Win().DriveType('?'), drivetype::kNoRootDir);
    EXPECT_EQ(Win().DriveType(0), drivetype::kNoRootDir);
    for (char l = 'Z'; l >= 'D'; --l)
        if (!(mask & (1u << (l - 'A')))) {
            EXPECT_EQ(Win().DriveType(l), drivetype::kNoRootDir) << l;
            break;
        }
}

TEST(WinStorage, DriveDisplayNameOfTheSystemDrive) {
    std::string name;
    ASSERT_EQ(Win().DriveDisplayName('C', name), err::kSuccess);
    EXPECT_FALSE(name.empty());
    std::cout << "  display name of C:\\ '" << name << "'\n";
    RecordProperty("displayNameC", name);
    std::string lower;
    ASSERT_EQ(Win().DriveDisplayName('c', lower), err::kSuccess);
    EXPECT_EQ(lower, name);
    std::string bad = "keep";
    EXPECT_EQ(Win().DriveDisplayName('#', bad), err::kInvalidParameter);
    EXPECT_EQ(bad, "keep");
}

TEST(WinStorage, OpeningRefusesEmptyAndMissingDevices) {
    DeviceHandle h;
    EXPECT_EQ(Win().Open("", h), err::kInvalidParameter);
    EXPECT_FALSE(h.IsOpen());
    EXPECT_EQ(Win().OpenLetter('1', h), err::kInvalidParameter);
    EXPECT_EQ(Win().Open("NOSUCHDEVICE{6A1E}", h), err::kFileNotFound);
    EXPECT_FALSE(h.IsOpen());
    EXPECT_EQ(win::NativeHandle(h), INVALID_HANDLE_VALUE);
}

TEST(WinStorage, EveryRequestOnAClosedHandleAnswersNotFound) {
    DeviceHandle h;
    StorageDeviceNumber number;
    StorageDeviceDescriptor descriptor;
    std::vector<std::uint8_t> raw;
    bool flag = false;
    std::vector<TemperatureInfo> temps;
    std::uint8_t hotplug[8];
    ScsiAddress address;
    DiskGeometry geometry;
    std::uint64_t length = 0;
    std::u16string name;
    std::vector<DiskExtent> extents;
    PartitionEntry partition;
    DriveLayout layout;
    std::uint8_t sector[512] = {};
    const ErrorCode results[] = {
        Win().GetDeviceNumber(h, number),     Win().QueryDeviceDescriptor(h, descriptor),
        Win().QueryAdapterDescriptor(h, raw), Win().QueryTrimEnabled(h, flag),
        Win().QueryTemperature(h, temps),     Win().GetHotplugInfo(h, hotplug),
        Win().GetScsiAddress(h, address),     Win().GetGeometry(h, geometry),
        Win().GetLength(h, length),           Win().IsWritable(h, flag),
        Win().GetMountDeviceName(h, name),    Win().GetVolumeExtents(h, extents),
        Win().GetPartitionInfo(h, partition), Win().GetDriveLayout(h, layout),
        Win().CreateMbrLayout(h, 1, {}),      Win().DeleteLayout(h),
        Win().CreateGptLayout(h, layout),     Win().FlushBuffers(h),
        Win().TrimRange(h, 0, 4096),          Win().ReadAt(h, 0, sector),
        Win().WriteAt(h, 0, sector),
    };
    for (std::size_t i = 0; i < std::size(results); ++i)
        EXPECT_EQ(results[i], err::kFileNotFound) << "request " << i;
}

// The system drive under Wine is a folder, not a disk: each request either answers with
// consistent values or fails with a real error and leaves its output alone.
TEST(WinStorage, RequestsOnTheSystemDriveAnswerHonestly) {
    DeviceHandle h;
    const ErrorCode open = Win().OpenLetter('C', h);
    std::cout << "  open \\\\.\\C: -> " << open << (h.Writable() ? " read/write" : "") << "\n";
    if (open != err::kSuccess) {
        EXPECT_FALSE(h.IsOpen());
        GTEST_SKIP() << "\\\\.\\C: cannot be opened here (error " << open << ")";
    }
    ASSERT_NE(win::NativeHandle(h), INVALID_HANDLE_VALUE);
    std::string report;
    const auto note = [&](const char* what, ErrorCode e) {
        report += std::string(what) + "=" + std::to_string(e) + " ";
    };

    StorageDeviceNumber number;
    number.deviceNumber = -7;
    ErrorCode e = Win().GetDeviceNumber(h, number);
    note("number", e);
    if (!e) {
        report += "(type " + std::to_string(number.deviceType) + " number " +
                  std::to_string(number.deviceNumber) + " partition " +
                  std::to_string(number.partitionNumber) + ") ";
    }
    if (e) {
        EXPECT_EQ(number.deviceNumber, -7);
    }

    std::uint64_t length = 0x5A5A;
    e = Win().GetLength(h, length);
    note("length", e);
    EXPECT_TRUE(e ? length == 0x5A5A : length > 0);

    DiskGeometry geometry;
    geometry.bytesPerSector = 77;
    e = Win().GetGeometry(h, geometry);
    note("geometry", e);
    if (!e) {
        report += "(cylinders " + std::to_string(geometry.cylinders) + " media " +
                  std::to_string(geometry.mediaType) + " sector " +
                  std::to_string(geometry.bytesPerSector) + ") ";
    }
    EXPECT_TRUE(e ? geometry.bytesPerSector == 77 : geometry.bytesPerSector % 512 == 0);

    StorageDeviceDescriptor descriptor;
    descriptor.vendor = "keep";
    e = Win().QueryDeviceDescriptor(h, descriptor);
    note("descriptor", e);
    if (!e) {
        report += "(bus " + std::to_string(descriptor.busType) + " '" + descriptor.vendor + "' '" +
                  descriptor.product + "' '" + descriptor.revision + "' '" + descriptor.serial +
                  "' removable " + std::to_string(descriptor.removableMedia) + ") ";
    }
    if (e) {
        EXPECT_EQ(descriptor.vendor, "keep");
    } else {
        EXPECT_GE(descriptor.raw.size(), 36u);
    }

    std::vector<DiskExtent> extents(1);
    extents[0].diskNumber = 99;
    e = Win().GetVolumeExtents(h, extents);
    note("extents", e);
    if (!e) {
        report += "(" + std::to_string(extents.size()) + " extents) ";
    }

    std::u16string name = u"keep";
    e = Win().GetMountDeviceName(h, name);
    note("mountdev", e);
    if (e) {
        EXPECT_EQ(name, u"keep");
    }

    DriveLayout layout;
    layout.mbrSignature = 0x1234;
    e = Win().GetDriveLayout(h, layout);
    note("layout", e);
    if (e) {
        EXPECT_EQ(layout.mbrSignature, 0x1234u);
    }

    bool writable = false;
    note("writable", Win().IsWritable(h, writable));
    std::vector<std::uint8_t> raw;
    note("adapter", Win().QueryAdapterDescriptor(h, raw));
    bool trim = false;
    note("trim", Win().QueryTrimEnabled(h, trim));
    ScsiAddress address;
    note("scsi", Win().GetScsiAddress(h, address));
    std::uint8_t hotplug[8] = {};
    note("hotplug", Win().GetHotplugInfo(h, hotplug));
    PartitionEntry partition;
    note("partition", Win().GetPartitionInfo(h, partition));
    std::cout << "  requests on \\\\.\\C: " << report << "\n";
    RecordProperty("requestsOnC", report);
}

TEST(WinStorage, NotificationsNeedAWindow) {
    void* token = reinterpret_cast<void*>(1);
    EXPECT_EQ(Win().RegisterNotifications(nullptr, DeviceClass::kDiskInterface, token),
              err::kInvalidParameter);
    EXPECT_EQ(token, nullptr);
    Win().UnregisterNotifications(nullptr);

    const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Win().RegisterNotifications(window, static_cast<DeviceClass>(99), token),
              err::kInvalidParameter);
    for (DeviceClass cls : kClasses) {
        ASSERT_EQ(Win().RegisterNotifications(window, cls, token), err::kSuccess) << ClassName(cls);
        EXPECT_NE(token, nullptr);
        Win().UnregisterNotifications(token);
    }
    std::vector<DeviceEvent> events;
    Win().PollEvents(events);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(Win().MountPoints("HARDDISKVOLUME1").empty());
    DestroyWindow(window);
}

// The layout requests on something that is not a disk (a file the test made; Wine has no disk
// behind any handle): each is refused with the system's own error and the file keeps every
// byte, so the clone's Windows path reports the refusal instead of a table that is not there.
TEST(WinStorage, LayoutRequestsOnAFileAreRefusedAndChangeNothing) {
    wintest::TempDir dir;
    const std::wstring file = dir / L"disk.img";
    std::string pattern(64 * 1024, '\0');
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<char>(i * 13 + 5);
    ASSERT_TRUE(wintest::WriteRawFile(file, pattern));
    DeviceHandle h;
    ASSERT_EQ(Win().Open(Utf8(file), h), err::kSuccess);
    ASSERT_TRUE(h.Writable());

    PartitionEntry mbr;
    mbr.startingOffset = 4096;
    mbr.length = 8192;
    mbr.hiddenSectors = 8;
    mbr.number = 1;
    mbr.mbrType = 0x07;
    mbr.recognized = mbr.rewrite = true;
    DriveLayout gpt;
    gpt.style = 1;
    gpt.gptDiskId[0] = 1;
    gpt.gptMaxPartitionCount = 128;
    PartitionEntry g;
    g.style = 1;
    g.startingOffset = 4096;
    g.length = 8192;
    g.number = 1;
    g.rewrite = true;
    g.gptType[0] = g.gptId[0] = 2;
    gpt.partitions = {g};
    const ErrorCode create = Win().CreateMbrLayout(h, 0x1234, {mbr});
    const ErrorCode createGpt = Win().CreateGptLayout(h, gpt);
    std::cout << "  CreateMbrLayout on a file -> " << create << ", CreateGptLayout -> " << createGpt
              << "\n";
    EXPECT_NE(create, err::kSuccess);
    EXPECT_NE(createGpt, err::kSuccess);
    // The back end passes on the system's own answer to the first request of the sequence.
    DWORD got = 0;
    CREATE_DISK cd{};
    cd.PartitionStyle = PARTITION_STYLE_MBR;
    const BOOL raw = DeviceIoControl(win::NativeHandle(h), IOCTL_DISK_CREATE_DISK, &cd, sizeof cd,
                                     nullptr, 0, &got, nullptr);
    ASSERT_FALSE(raw);
    const ErrorCode system = GetLastError();
    EXPECT_EQ(create, system);
    EXPECT_EQ(createGpt, system);
    h.Close();
    EXPECT_EQ(wintest::ReadRawFile(file), pattern);
}

// Sector access at explicit offsets, on a file opened through the device namespace.
TEST(WinStorage, ReadsAndWritesAtOffsets) {
    wintest::TempDir dir;
    const std::wstring file = dir / L"sectors.bin";
    ASSERT_TRUE(wintest::WriteRawFile(file, std::string(8192, '\0')));
    DeviceHandle h;
    ASSERT_EQ(Win().Open(Utf8(file), h), err::kSuccess);
    ASSERT_TRUE(h.Writable());

    std::vector<std::uint8_t> sector(512);
    for (std::size_t i = 0; i < sector.size(); ++i)
        sector[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_EQ(Win().WriteAt(h, 4096, sector), err::kSuccess);
    ASSERT_EQ(Win().WriteAt(h, 512, sector), err::kSuccess);
    std::vector<std::uint8_t> back(512, 0xEE);
    ASSERT_EQ(Win().ReadAt(h, 4096, back), err::kSuccess);
    EXPECT_EQ(back, sector);
    std::vector<std::uint8_t> zero(512, 0xEE);
    ASSERT_EQ(Win().ReadAt(h, 1024, zero), err::kSuccess) << "offsets are explicit, not a cursor";
    EXPECT_EQ(zero, std::vector<std::uint8_t>(512, 0));
    EXPECT_EQ(Win().ReadAt(h, 8192, back), err::kHandleEof);
    EXPECT_EQ(Win().ReadAt(h, 0, MutableByteView()), err::kInvalidParameter);
    EXPECT_EQ(Win().ReadAt(h, ~0ull - 100, back), err::kInvalidParameter);
    h.Close();

    const std::string content = wintest::ReadRawFile(file);
    ASSERT_EQ(content.size(), 8192u);
    EXPECT_EQ(static_cast<std::uint8_t>(content[4096 + 3]), 21);
    EXPECT_EQ(static_cast<std::uint8_t>(content[512 + 3]), 21);

    // Another reader that shares reading only: the open falls back to reading, and writing is
    // refused before the system sees it.
    {
        const win::UniqueHandle reader(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                   nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader.valid());
        ASSERT_EQ(Win().Open(Utf8(file), h), err::kSuccess);
        EXPECT_FALSE(h.Writable());
        EXPECT_EQ(Win().ReadAt(h, 4096, back), err::kSuccess);
        EXPECT_EQ(back, sector);
        EXPECT_EQ(Win().WriteAt(h, 0, sector), err::kAccessDenied);
        h.Close();
    }
    // A holder that shares nothing: both attempts fail with the system's reason.
    {
        const win::UniqueHandle holder(
            CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.valid());
        EXPECT_EQ(Win().Open(Utf8(file), h), err::kSharingViolation);
        EXPECT_FALSE(h.IsOpen());
    }
}

} // namespace
} // namespace tvd
