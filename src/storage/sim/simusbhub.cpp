#include "storage/sim/simusbhub.h"

#include <algorithm>

namespace tvd {

namespace {

const SimUsbPort* PortOf(const std::vector<SimUsbPort>& ports, std::uint32_t port) {
    for (const SimUsbPort& p : ports)
        if (p.port == port) return &p;
    return nullptr;
}

ErrorCode Copy(ByteView bytes, MutableByteView out, std::uint32_t& returned) {
    const std::size_t n = std::min(bytes.size(), out.size());
    std::copy_n(bytes.begin(), n, out.begin());
    returned = static_cast<std::uint32_t>(n);
    return err::kSuccess;
}

} // namespace

std::string SimUsbString(const SimUsbSpec& usb, std::uint8_t index) {
    switch (index) {
    case 1:
        return usb.manufacturer;
    case 2:
        return usb.product;
    case 3:
        return usb.serial;
    default:
        return {};
    }
}

UsbConnectionInfo SimConnectionInfo(const SimUsbPort& p) {
    UsbConnectionInfo info;
    info.port = p.port;
    auto& d = info.deviceDescriptor;
    d[0] = static_cast<std::uint8_t>(usbdevdesc::kSize);
    d[1] = 1; // DEVICE
    const std::uint16_t link = p.usb.link;
    StoreLe<std::uint16_t>(d, usbdevdesc::kBcdUsb, link == 0x0100 ? 0x0110 : link);
    d[usbdevdesc::kMaxPacketSize0] = link == 0x0300 ? 9 : link == 0x0100 ? 8 : 64;
    StoreLe<std::uint16_t>(d, usbdevdesc::kIdVendor, p.usb.vendorId);
    StoreLe<std::uint16_t>(d, usbdevdesc::kIdProduct, p.usb.productId);
    StoreLe<std::uint16_t>(d, usbdevdesc::kBcdDevice, 0x0100);
    d[usbdevdesc::kIManufacturer] = p.usb.manufacturer.empty() ? 0 : 1;
    d[usbdevdesc::kIProduct] = p.usb.product.empty() ? 0 : 2;
    d[usbdevdesc::kISerialNumber] = p.usb.serial.empty() ? 0 : 3;
    d[17] = 1; // configurations
    info.configuration = 1;
    info.lowSpeed = link == 0x0100;
    info.address = static_cast<std::uint16_t>(p.port + 1);
    info.status = usbconn::kDeviceConnected;
    const std::uint16_t packet = link == 0x0300 ? 1024 : link == 0x0200 ? 512 : 64;
    if (link != 0x0100) {
        info.pipes.push_back({0x81, 2, 0, packet});
        info.pipes.push_back({0x02, 2, 0, packet});
    }
    return info;
}

ErrorCode SimUsbHubIoControl(const std::vector<SimUsbPort>& ports, std::uint8_t portCount,
                             std::uint32_t code, ByteView in, MutableByteView out,
                             std::uint32_t& returned) {
    returned = 0;
    switch (code) {
    case ioctl::kUsbGetNodeInformation:
        return Copy(usbdesc::EncodeHubInformation(portCount, false), out, returned);
    case ioctl::kUsbGetNodeConnectionInformation: {
        if (in.size() < 4 || out.size() < usbconn::kMinAnswer) return err::kInvalidParameter;
        const std::uint32_t port = Le<std::uint32_t>(in, 0);
        if (port == 0 || port > portCount) return err::kInvalidParameter;
        UsbConnectionInfo info;
        info.port = port;
        if (const SimUsbPort* p = PortOf(ports, port)) info = SimConnectionInfo(*p);
        return Copy(usbdesc::EncodeConnectionInfo(info), out, returned);
    }
    case ioctl::kUsbGetNodeConnectionDriverKeyName: {
        if (in.size() < 4) return err::kInvalidParameter;
        const SimUsbPort* p = PortOf(ports, Le<std::uint32_t>(in, 0));
        if (!p) return err::kInvalidParameter;
        std::vector<std::uint8_t> answer(out.size(), 0);
        std::copy_n(in.begin(), std::min<std::size_t>(4, answer.size()), answer.begin());
        std::uint32_t n = 0;
        if (!usbdesc::EncodeNameAnswer(p->driverKey, usbname::kDriverKeyActualLength,
                                       usbname::kDriverKeyName, answer, n))
            return err::kInsufficientBuffer;
        return Copy(ByteView(answer).first(n), out, returned);
    }
    case ioctl::kUsbGetDescriptorFromNodeConnection: {
        if (in.size() < usbdescreq::kData || out.size() < usbdescreq::kData)
            return err::kInvalidParameter;
        const SimUsbPort* p = PortOf(ports, Le<std::uint32_t>(in, 0));
        const std::uint16_t value = Le<std::uint16_t>(in, usbdescreq::kWValue);
        const std::uint16_t wanted = Le<std::uint16_t>(in, usbdescreq::kWLength);
        if (!p || (value >> 8) != 3) return err::kGenFailure;
        std::vector<std::uint8_t> descriptor;
        if ((value & 0xFF) == 0) {
            descriptor = {4, 3, 0x09, 0x04}; // English (United States)
        } else {
            const std::string text = SimUsbString(p->usb, static_cast<std::uint8_t>(value));
            if (text.empty()) return err::kGenFailure; // the device stalls
            descriptor = usbdesc::EncodeStringDescriptor(text);
        }
        std::vector<std::uint8_t> answer(in.begin(), in.begin() + usbdescreq::kData);
        const std::size_t n = std::min<std::size_t>(descriptor.size(), wanted);
        answer.insert(answer.end(), descriptor.begin(), descriptor.begin() + n);
        return Copy(answer, out, returned);
    }
    default:
        return err::kInvalidFunction;
    }
}

ErrorCode SimUsbHostIoControl(const std::string& rootHubName, std::uint32_t code,
                              MutableByteView out, std::uint32_t& returned) {
    returned = 0;
    if (code != ioctl::kUsbGetRootHubName) return err::kInvalidFunction;
    if (!usbdesc::EncodeNameAnswer(rootHubName, usbname::kRootHubActualLength,
                                   usbname::kRootHubName, out, returned))
        return err::kInsufficientBuffer;
    return err::kSuccess;
}

} // namespace tvd
