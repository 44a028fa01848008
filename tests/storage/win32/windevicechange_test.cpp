// Decoding of device-change broadcasts and shell media notifications: crafted broadcasts, the
// size field as the only bound, and real messages built with the system's structures.
#include <windows.h>

#include <dbt.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "storage/win32/windevicechange.h"

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = DeviceEvent::Kind;

// A broadcast: header with `size` (0 = the bytes' own length) and `type`, then the body.
Bytes Broadcast(std::uint32_t type, const Bytes& body, std::uint32_t size = 0) {
    Bytes b(12 + body.size());
    std::copy(body.begin(), body.end(), b.begin() + 12);
    if (size == 0) size = static_cast<std::uint32_t>(b.size());
    StoreLe(MutableByteView(b), 0, size);
    StoreLe(MutableByteView(b), 4, type);
    return b;
}
Bytes Le32(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}
Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes Volume(std::uint32_t mask, std::uint16_t flags) {
    return Cat(Le32(mask), {std::uint8_t(flags), std::uint8_t(flags >> 8), 0, 0});
}
Bytes Guid() {
    return Bytes{0x07, 0x63, 0xF5, 0x53, 0xBF, 0xB6, 0xD0, 0x11,
                 0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B};
}
Bytes WideName(const std::u16string& name, bool nul = true) {
    Bytes b;
    for (char16_t c : name) {
        b.push_back(std::uint8_t(c));
        b.push_back(std::uint8_t(c >> 8));
    }
    if (nul) b.insert(b.end(), {0, 0});
    return b;
}
Bytes NarrowName(const std::string& name, bool nul = true) {
    Bytes b(name.begin(), name.end());
    if (nul) b.push_back(0);
    return b;
}

const std::u16string kUsbDisk = u"\\\\?\\USBSTOR#Disk&Ven_ACME&Prod_Stick&Rev_1.00#0123456789&0#"
                                u"{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
const std::string kUsbDisk8 = "\\\\?\\USBSTOR#Disk&Ven_ACME&Prod_Stick&Rev_1.00#0123456789&0#"
                              "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

TEST(WinDeviceChange, DecodesCraftedBroadcasts) {
    struct Case {
        const char* name;
        std::uint32_t event;
        Bytes broadcast;
        Kind kind;
        std::uint32_t devInst = 0, unitMask = 0;
        bool media = false;
        std::string path = {};
    };
    const Case cases[] = {
        {"nodes changed", 7, {}, Kind::kNodesChanged},
        {"volume arrival", 0x8000, Broadcast(2, Volume(0x14, 0)), Kind::kVolumeArrival, 0, 0x14},
        {"medium arrival", 0x8000, Broadcast(2, Volume(0x10, 1)), Kind::kVolumeArrival, 0, 0x10,
         true},
        {"volume removal", 0x8004, Broadcast(2, Volume(0x8, 0)), Kind::kVolumeRemoved, 0, 0x8},
        {"medium removal", 0x8004, Broadcast(2, Volume(0x8, 3)), Kind::kVolumeRemoved, 0, 0x8,
         true},
        {"volume fields only (18 bytes)", 0x8004, Broadcast(2, Volume(0x8, 1), 18),
         Kind::kVolumeRemoved, 0, 0x8, true},
        {"node arrival", 0x8000, Broadcast(1, Le32(0x1234)), Kind::kNodeArrival, 0x1234},
        {"node removal", 0x8004, Broadcast(1, Le32(0xABCD)), Kind::kNodeRemoved, 0xABCD},
        {"interface removal, UTF-16", 0x8004, Broadcast(5, Cat(Guid(), WideName(kUsbDisk))),
         Kind::kInterfaceRemoved, 0, 0, false, kUsbDisk8},
        {"interface arrival, 8-bit", 0x8000, Broadcast(5, Cat(Guid(), NarrowName(kUsbDisk8))),
         Kind::kInterfaceArrival, 0, 0, false, kUsbDisk8},
        {"UTF-16 name beyond ASCII", 0x8004,
         Broadcast(5, Cat(Guid(), WideName(u"\\\\?\\X#Caf\u00e9#{1}"))), Kind::kInterfaceRemoved, 0,
         0, false, "\\\\?\\X#Caf\xC3\xA9#{1}"},
        // Refused: a size that cuts the structure, overruns the bytes, or a name without NUL.
        {"volume cut at 14", 0x8000, Broadcast(2, Volume(0x4, 0), 14), Kind::kIgnored},
        {"volume cut at 17", 0x8004, Broadcast(2, Volume(0x4, 1), 17), Kind::kIgnored},
        {"node cut at 15", 0x8004, Broadcast(1, Le32(0x55), 15), Kind::kIgnored},
        {"size beyond the bytes", 0x8004, Broadcast(1, Le32(0x55), 17), Kind::kIgnored},
        {"size below the header", 0x8004, Broadcast(1, Le32(0x55), 8), Kind::kIgnored},
        {"name NUL outside the size", 0x8004,
         Broadcast(5, Cat(Guid(), WideName(kUsbDisk)),
                   static_cast<std::uint32_t>(28 + 2 * kUsbDisk.size())),
         Kind::kIgnored},
        {"8-bit name without NUL", 0x8004, Broadcast(5, Cat(Guid(), NarrowName("\\\\?\\A", false))),
         Kind::kIgnored},
        {"interface without a name", 0x8004, Broadcast(5, Guid()), Kind::kIgnored},
        {"header only", 0x8000, Bytes{0, 0, 0, 0, 2, 0, 0, 0}, Kind::kIgnored},
        {"port broadcast", 0x8000, Broadcast(3, NarrowName("COM1")), Kind::kIgnored},
        {"query remove", 0x8001, Broadcast(1, Le32(1)), Kind::kIgnored},
        {"arrival without broadcast", 0x8000, {}, Kind::kIgnored},
    };
    for (const Case& c : cases) {
        const DeviceEvent ev = DecodeDeviceBroadcast(c.event, c.broadcast);
        EXPECT_EQ(ev.kind, c.kind) << c.name;
        EXPECT_EQ(ev.devInst, c.devInst) << c.name;
        EXPECT_EQ(ev.unitMask, c.unitMask) << c.name;
        EXPECT_EQ(ev.media, c.media) << c.name;
        EXPECT_EQ(ev.path, c.path) << c.name;
    }
}

