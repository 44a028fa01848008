// The device nodes of the simulated drives (USB host controller, root hub, USB devices,
// controllers, disks, volumes), their properties, and the USB hub requests answered from them.
#include "storage/sim/simstorageimpl.h"
#include "storage/sim/simusbhub.h"

namespace tvd {

using namespace simstore;

namespace {
// Setup classes of the driver keys, as Windows names them.
constexpr const char* kDiskClass = "{4d36e967-e325-11ce-bfc1-08002be10318}";
constexpr const char* kVolumeClass = "{71a27cdd-812a-11d0-bec7-08002be2092f}";
constexpr const char* kUsbClass = "{36fc9e60-c465-11cf-8056-444553540000}";
constexpr const char* kScsiAdapterClass = "{4d36e97b-e325-11ce-bfc1-08002be10318}";
} // namespace

std::vector<Node> SimStorage::Impl::BuildNodes() {
    std::vector<Node> out;
    auto add = [&](NodeKind kind, std::uint32_t devInst, std::uint32_t parent, std::string path,
                   std::string identity) -> Node& {
        Node n;
        n.kind = kind;
        n.devInst = devInst;
        n.parent = parent;
        n.path = std::move(path);
        n.identity = std::move(identity);
        out.push_back(std::move(n));
        return out.back();
    };
    const bool anyUsb = std::any_of(drives.begin(), drives.end(),
                                    [](const auto& d) { return d.second->usbDevInst != 0; });
    std::uint32_t hub = 0;
    if (anyUsb) {
        const std::uint32_t host = DevInstOf("USBHC");
        hub = DevInstOf("USBHUB");
        Node& hc = add(NodeKind::kUsbHost, host, 0, std::string(kUsbHostPath), "usbhc");
        hc.friendlyName = hc.deviceDesc = "Simulated USB Host Controller";
        hc.driver = DriverKey(kUsbClass, host);
        Node& root = add(NodeKind::kUsbHub, hub, host, std::string(kUsbHubPath), "usbhub");
        root.deviceDesc = "USB Root Hub";
        root.driver = DriverKey(kUsbClass, hub);
    }
    std::set<std::uint32_t> usbDone;
    for (const auto& [upper, d] : drives) {
        if (d->usbDevInst == 0 || !usbDone.insert(d->usbDevInst).second) continue;
        const SimDriveSpec& spec = *d->spec;
        Node& n = add(NodeKind::kUsbDevice, d->usbDevInst, hub,
                      std::string(kUsbDevicePrefix) + spec.parent,
                      "usb:" + std::to_string(d->generation));
        n.drive = d;
        UsbPortOf(d->usbDevInst);
        n.friendlyName = Join(spec.usb.manufacturer, spec.usb.product);
        n.deviceDesc = spec.usb.product;
        n.driver = DriverKey(kUsbClass, d->usbDevInst);
    }
    for (const auto& [upper, d] : drives) {
        if (d->controllerDevInst == 0) continue;
        Node& n = add(NodeKind::kController, d->controllerDevInst, 0, std::string(),
                      "pci:" + std::to_string(d->generation));
        n.drive = d;
        n.friendlyName = n.deviceDesc = "Simulated Storage Controller";
        n.driver = DriverKey(kScsiAdapterClass, d->controllerDevInst);
    }
    for (const auto& [upper, d] : drives) {
        const SimDriveSpec& spec = *d->spec;
        const std::uint32_t parent = d->usbDevInst ? d->usbDevInst : d->controllerDevInst;
        Node& n = add(NodeKind::kDisk, d->devInst, parent, std::string(kDiskPrefix) + spec.name,
                      "disk:" + std::to_string(d->generation));
        n.drive = d;
        n.friendlyName = Join(spec.vendor, spec.model);
        n.deviceDesc = "Disk drive";
        n.driver = DriverKey(kDiskClass, d->devInst);
    }
    for (const auto& [upper, d] : drives) {
        DriveLayout layout;
        {
            std::lock_guard<std::mutex> guard(d->lock);
            layout = d->layout;
        }
        for (const PartitionEntry& p : layout.partitions) {
            if (!IsVolumePartition(p, d->Capacity())) continue;
            const std::string number = std::to_string(p.number);
            const std::uint32_t devInst = DevInstOf("VOLUME\\" + upper + "\\" + number);
            Node& n = add(NodeKind::kVolume, devInst, d->devInst,
                          std::string(kDiskPrefix) + d->spec->name + "\\PARTITION" + number,
                          "volume:" + std::to_string(d->generation) + ":" +
                              std::to_string(p.startingOffset) + ":" + std::to_string(p.length));
            n.drive = d;
            n.partition = p;
            n.deviceDesc = "Volume";
            n.driver = DriverKey(kVolumeClass, devInst);
        }
    }
    return out;
}

ErrorCode SimStorage::EnumerateClass(DeviceClass cls, std::vector<PresentDevice>& devices) {
    auto matches = [cls](NodeKind k) {
        switch (cls) {
        case DeviceClass::kDiskInterface:
            return k == NodeKind::kDisk;
        case DeviceClass::kVolumeInterface:
            return k == NodeKind::kVolume;
        case DeviceClass::kUsbHostControllerIface:
            return k == NodeKind::kUsbHost;
        case DeviceClass::kUsbHubInterface:
            return k == NodeKind::kUsbHub;
        case DeviceClass::kUsbDeviceInterface:
            return k == NodeKind::kUsbDevice;
        case DeviceClass::kUsbSetupClass:
            return k == NodeKind::kUsbHub || k == NodeKind::kUsbDevice;
        }
        return false;
    };
    devices.clear();
    std::lock_guard<std::mutex> guard(impl_->lock);
    for (const Node& n : impl_->nodes) {
        if (!matches(n.kind)) continue;
        PresentDevice d;
        d.devInst = n.devInst;
        d.started = true;
        // The setup class lists devices, not interfaces.
        d.hasInterface = cls != DeviceClass::kUsbSetupClass;
        if (d.hasInterface) d.interfacePath = n.path;
        devices.push_back(std::move(d));
    }
    return err::kSuccess;
}

std::uint32_t SimStorage::ParentOf(std::uint32_t devInst) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const Node* n = impl_->FindNode(devInst);
    return n ? n->parent : 0;
}

