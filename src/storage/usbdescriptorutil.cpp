#include "storage/usbdescriptorutil.h"

#include <algorithm>

#include "foundation/textconvutil.h"

namespace tvd::usbdesc {

namespace {
constexpr std::uint8_t kStringDescriptor = 3;
constexpr std::uint16_t kEnglishUs = 0x0409;
constexpr std::uint8_t kBulk = 2;
} // namespace

std::optional<UsbConnectionInfo> DecodeConnectionInfo(ByteView b) {
    if (b.size() < usbconn::kMinAnswer) return std::nullopt;
    b = b.first(std::min(b.size(), usbconn::kSize));
    UsbConnectionInfo info;
    info.port = Le<std::uint32_t>(b, usbconn::kConnectionIndex);
    std::copy_n(b.begin() + usbconn::kDeviceDescriptor, usbdevdesc::kSize,
                info.deviceDescriptor.begin());
    info.configuration = b[usbconn::kCurrentConfigurationValue];
    info.lowSpeed = b[usbconn::kLowSpeed] != 0;
    info.isHub = b[usbconn::kDeviceIsHub] != 0;
    info.address = Le<std::uint16_t>(b, usbconn::kDeviceAddress);
    info.status = Le<std::uint32_t>(b, usbconn::kConnectionStatus);
    // Never more pipes than entries that came back, whatever the count says.
    const std::size_t present = (b.size() - usbconn::kPipeList) / usbconn::kPipeSize;
    const std::size_t count =
        std::min<std::size_t>(Le<std::uint32_t>(b, usbconn::kNumberOfOpenPipes), present);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = usbconn::kPipeList + i * usbconn::kPipeSize;
        UsbPipe p;
        p.endpointAddress = b[at + usbconn::kEpAddress];
        p.attributes = b[at + usbconn::kEpAttributes];
        p.maxPacketSize = Le<std::uint16_t>(b, at + usbconn::kEpMaxPacketSize);
        p.interval = b[at + usbconn::kEpInterval];
        info.pipes.push_back(p);
    }
    return info;
}

std::vector<std::uint8_t> EncodeConnectionInfo(const UsbConnectionInfo& info) {
    std::vector<std::uint8_t> b(usbconn::kSize, 0);
    StoreLe<std::uint32_t>(b, usbconn::kConnectionIndex, info.port);
    std::copy(info.deviceDescriptor.begin(), info.deviceDescriptor.end(),
              b.begin() + usbconn::kDeviceDescriptor);
    b[usbconn::kCurrentConfigurationValue] = info.configuration;
    b[usbconn::kLowSpeed] = info.lowSpeed ? 1 : 0;
    b[usbconn::kDeviceIsHub] = info.isHub ? 1 : 0;
    StoreLe<std::uint16_t>(b, usbconn::kDeviceAddress, info.address);
    const std::size_t pipes = std::min(info.pipes.size(), usbconn::kMaxPipes);
    StoreLe<std::uint32_t>(b, usbconn::kNumberOfOpenPipes, static_cast<std::uint32_t>(pipes));
    StoreLe<std::uint32_t>(b, usbconn::kConnectionStatus, info.status);
    for (std::size_t i = 0; i < pipes; ++i) {
        const std::size_t at = usbconn::kPipeList + i * usbconn::kPipeSize;
        const UsbPipe& p = info.pipes[i];
        b[at] = 7;     // bLength
        b[at + 1] = 5; // ENDPOINT
        b[at + usbconn::kEpAddress] = p.endpointAddress;
        b[at + usbconn::kEpAttributes] = p.attributes;
        StoreLe<std::uint16_t>(b, at + usbconn::kEpMaxPacketSize, p.maxPacketSize);
        b[at + usbconn::kEpInterval] = p.interval;
    }
    return b;
}

std::uint16_t LinkVersion(const UsbConnectionInfo& info) {
    if (info.lowSpeed) return 0x0100;
    if (info.MaxPacketSize0() == 9) return 0x0300;
    for (const UsbPipe& p : info.pipes) {
        if ((p.attributes & 3) != kBulk) continue;
        switch (p.maxPacketSize) {
        case 64:
            return 0x0110;
        case 512:
            return 0x0200;
        case 1024:
            return 0x0300;
        default:
            return 0;
        }
    }
    return 0;
}

