// Device-change window messages and the shell's media notifications, decoded into portable
// device events. The byte-level decoders take plain bytes so that crafted broadcasts can be
// tested; OnDeviceChange reads a real message's broadcast only within its own size field.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "foundation/bytesutil.h"
#include "storage/storageplatform.h"

namespace tvd {

// WM_DEVICECHANGE, its events and the DEV_BROADCAST_* layouts (the same on both word sizes).
namespace devbroadcast {
inline constexpr std::uint32_t kMessage = 0x0219;
inline constexpr std::uint32_t kNodesChanged = 0x0007, kArrival = 0x8000, kRemoveComplete = 0x8004;
inline constexpr std::uint32_t kTypeDevNode = 1, kTypeVolume = 2, kTypeInterface = 5;
inline constexpr std::uint16_t kFlagMedia = 0x0001;
// DEV_BROADCAST_HDR.
inline constexpr std::size_t kSize = 0, kDeviceType = 4, kReserved = 8, kHeaderSize = 12;
// DEV_BROADCAST_DEVNODE.
inline constexpr std::size_t kDevNode = 12, kDevNodeSize = 16;
// DEV_BROADCAST_VOLUME; the fields end at 18, the structure is padded to 20.
inline constexpr std::size_t kUnitMask = 12, kFlags = 16, kVolumeFieldsEnd = 18;
// DEV_BROADCAST_DEVICEINTERFACE_A/_W: the class and the NUL-terminated name.
inline constexpr std::size_t kClassGuid = 12, kName = 28;
// No broadcast is read beyond this, whatever its size field says: room for the longest
// UTF-16 path the system can name.
inline constexpr std::uint32_t kMaxSize = kName + 2 * 32768;
} // namespace devbroadcast

// The shell's media events (SHCNE_*); the interrupt flag may ride along.
namespace shellmedia {
inline constexpr std::uint32_t kMediaInserted = 0x20, kMediaRemoved = 0x40,
                               kInterrupt = 0x80000000u;
}

// One WM_DEVICECHANGE event. `broadcast` holds the bytes behind lParam (empty when there are
// none); its size field must lie within them and the structure its type needs within that size,
// else the event is ignored. An interface name is UTF-16 when its second byte is zero (every
// device path starts with an ASCII character), 8-bit in the ANSI code page otherwise, and counts
// only when its NUL lies within the size.
DeviceEvent DecodeDeviceBroadcast(std::uint32_t event, ByteView broadcast);

// A shell notification with the path of its first item: media events on a drive root ("X:\" or
// "X:") name the letter; anything else is ignored.
DeviceEvent DecodeShellMediaEvent(std::uint32_t event, std::u16string_view itemPath);

// A window message. `shellMediaMessage` is the message given to the shell's registration (0 when
// none); for it wParam points to the item PIDLs and lParam is the event, the delivery that
// RegisterShellMediaNotifications asks for. Every other message is ignored.
DeviceEvent OnDeviceChange(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                           std::uint32_t shellMediaMessage = 0);

// Registers `window` for the shell's media insertion and removal notifications on every drive,
// sent as `message`. Answers the registration id, 0 when the shell refused.
std::uint32_t RegisterShellMediaNotifications(void* window, std::uint32_t message);
void UnregisterShellMediaNotifications(std::uint32_t registration);

} // namespace tvd
