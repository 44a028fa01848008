// The byte layouts of the USB hub requests (the Windows hub driver's structures, packed) and
// their decoders and builders. Windows sends and receives them as they are; the Linux and
// simulated back ends build the same records from what they know, so everything above is
// shared. Offsets are checked against the system headers in the Windows build.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/bytesutil.h"

namespace tvd {

namespace ioctl {
// IOCTL_USB_GET_NODE_INFORMATION on a hub; the same code is IOCTL_USB_GET_ROOT_HUB_NAME on a
// host controller.
inline constexpr std::uint32_t kUsbGetNodeInformation = 0x00220408;
inline constexpr std::uint32_t kUsbGetRootHubName = 0x00220408;
inline constexpr std::uint32_t kUsbGetNodeConnectionInformation = 0x0022040C;
inline constexpr std::uint32_t kUsbGetDescriptorFromNodeConnection = 0x00220410;
inline constexpr std::uint32_t kUsbGetNodeConnectionDriverKeyName = 0x00220420;
} // namespace ioctl

// USB_DEVICE_DESCRIPTOR (18 bytes).
namespace usbdevdesc {
inline constexpr std::size_t kSize = 18;
inline constexpr std::size_t kBcdUsb = 2, kMaxPacketSize0 = 7, kIdVendor = 8, kIdProduct = 10,
                             kBcdDevice = 12, kIManufacturer = 14, kIProduct = 15,
                             kISerialNumber = 16;
} // namespace usbdevdesc

// USB_NODE_CONNECTION_INFORMATION (packed).
namespace usbconn {
inline constexpr std::size_t kConnectionIndex = 0, kDeviceDescriptor = 4,
                             kCurrentConfigurationValue = 22, kLowSpeed = 23, kDeviceIsHub = 24,
                             kDeviceAddress = 25, kNumberOfOpenPipes = 27, kConnectionStatus = 31,
                             kPipeList = 35;
inline constexpr std::size_t kPipeSize = 11, kMaxPipes = 30;
inline constexpr std::size_t kSize = kPipeList + kPipeSize * kMaxPipes; // 365
// Within a pipe entry: the endpoint descriptor, then the schedule offset.
inline constexpr std::size_t kEpAddress = 2, kEpAttributes = 3, kEpMaxPacketSize = 4,
                             kEpInterval = 6, kScheduleOffset = 7;
// Shortest answer that carries the device descriptor and the status.
inline constexpr std::size_t kMinAnswer = 35;
inline constexpr std::uint32_t kDeviceConnected = 1;
} // namespace usbconn

// USB_NODE_INFORMATION with its hub descriptor.
namespace usbnode {
inline constexpr std::size_t kSize = 76;
inline constexpr std::size_t kNodeType = 0, kDescriptorLength = 4, kDescriptorType = 5,
                             kNumberOfPorts = 6, kHubCharacteristics = 7;
inline constexpr std::uint8_t kHubDescriptor = 0x29, kSuperSpeedHubDescriptor = 0x2A;
} // namespace usbnode

// USB_DESCRIPTOR_REQUEST: port, the setup packet, then the data.
namespace usbdescreq {
inline constexpr std::size_t kConnectionIndex = 0, kBmRequest = 4, kBRequest = 5, kWValue = 6,
                             kWIndex = 8, kWLength = 10, kData = 12;
inline constexpr std::size_t kMaxData = 255;
inline constexpr std::size_t kSize = kData + kMaxData; // 267
} // namespace usbdescreq

// USB_ROOT_HUB_NAME and USB_NODE_CONNECTION_DRIVERKEY_NAME: a size, then UTF-16 text.
namespace usbname {
inline constexpr std::size_t kRootHubActualLength = 0, kRootHubName = 4, kRootHubSize = 6;
inline constexpr std::size_t kDriverKeyIndex = 0, kDriverKeyActualLength = 4, kDriverKeyName = 8,
                             kDriverKeySize = 10;
} // namespace usbname

struct UsbPipe {
    std::uint8_t endpointAddress = 0, attributes = 0, interval = 0;
    std::uint16_t maxPacketSize = 0;
};

// A decoded connection information record.
struct UsbConnectionInfo {
    std::uint32_t port = 0;
    std::array<std::uint8_t, usbdevdesc::kSize> deviceDescriptor{};
    std::uint8_t configuration = 0;
    bool lowSpeed = false, isHub = false;
    std::uint16_t address = 0;
    std::uint32_t status = 0;
    std::vector<UsbPipe> pipes; // only those that came back

    std::uint16_t VendorId() const { return Le<std::uint16_t>(deviceDescriptor, 8); }
    std::uint16_t ProductId() const { return Le<std::uint16_t>(deviceDescriptor, 10); }
    std::uint16_t BcdUsb() const { return Le<std::uint16_t>(deviceDescriptor, 2); }
    std::uint16_t BcdDevice() const { return Le<std::uint16_t>(deviceDescriptor, 12); }
    std::uint8_t MaxPacketSize0() const { return deviceDescriptor[7]; }
    std::uint8_t ManufacturerIndex() const { return deviceDescriptor[14]; }
    std::uint8_t ProductIndex() const { return deviceDescriptor[15]; }
    std::uint8_t SerialIndex() const { return deviceDescriptor[16]; }
};

namespace usbdesc {
// The record of `returned` bytes; none when it is too short to carry the descriptor (35
// bytes). The pipe count is clamped to the entries that came back.
std::optional<UsbConnectionInfo> DecodeConnectionInfo(ByteView returned);
// The record as the hub driver writes it (the whole 365 bytes, at most 30 pipes).
std::vector<std::uint8_t> EncodeConnectionInfo(const UsbConnectionInfo& info);

// 0x0100 low speed, 0x0300 for bMaxPacketSize0 9, else by the first bulk pipe's packet size
// (64 → 0x0110, 512 → 0x0200, 1024 → 0x0300); 0 when unknown.
std::uint16_t LinkVersion(const UsbConnectionInfo& info);

// Hub port count of a node information answer; 0 unless it carries a hub descriptor.
std::uint8_t HubPortCount(ByteView returned);
std::vector<std::uint8_t> EncodeHubInformation(std::uint8_t ports, bool superSpeed);

// The string descriptor request of `index` (language 0x0409) for `port`.
std::vector<std::uint8_t> StringRequest(std::uint32_t port, std::uint8_t index);
// The text of an answered request of `returned` bytes: the descriptor must be of type 3 with an
// even length of at least 2 that fits what came back; the low byte of each UTF-16 unit. None
// otherwise.
std::optional<std::string> DecodeStringAnswer(ByteView returned);
// A string descriptor of UTF-8 text (UTF-16 units; cut to fit 255 bytes).
std::vector<std::uint8_t> EncodeStringDescriptor(std::string_view utf8);

// The UTF-16 name that starts at `offset`, ending at a NUL or at the end of what came back, as
// 8-bit text (non-ASCII units become '?').
std::string DecodeName(ByteView returned, std::size_t offset);
// A name answer: the size field (total bytes needed) at `sizeOffset`, the name at `nameOffset`
// when `out` holds it; `returned` is what fits. False when `out` cannot hold the size field.
bool EncodeNameAnswer(std::string_view name, std::size_t sizeOffset, std::size_t nameOffset,
                      MutableByteView out, std::uint32_t& returned);
} // namespace usbdesc

} // namespace tvd
