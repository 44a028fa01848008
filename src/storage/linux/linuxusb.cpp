#include "storage/linux/linuxusb.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "storage/linux/linuxstorage.h"
#include "storage/linux/linuxsysfs.h"

namespace tvd {

namespace linuxsys {

namespace {

constexpr const char* kUsbNodePrefix = "/dev/bus/usb/";

struct UsbNodeHandle final : DeviceHandle::Impl {
    std::string dir;
};

UsbNodeHandle* NodeOf(DeviceHandle& h) {
    return dynamic_cast<UsbNodeHandle*>(h.Get());
}

bool ParseNumber(const std::string& text, int base, std::uint32_t max, std::uint32_t& out) {
    if (text.empty() || text.size() > 8) return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, base);
    if (end == nullptr || *end != '\0' || v > max) return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

std::uint32_t AttrNumber(const std::string& dir, const char* name, int base, std::uint32_t max) {
    std::uint32_t v = 0;
    return ParseNumber(ReadAttr(dir, name), base, max, v) ? v : 0;
}

ErrorCode Copy(ByteView bytes, MutableByteView out, std::uint32_t& returned) {
    const std::size_t n = std::min(bytes.size(), out.size());
    std::copy_n(bytes.begin(), n, out.begin());
    returned = static_cast<std::uint32_t>(n);
    return err::kSuccess;
}

// Speed in Mb/s as sysfs writes it ("1.5", "12", "480", "5000", ...).
bool SuperSpeed(const std::string& dir) {
    std::uint32_t mbps = 0;
    return ParseNumber(ReadAttr(dir, "speed"), 10, 1000000, mbps) && mbps >= 5000;
}

} // namespace

bool IsUsbNodePath(const std::string& path) {
    return path.rfind(kUsbNodePrefix, 0) == 0;
}

ErrorCode OpenUsbNode(const std::string& devicesDir, const std::string& path, DeviceHandle& h) {
    h.Close();
    const std::string rest = path.substr(std::char_traits<char>::length(kUsbNodePrefix));
    const std::size_t slash = rest.find('/');
    std::uint32_t bus = 0, dev = 0;
    if (slash == std::string::npos || !ParseNumber(rest.substr(0, slash), 10, 0xFFFF, bus) ||
        !ParseNumber(rest.substr(slash + 1), 10, 0xFFFF, dev))
        return err::kFileNotFound;
    for (const std::string& name : ListDir(devicesDir)) {
        // Interfaces ("1-2:1.0") carry no bus and device numbers of their own.
        if (name.find(':') != std::string::npos) continue;
        const std::string dir = Canonical(devicesDir + "/" + name);
        if (dir.empty() || AttrNumber(dir, "busnum", 10, 0xFFFF) != bus ||
            AttrNumber(dir, "devnum", 10, 0xFFFF) != dev)
            continue;
        auto impl = std::make_unique<UsbNodeHandle>();
        impl->dir = dir;
        h.Reset(std::move(impl), false);
        return err::kSuccess;
    }
    return err::kFileNotFound;
}

std::string UsbChildDir(const std::string& hubDir, std::uint32_t port) {
    const std::string hub = BaseName(hubDir);
    std::string child;
    if (hub.rfind("usb", 0) == 0)
        child = hub.substr(3) + "-" + std::to_string(port); // a root hub's ports: "B-P"
    else
        child = hub + "." + std::to_string(port);
    const std::string dir = hubDir + "/" + child;
    return ReadAttr(dir, "devnum").empty() ? std::string() : dir;
}

UsbConnectionInfo UsbConnectionFromSysfs(const std::string& dir, std::uint32_t port) {
    UsbConnectionInfo info;
    info.port = port;
    std::vector<std::uint8_t> raw;
    if (!ReadAttrBytes(dir, "descriptors", raw, 4096) || raw.size() < usbdevdesc::kSize)
        return info;
    std::copy_n(raw.begin(), usbdevdesc::kSize, info.deviceDescriptor.begin());
    info.status = usbconn::kDeviceConnected;
    info.configuration = static_cast<std::uint8_t>(AttrNumber(dir, "bConfigurationValue", 10, 255));
    info.lowSpeed = ReadAttr(dir, "speed") == "1.5";
    info.isHub = ReadAttr(dir, "bDeviceClass") == "09";
    info.address = static_cast<std::uint16_t>(AttrNumber(dir, "devnum", 10, 0xFFFF));
    // The endpoints of the interfaces of the active configuration are its open pipes.
    const std::string name = BaseName(dir);
    const std::string prefix = name + ":" + std::to_string(info.configuration) + ".";
    for (const std::string& iface : ListDir(dir)) {
        if (iface.rfind(prefix, 0) != 0) continue;
        const std::string ifaceDir = dir + "/" + iface;
        for (const std::string& ep : ListDir(ifaceDir)) {
            if (ep.rfind("ep_", 0) != 0 || info.pipes.size() >= usbconn::kMaxPipes) continue;
            const std::string epDir = ifaceDir + "/" + ep;
            UsbPipe p;
            p.endpointAddress =
                static_cast<std::uint8_t>(AttrNumber(epDir, "bEndpointAddress", 16, 255));
            p.attributes = static_cast<std::uint8_t>(AttrNumber(epDir, "bmAttributes", 16, 255));
            p.maxPacketSize =
                static_cast<std::uint16_t>(AttrNumber(epDir, "wMaxPacketSize", 16, 0xFFFF));
            p.interval = static_cast<std::uint8_t>(AttrNumber(epDir, "bInterval", 16, 255));
            info.pipes.push_back(p);
        }
    }
    return info;
}

std::string UsbStringFromSysfs(const std::string& dir, std::uint8_t index) {
    std::vector<std::uint8_t> raw;
    if (index == 0 || !ReadAttrBytes(dir, "descriptors", raw, 4096) ||
        raw.size() < usbdevdesc::kSize)
        return {};
    if (index == raw[usbdevdesc::kIManufacturer]) return ReadAttr(dir, "manufacturer");
    if (index == raw[usbdevdesc::kIProduct]) return ReadAttr(dir, "product");
    if (index == raw[usbdevdesc::kISerialNumber]) return ReadAttr(dir, "serial");
    return {};
}

std::string UsbStorageDriver(const std::string& dir) {
    for (const std::string& iface : ListDir(dir)) {
        if (iface.find(':') == std::string::npos) continue;
        const std::string driver = DriverOf(dir + "/" + iface);
        if (driver == "uas" || driver == "usb-storage") return driver;
    }
    return {};
}

ErrorCode UsbNodeIoControl(DeviceHandle& h, std::uint32_t code, ByteView in, MutableByteView out,
                           std::uint32_t& returned) {
    returned = 0;
    UsbNodeHandle* node = NodeOf(h);
    if (!node) return err::kNotSupported;
    const std::string& dir = node->dir;
    const std::uint32_t ports = AttrNumber(dir, "maxchild", 10, 255);
    auto portOf = [&](std::uint32_t& port) {
        return in.size() >= 4 && (port = Le<std::uint32_t>(in, 0)) >= 1 && port <= ports;
    };
    std::uint32_t port = 0;
    switch (code) {
    case ioctl::kUsbGetNodeInformation:
        if (ports == 0) return err::kInvalidFunction; // not a hub
        return Copy(
            usbdesc::EncodeHubInformation(static_cast<std::uint8_t>(ports), SuperSpeed(dir)), out,
            returned);
    case ioctl::kUsbGetNodeConnectionInformation: {
        if (!portOf(port) || out.size() < usbconn::kMinAnswer) return err::kInvalidParameter;
        const std::string child = UsbChildDir(dir, port);
        UsbConnectionInfo info;
        info.port = port;
        if (!child.empty()) info = UsbConnectionFromSysfs(child, port);
        return Copy(usbdesc::EncodeConnectionInfo(info), out, returned);
    }
    case ioctl::kUsbGetNodeConnectionDriverKeyName: {
        if (!portOf(port)) return err::kInvalidParameter;
        const std::string child = UsbChildDir(dir, port);
        if (child.empty()) return err::kInvalidParameter;
        std::vector<std::uint8_t> answer(out.size(), 0);
        std::copy_n(in.begin(), std::min<std::size_t>(4, answer.size()), answer.begin());
        std::uint32_t n = 0;
        if (!usbdesc::EncodeNameAnswer(BaseName(child), usbname::kDriverKeyActualLength,
                                       usbname::kDriverKeyName, answer, n))
            return err::kInsufficientBuffer;
        return Copy(ByteView(answer).first(n), out, returned);
    }
    case ioctl::kUsbGetDescriptorFromNodeConnection: {
        if (!portOf(port) || in.size() < usbdescreq::kData) return err::kInvalidParameter;
        const std::string child = UsbChildDir(dir, port);
        const std::uint16_t value = Le<std::uint16_t>(in, usbdescreq::kWValue);
        const std::uint16_t wanted = Le<std::uint16_t>(in, usbdescreq::kWLength);
        if (child.empty() || (value >> 8) != 3) return err::kGenFailure;
        std::vector<std::uint8_t> descriptor;
        if ((value & 0xFF) == 0) {
            descriptor = {4, 3, 0x09, 0x04};
        } else {
            const std::string text = UsbStringFromSysfs(child, static_cast<std::uint8_t>(value));
            if (text.empty()) return err::kGenFailure;
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

} // namespace linuxsys

ErrorCode LinuxStorage::IoControl(DeviceHandle& h, std::uint32_t code, ByteView in,
                                  MutableByteView out, std::uint32_t& returned) {
    return linuxsys::UsbNodeIoControl(h, code, in, out, returned);
}

} // namespace tvd