std::uint8_t HubPortCount(ByteView b) {
    if (b.size() <= usbnode::kNumberOfPorts) return 0;
    const std::uint8_t type = b[usbnode::kDescriptorType];
    if (type != usbnode::kHubDescriptor && type != usbnode::kSuperSpeedHubDescriptor) return 0;
    return b[usbnode::kNumberOfPorts];
}

std::vector<std::uint8_t> EncodeHubInformation(std::uint8_t ports, bool superSpeed) {
    std::vector<std::uint8_t> b(usbnode::kSize, 0);
    // NodeType 0: UsbHub.
    b[usbnode::kDescriptorLength] = superSpeed ? 12 : 9;
    b[usbnode::kDescriptorType] =
        superSpeed ? usbnode::kSuperSpeedHubDescriptor : usbnode::kHubDescriptor;
    b[usbnode::kNumberOfPorts] = ports;
    return b;
}

std::vector<std::uint8_t> StringRequest(std::uint32_t port, std::uint8_t index) {
    std::vector<std::uint8_t> b(usbdescreq::kSize, 0);
    StoreLe<std::uint32_t>(b, usbdescreq::kConnectionIndex, port);
    b[usbdescreq::kBmRequest] = 0x80;
    b[usbdescreq::kBRequest] = 6; // GET_DESCRIPTOR
    StoreLe<std::uint16_t>(b, usbdescreq::kWValue, static_cast<std::uint16_t>(0x0300 + index));
    StoreLe<std::uint16_t>(b, usbdescreq::kWIndex, kEnglishUs);
    StoreLe<std::uint16_t>(b, usbdescreq::kWLength,
                           static_cast<std::uint16_t>(usbdescreq::kMaxData));
    return b;
}

std::optional<std::string> DecodeStringAnswer(ByteView b) {
    if (b.size() <= usbdescreq::kData + 1) return std::nullopt;
    const ByteView d =
        b.subspan(usbdescreq::kData, std::min(b.size() - usbdescreq::kData, usbdescreq::kMaxData));
    const std::size_t length = d[0];
    if (d[1] != kStringDescriptor || length < 2 || length % 2 != 0 || length > d.size())
        return std::nullopt;
    std::string text;
    for (std::size_t i = 2; i + 1 < length; i += 2) {
        if (d[i] == 0 && d[i + 1] == 0) break;
        text.push_back(static_cast<char>(d[i]));
    }
    return text;
}

std::vector<std::uint8_t> EncodeStringDescriptor(std::string_view utf8) {
    std::u16string units = Utf8ToUtf16(utf8);
    units.resize(std::min<std::size_t>(units.size(), (usbdescreq::kMaxData - 2) / 2));
    std::vector<std::uint8_t> d(2 + units.size() * 2, 0);
    d[0] = static_cast<std::uint8_t>(d.size());
    d[1] = kStringDescriptor;
    for (std::size_t i = 0; i < units.size(); ++i)
        StoreLe<std::uint16_t>(d, 2 + 2 * i, units[i]);
    return d;
}

std::string DecodeName(ByteView b, std::size_t offset) {
    std::string text;
    for (std::size_t i = offset; i + 1 < b.size(); i += 2) {
        const std::uint16_t u = Le<std::uint16_t>(b, i);
        if (u == 0) break;
        text.push_back(u < 0x80 ? static_cast<char>(u) : '?');
    }
    return text;
}

bool EncodeNameAnswer(std::string_view name, std::size_t sizeOffset, std::size_t nameOffset,
                      MutableByteView out, std::uint32_t& returned) {
    returned = 0;
    const std::u16string units = Utf8ToUtf16(name);
    const std::size_t needed = nameOffset + 2 * (units.size() + 1);
    if (out.size() < sizeOffset + 4) return false;
    StoreLe<std::uint32_t>(out, sizeOffset, static_cast<std::uint32_t>(needed));
    if (out.size() < needed) {
        returned = static_cast<std::uint32_t>(std::min(out.size(), nameOffset));
        return true;
    }
    for (std::size_t i = 0; i < units.size(); ++i)
        StoreLe<std::uint16_t>(out, nameOffset + 2 * i, units[i]);
    StoreLe<std::uint16_t>(out, nameOffset + 2 * units.size(), 0);
    returned = static_cast<std::uint32_t>(needed);
    return true;
}

} // namespace tvd::usbdesc
