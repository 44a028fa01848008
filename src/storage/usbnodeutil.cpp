#include "storage/usbnodeutil.h"

#include <vector>

#include "storage/cldevicelist.h"
#include "storage/deviceregistry.h"
#include "storage/devicehandleutil.h"

namespace tvd {

namespace {

constexpr int kStringAttempts = 3;

ErrorCode Request(DeviceHandle& h, std::uint32_t code, ByteView in, MutableByteView out,
                  std::uint32_t& returned) {
    returned = 0;
    const ErrorCode e = Storage().IoControl(h, code, in, out, returned);
    // A back end must not claim more than the buffer it was given.
    if (e == err::kSuccess && returned > out.size()) return err::kInvalidData;
    return e;
}

// A name request: first with the fixed-size record, again with the size it asks for.
std::string NameRequest(DeviceHandle& h, std::uint32_t code, std::vector<std::uint8_t> first,
                        std::size_t sizeOffset, std::size_t nameOffset, std::uint32_t port,
                        bool withPort) {
    constexpr std::uint32_t kMaxName = 64 * 1024;
    std::uint32_t returned = 0;
    if (withPort) StoreLe<std::uint32_t>(first, 0, port);
    if (Request(h, code, first, first, returned) != err::kSuccess) return {};
    const std::uint32_t needed = Le<std::uint32_t>(first, sizeOffset);
    if (needed <= first.size())
        return usbdesc::DecodeName(ByteView(first).first(returned), nameOffset);
    if (needed > kMaxName) return {};
    std::vector<std::uint8_t> full(needed, 0);
    if (withPort) StoreLe<std::uint32_t>(full, 0, port);
    if (Request(h, code, full, full, returned) != err::kSuccess) return {};
    return usbdesc::DecodeName(ByteView(full).first(returned), nameOffset);
}

bool OpenNode(clDevice* node, DeviceHandle& h) {
    const char* path = node ? node->GetPath() : nullptr;
    return path && OpenDevice(path, h) == err::kSuccess;
}

bool StartsWithNoCase(const std::string& s, std::string_view prefix) {
    return s.size() >= prefix.size() &&
           PathEqualsNoCase(std::string_view(s).substr(0, prefix.size()), prefix);
}

} // namespace

clUsb* UsbParentNode(clUsb* node) {
    if (!node || (node->NodeKind() != usbkind::kHub && node->NodeKind() != usbkind::kDevice))
        return nullptr;
    // The node's own list, whichever registry holds it.
    auto* list = dynamic_cast<clDeviceList*>(node->Owner());
    const std::uint32_t parent = Storage().ParentOf(node->DevInst());
    if (!list || parent == 0) return nullptr;
    clDevice* d = list->FindByDevInst(parent);
    return d && d->Type() == devtype::kUsb && !d->IsRemoved() ? static_cast<clUsb*>(d) : nullptr;
}

std::string UsbRootHubName(DeviceHandle& controller) {
    return NameRequest(controller, ioctl::kUsbGetRootHubName,
                       std::vector<std::uint8_t>(usbname::kRootHubSize, 0),
                       usbname::kRootHubActualLength, usbname::kRootHubName, 0, false);
}

std::string UsbConnectionDriverKey(DeviceHandle& hub, std::uint32_t port) {
    return NameRequest(hub, ioctl::kUsbGetNodeConnectionDriverKeyName,
                       std::vector<std::uint8_t>(usbname::kDriverKeySize, 0),
                       usbname::kDriverKeyActualLength, usbname::kDriverKeyName, port, true);
}

std::uint8_t UsbHubPortCount(DeviceHandle& hub) {
    std::vector<std::uint8_t> b(usbnode::kSize, 0);
    std::uint32_t returned = 0;
    if (Request(hub, ioctl::kUsbGetNodeInformation, b, b, returned) != err::kSuccess) return 0;
    return usbdesc::HubPortCount(ByteView(b).first(returned));
}

int UsbPortNumber(clUsb* node) {
    clUsb* parent = UsbParentNode(node);
    if (!parent) return -1;
    switch (parent->NodeKind()) {
    case usbkind::kHub: {
        DeviceHandle hub;
        if (!OpenNode(parent, hub)) return -1;
        // The port whose device has the node's driver key; never merely the first occupied one.
        std::string key;
        if (Storage().GetProperty(node->DevInst(), DeviceProperty::kDriver, key) != err::kSuccess ||
            key.empty())
            return -1;
        const std::uint8_t ports = UsbHubPortCount(hub);
        for (std::uint32_t port = 1; port <= ports; ++port)
            if (PathEqualsNoCase(UsbConnectionDriverKey(hub, port), key))
                return static_cast<int>(port);
        return -1;
    }
    case usbkind::kHostController: {
        DeviceHandle controller;
        if (!OpenNode(parent, controller)) return -1;
        const std::string rootHub = UsbRootHubName(controller);
        if (!StartsWithNoCase(rootHub, "PCI#VEN_"))
            return node->NodeKind() == usbkind::kHub ? 0 : -1;
        DeviceHandle hub;
        if (OpenDevice(rootHub, hub) != err::kSuccess) return -1;
        const std::uint8_t ports = UsbHubPortCount(hub);
        for (std::uint32_t port = 1; port <= ports; ++port)
            if (!UsbConnectionDriverKey(hub, port).empty()) return static_cast<int>(port);
        return -1;
    }
    default:
        return UsbPortNumber(parent);
    }
}

bool OpenUsbPortHub(clUsb* node, DeviceHandle& hub) {
    hub.Close();
    clUsb* parent = UsbParentNode(node);
    if (!parent) return false;
    switch (parent->NodeKind()) {
    case usbkind::kHostController: {
        std::string name;
        {
            DeviceHandle controller;
            if (!OpenNode(parent, controller)) return false;
            name = UsbRootHubName(controller);
        }
        return !name.empty() && OpenDevice(name, hub) == err::kSuccess;
    }
    case usbkind::kHub:
        return OpenNode(parent, hub);
    default:
        return OpenUsbPortHub(parent, hub);
    }
}

std::optional<UsbConnectionInfo> GetUsbConnectionInfo(DeviceHandle& hub, std::uint32_t port) {
    std::vector<std::uint8_t> b(usbconn::kSize, 0);
    StoreLe<std::uint32_t>(b, usbconn::kConnectionIndex, port);
    std::uint32_t returned = 0;
    if (Request(hub, ioctl::kUsbGetNodeConnectionInformation, b, b, returned) != err::kSuccess)
        return std::nullopt;
    return usbdesc::DecodeConnectionInfo(ByteView(b).first(returned));
}

std::uint16_t UsbLinkVersion(const UsbConnectionInfo& info) {
    return usbdesc::LinkVersion(info);
}

std::optional<std::string> GetUsbString(DeviceHandle& hub, std::uint32_t port, std::uint8_t index) {
    if (index == 0) return std::nullopt;
    for (int attempt = 0; attempt < kStringAttempts; ++attempt) {
        std::vector<std::uint8_t> b = usbdesc::StringRequest(port, index);
        std::uint32_t returned = 0;
        if (Request(hub, ioctl::kUsbGetDescriptorFromNodeConnection, b, b, returned) !=
            err::kSuccess)
            continue;
        if (auto text = usbdesc::DecodeStringAnswer(ByteView(b).first(returned))) return text;
    }
    return std::nullopt;
}

bool GetUsbDiskInfo(clDisk* disk, UsbDiskInfo& out) {
    out = UsbDiskInfo{};
    clUsb* node = UsbNodeOfDisk(disk);
    if (!node || node->Type() != devtype::kUsb) return false;
    const int port = UsbPortNumber(node);
    if (port <= 0) return false;
    DeviceHandle hub;
    if (!OpenUsbPortHub(node, hub)) return false;
    auto info = GetUsbConnectionInfo(hub, static_cast<std::uint32_t>(port));
    if (!info) return false;
    out.port = port;
    out.connection = *info;
    out.linkVersion = UsbLinkVersion(*info);
    const auto text = [&](std::uint8_t index) {
        return GetUsbString(hub, static_cast<std::uint32_t>(port), index).value_or(std::string());
    };
    out.manufacturer = text(info->ManufacturerIndex());
    out.product = text(info->ProductIndex());
    out.serial = text(info->SerialIndex());
    return true;
}

bool GetUsbIds(clDisk* disk, std::uint16_t& vendorId, std::uint16_t& productId) {
    vendorId = productId = 0;
    clUsb* node = UsbNodeOfDisk(disk);
    if (!node) return false;
    const int port = UsbPortNumber(node);
    if (port < 0) return false;
    DeviceHandle hub;
    if (!OpenUsbPortHub(node, hub)) return false;
    const auto info = GetUsbConnectionInfo(hub, static_cast<std::uint32_t>(port));
    if (!info) return false;
    vendorId = info->VendorId();
    productId = info->ProductId();
    return true;
}

} // namespace tvd