TEST(WinDeviceChange, DecodesShellMediaEvents) {
    struct Case {
        std::uint32_t event;
        std::u16string path;
        Kind kind;
        char letter;
    };
    const Case cases[] = {
        {0x20, u"E:\\", Kind::kMediaInserted, 'E'},
        {0x40, u"e:\\", Kind::kMediaRemoved, 'E'},
        {0x80000020u, u"Z:", Kind::kMediaInserted, 'Z'},
        {0x20, u"E:\\Folder", Kind::kIgnored, 0},
        {0x20, u"1:\\", Kind::kIgnored, 0},
        {0x20, u"E\\", Kind::kIgnored, 0},
        {0x20, u"", Kind::kIgnored, 0},
        {0x100, u"E:\\", Kind::kIgnored, 0}, // drive added: not a media event
        {0x60, u"E:\\", Kind::kIgnored, 0},
    };
    for (const Case& c : cases) {
        const DeviceEvent ev = DecodeShellMediaEvent(c.event, c.path);
        EXPECT_EQ(ev.kind, c.kind) << c.event;
        EXPECT_EQ(ev.letter, c.letter) << c.event;
    }
}

TEST(WinDeviceChange, WindowMessagesWithTheSystemsStructures) {
    const auto message = [](std::uint32_t msg, std::uintptr_t w, const void* l) {
        return OnDeviceChange(msg, w, reinterpret_cast<std::intptr_t>(l));
    };
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ('F' - 'A');
    volume.dbcv_flags = DBTF_MEDIA;
    DeviceEvent ev = message(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, &volume);
    EXPECT_EQ(ev.kind, Kind::kVolumeArrival);
    EXPECT_EQ(ev.unitMask, 1u << 5);
    EXPECT_TRUE(ev.media);

    DEV_BROADCAST_DEVNODE node{};
    node.dbcd_size = sizeof node;
    node.dbcd_devicetype = DBT_DEVTYP_DEVNODE;
    node.dbcd_devnode = 77;
    ev = message(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, &node);
    EXPECT_EQ(ev.kind, Kind::kNodeRemoved);
    EXPECT_EQ(ev.devInst, 77u);

    EXPECT_EQ(message(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, nullptr).kind, Kind::kNodesChanged);
    EXPECT_EQ(message(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, nullptr).kind, Kind::kIgnored);
    EXPECT_EQ(message(WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, &node).kind, Kind::kIgnored);
    EXPECT_EQ(message(0x218 /* WM_POWERBROADCAST */, DBT_DEVICEARRIVAL, &node).kind,
              Kind::kIgnored);
    EXPECT_EQ(message(WM_TIMER, DBT_DEVICEARRIVAL, &node).kind, Kind::kIgnored);
}