ErrorCode SimStorage::GetProperty(std::uint32_t devInst, DeviceProperty prop, std::string& value) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const Node* n = impl_->FindNode(devInst);
    if (!n) return err::kFileNotFound;
    const std::string* v = nullptr;
    switch (prop) {
    case DeviceProperty::kFriendlyName:
        v = &n->friendlyName;
        break;
    case DeviceProperty::kDeviceDesc:
        v = &n->deviceDesc;
        break;
    case DeviceProperty::kDriver:
        v = &n->driver;
        break;
    }
    if (!v || v->empty()) return err::kFileNotFound;
    value = *v;
    return err::kSuccess;
}

std::uint32_t SimStorage::LogicalDrives() {
    std::lock_guard<std::mutex> guard(impl_->lock);
    std::uint32_t mask = 0;
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        if (impl_->LetterNode(letter)) mask |= 1u << (letter - 'A');
    return mask;
}

std::uint32_t SimStorage::DriveType(char letter) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const Node* n = impl_->LetterNode(AsciiUpper(letter));
    if (!n) return drivetype::kNoRootDir;
    return n->drive->spec->removable ? drivetype::kRemovable : drivetype::kFixed;
}

ErrorCode SimStorage::DriveDisplayName(char letter, std::string& name) {
    name.clear();
    const char upper = AsciiUpper(letter);
    std::lock_guard<std::mutex> guard(impl_->lock);
    const Node* n = impl_->LetterNode(upper);
    if (!n) return err::kFileNotFound;
    name = std::string(n->drive->spec->removable ? "Removable Disk" : "Local Disk") + " (" + upper +
           ":)";
    return err::kSuccess;
}

ErrorCode SimStorage::VolumeSpace(const std::u16string& root, std::uint64_t& total,
                                  std::uint64_t& free) {
    const bool rootForm = (root.size() == 2 || (root.size() == 3 && root[2] == u'\\')) &&
                          root[1] == u':' && root[0] < 0x80;
    if (!rootForm) return err::kFileNotFound; // only lettered volumes are measured
    std::lock_guard<std::mutex> guard(impl_->lock);
    const Node* n = impl_->LetterNode(AsciiUpper(static_cast<char>(root[0])));
    if (!n) return err::kFileNotFound;
    const auto& figures = n->drive->spec->freeBytes;
    const auto it = figures.find(n->partition.number);
    total = n->partition.length;
    free = it == figures.end() ? n->partition.length : it->second;
    return err::kSuccess;
}

ErrorCode SimStorage::UsbHostControllerDriverKey(std::uint32_t index, std::string& driverKey) {
    driverKey.clear();
    std::lock_guard<std::mutex> guard(impl_->lock);
    if (index != 0) return err::kFileNotFound;
    for (const Node& n : impl_->nodes)
        if (n.kind == NodeKind::kUsbHost) {
            driverKey = n.driver;
            return err::kSuccess;
        }
    return err::kFileNotFound;
}

ErrorCode SimStorage::GetPciLink(std::uint32_t controllerDevInst, PciLinkInfo& out) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const Node* n = impl_->FindNode(controllerDevInst);
    if (!n || n->kind != NodeKind::kController) return err::kNotSupported;
    out = n->drive->spec->pci;
    return err::kSuccess;
}

std::uint32_t SimStorage::ControllerOf(std::uint32_t diskDevInst) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const Node* n = impl_->FindNode(diskDevInst);
    return n && n->kind == NodeKind::kDisk ? n->drive->controllerDevInst : 0;
}

// The host controller names its root hub; the root hub answers for the devices on its ports.
ErrorCode SimStorage::Impl::UsbIoControl(const SimHandle& s, std::uint32_t code, ByteView in,
                                         MutableByteView out, std::uint32_t& returned) const {
    returned = 0;
    std::lock_guard<std::mutex> guard(lock);
    const Node* node = FindNode(s.node);
    if (!node) return simerr::kDeviceNotConnected;
    if (node->kind == NodeKind::kUsbHost)
        return SimUsbHostIoControl(std::string(kUsbHubPath), code, out, returned);
    if (node->kind != NodeKind::kUsbHub) return err::kInvalidFunction;
    std::vector<SimUsbPort> ports;
    std::uint32_t highest = 4;
    for (const Node& n : nodes) {
        if (n.kind != NodeKind::kUsbDevice || n.parent != node->devInst || !n.drive) continue;
        const auto it = usbPorts.find(n.devInst);
        if (it == usbPorts.end()) continue;
        ports.push_back({it->second, n.drive->spec->usb, n.driver});
        highest = std::max(highest, it->second);
    }
    return SimUsbHubIoControl(ports,
                              static_cast<std::uint8_t>(std::min<std::uint32_t>(highest, 255)),
                              code, in, out, returned);
}

} // namespace tvd
