#include "storage/win32/windevicechange.h"

#include <windows.h>

#include <dbt.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "foundation/textconvutil.h"

namespace tvd {

namespace {

using Kind = DeviceEvent::Kind;

bool IsMediaEvent(std::uint32_t event) {
    const std::uint32_t what = event & ~shellmedia::kInterrupt;
    return what == shellmedia::kMediaInserted || what == shellmedia::kMediaRemoved;
}

// The interface name between `name` and the end of the broadcast, up to its NUL; false when the
// NUL is missing.
bool InterfaceName(ByteView name, std::string& path) {
    const bool wide = name.size() >= 2 && name[0] != 0 && name[1] == 0;
    if (wide) {
        std::u16string text;
        for (std::size_t off = 0;; off += 2) {
            std::uint16_t c = 0;
            if (!LoadLe(name, off, c)) return false;
            if (c == 0) break;
            text.push_back(static_cast<char16_t>(c));
        }
        path = Utf16ToUtf8(text);
        return true;
    }
    const auto nul = std::find(name.begin(), name.end(), std::uint8_t{0});
    if (nul == name.end()) return false;
    const std::string_view bytes(reinterpret_cast<const char*>(name.data()),
                                 static_cast<std::size_t>(nul - name.begin()));
    path = Utf16ToUtf8(CodePageToUtf16(bytes, kCodePageAnsi));
    return true;
}

} // namespace

DeviceEvent DecodeDeviceBroadcast(std::uint32_t event, ByteView broadcast) {
    using namespace devbroadcast;
    DeviceEvent ev;
    if (event == kNodesChanged) {
        ev.kind = Kind::kNodesChanged;
        return ev;
    }
    const bool arrival = event == kArrival;
    if (!arrival && event != kRemoveComplete) return ev;

    std::uint32_t size = 0, type = 0;
    if (!LoadLe(broadcast, kSize, size) || !LoadLe(broadcast, kDeviceType, type)) return ev;
    if (size < kHeaderSize || size > broadcast.size()) return ev;
    const ByteView b = broadcast.first(size);

    switch (type) {
    case kTypeDevNode: {
        std::uint32_t devInst = 0;
        if (!LoadLe(b, kDevNode, devInst)) return ev;
        ev.devInst = devInst;
        ev.kind = arrival ? Kind::kNodeArrival : Kind::kNodeRemoved;
        return ev;
    }
    case kTypeVolume: {
        std::uint32_t mask = 0;
        std::uint16_t flags = 0;
        if (!LoadLe(b, kUnitMask, mask) || !LoadLe(b, kFlags, flags)) return ev;
        ev.unitMask = mask;
        ev.media = (flags & kFlagMedia) != 0;
        ev.kind = arrival ? Kind::kVolumeArrival : Kind::kVolumeRemoved;
        return ev;
    }
    case kTypeInterface: {
        std::string path;
        try {
            if (b.size() < kName || !InterfaceName(b.subspan(kName), path)) return ev;
        } catch (const std::bad_alloc&) {
            return ev; // a window procedure must not throw; the next refresh catches up
        }
        ev.path = std::move(path);
        ev.kind = arrival ? Kind::kInterfaceArrival : Kind::kInterfaceRemoved;
        return ev;
    }
    default:
        return ev;
    }
}

DeviceEvent DecodeShellMediaEvent(std::uint32_t event, std::u16string_view itemPath) {
    DeviceEvent ev;
    if (!IsMediaEvent(event)) return ev;
    const bool root = itemPath.size() == 2 || (itemPath.size() == 3 && itemPath[2] == u'\\');
    if (!root || itemPath[1] != u':') return ev;
    char16_t letter = itemPath[0];
    if (letter >= u'a' && letter <= u'z') letter = static_cast<char16_t>(letter - u'a' + u'A');
    if (letter < u'A' || letter > u'Z') return ev;
    ev.letter = static_cast<char>(letter);
    ev.kind = (event & ~shellmedia::kInterrupt) == shellmedia::kMediaInserted ? Kind::kMediaInserted
                                                                              : Kind::kMediaRemoved;
    return ev;
}

DeviceEvent OnDeviceChange(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                           std::uint32_t shellMediaMessage) {
    if (shellMediaMessage != 0 && message == shellMediaMessage) {
        const auto event = static_cast<std::uint32_t>(lParam);
        if (!IsMediaEvent(event) || wParam == 0) return {};
        const auto* items = reinterpret_cast<const PCIDLIST_ABSOLUTE*>(wParam);
        if (!items[0]) return {};
        wchar_t path[MAX_PATH] = {};
        if (!SHGetPathFromIDListW(items[0], path)) return {};
        return DecodeShellMediaEvent(event,
                                     std::u16string_view(reinterpret_cast<const char16_t*>(path),
                                                         std::char_traits<wchar_t>::length(path)));
    }
    if (message != devbroadcast::kMessage) return {};
    const auto event = static_cast<std::uint32_t>(wParam);
    if (event == devbroadcast::kNodesChanged) return DecodeDeviceBroadcast(event, {});
    if (event != devbroadcast::kArrival && event != devbroadcast::kRemoveComplete) return {};
    if (lParam == 0) return {};
    // The system guarantees the header; everything behind it is read within dbch_size only.
    const auto* base = reinterpret_cast<const std::uint8_t*>(lParam);
    DWORD size = 0;
    std::memcpy(&size, base, sizeof size);
    const std::size_t view = std::min<std::size_t>(size, devbroadcast::kMaxSize);
    if (view < devbroadcast::kHeaderSize) return {};
    return DecodeDeviceBroadcast(event, ByteView(base, view));
}

std::uint32_t RegisterShellMediaNotifications(void* window, std::uint32_t message) {
    if (!window || message == 0) return 0;
    PIDLIST_ABSOLUTE desktop = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop))) return 0;
    const SHChangeNotifyEntry entry{desktop, TRUE};
    // Without SHCNRF_NewDelivery: wParam carries the PIDLs, lParam the event.
    const ULONG id =
        SHChangeNotifyRegister(static_cast<HWND>(window), SHCNRF_InterruptLevel | SHCNRF_ShellLevel,
                               SHCNE_MEDIAINSERTED | SHCNE_MEDIAREMOVED, message, 1, &entry);
    CoTaskMemFree(desktop);
    return id;
}

void UnregisterShellMediaNotifications(std::uint32_t registration) {
    if (registration != 0) SHChangeNotifyDeregister(registration);
}

} // namespace tvd