// A broadcast ending exactly at an inaccessible page: any read past its size field faults.
class GuardedBroadcast {
public:
    explicit GuardedBroadcast(const Bytes& bytes) {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        page_ = si.dwPageSize;
        base_ = static_cast<std::uint8_t*>(
            VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (!base_ || bytes.size() > page_) return;
        DWORD old = 0;
        VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
        at_ = base_ + page_ - bytes.size();
        std::memcpy(at_, bytes.data(), bytes.size());
    }
    ~GuardedBroadcast() {
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    }
    const void* get() const { return at_; }

private:
    std::size_t page_ = 0;
    std::uint8_t* base_ = nullptr;
    std::uint8_t* at_ = nullptr;
};

TEST(WinDeviceChange, NeverReadsPastTheSizeField) {
    // The name's NUL would lie beyond the page; the size ends at the page.
    const Bytes name = Cat(Guid(), WideName(kUsbDisk, false));
    const GuardedBroadcast unterminated(Broadcast(5, name));
    ASSERT_NE(unterminated.get(), nullptr);
    EXPECT_EQ(OnDeviceChange(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                             reinterpret_cast<std::intptr_t>(unterminated.get()))
                  .kind,
              Kind::kIgnored);

    const GuardedBroadcast narrow(Broadcast(5, Cat(Guid(), NarrowName(kUsbDisk8, false))));
    EXPECT_EQ(OnDeviceChange(WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                             reinterpret_cast<std::intptr_t>(narrow.get()))
                  .kind,
              Kind::kIgnored);

    const GuardedBroadcast terminated(Broadcast(5, Cat(Guid(), WideName(kUsbDisk))));
    const DeviceEvent ev = OnDeviceChange(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                                          reinterpret_cast<std::intptr_t>(terminated.get()));
    EXPECT_EQ(ev.kind, Kind::kInterfaceRemoved);
    EXPECT_EQ(ev.path, kUsbDisk8);

    // A volume broadcast claiming 18 bytes right at the page end: the padding is never read.
    Bytes exact = Broadcast(2, Volume(0x4, 1), 18);
    exact.resize(18);
    const GuardedBroadcast volume18(exact);
    EXPECT_EQ(OnDeviceChange(WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                             reinterpret_cast<std::intptr_t>(volume18.get()))
                  .kind,
              Kind::kVolumeArrival);
}

TEST(WinDeviceChange, ShellMediaMessageResolvesTheItemPidl) {
    constexpr std::uint32_t kShellMessage = WM_APP + 7;
    PIDLIST_ABSOLUTE root = ILCreateFromPathW(L"C:\\");
    ASSERT_NE(root, nullptr);
    PCIDLIST_ABSOLUTE items[2] = {root, nullptr};
    const auto w = reinterpret_cast<std::uintptr_t>(items);

    DeviceEvent ev = OnDeviceChange(kShellMessage, w, SHCNE_MEDIAINSERTED, kShellMessage);
    EXPECT_EQ(ev.kind, Kind::kMediaInserted);
    EXPECT_EQ(ev.letter, 'C');
    ev = OnDeviceChange(kShellMessage, w, SHCNE_MEDIAREMOVED | SHCNE_INTERRUPT, kShellMessage);
    EXPECT_EQ(ev.kind, Kind::kMediaRemoved);
    EXPECT_EQ(ev.letter, 'C');

    EXPECT_EQ(OnDeviceChange(kShellMessage, w, SHCNE_DRIVEADD, kShellMessage).kind, Kind::kIgnored);
    EXPECT_EQ(OnDeviceChange(kShellMessage, 0, SHCNE_MEDIAINSERTED, kShellMessage).kind,
              Kind::kIgnored);
    EXPECT_EQ(OnDeviceChange(kShellMessage, w, SHCNE_MEDIAINSERTED).kind, Kind::kIgnored)
        << "not the registered message";
    PCIDLIST_ABSOLUTE none[2] = {nullptr, nullptr};
    EXPECT_EQ(OnDeviceChange(kShellMessage, reinterpret_cast<std::uintptr_t>(none),
                             SHCNE_MEDIAINSERTED, kShellMessage)
                  .kind,
              Kind::kIgnored);

    PIDLIST_ABSOLUTE folder = ILCreateFromPathW(L"C:\\windows");
    ASSERT_NE(folder, nullptr);
    PCIDLIST_ABSOLUTE folderItems[2] = {folder, nullptr};
    EXPECT_EQ(OnDeviceChange(kShellMessage, reinterpret_cast<std::uintptr_t>(folderItems),
                             SHCNE_MEDIAINSERTED, kShellMessage)
                  .kind,
              Kind::kIgnored);
    ILFree(folder);
    ILFree(root);
}

TEST(WinDeviceChange, ShellMediaRegistrationForAWindow) {
    EXPECT_EQ(RegisterShellMediaNotifications(nullptr, WM_APP + 1), 0u);
    const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(RegisterShellMediaNotifications(window, 0), 0u);
    const std::uint32_t id = RegisterShellMediaNotifications(window, WM_APP + 1);
    EXPECT_NE(id, 0u);
    UnregisterShellMediaNotifications(id);
    UnregisterShellMediaNotifications(0);
    DestroyWindow(window);
}

} // namespace
} // namespace tvd
