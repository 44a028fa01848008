// Device classes on Linux: PCI functions from sysfs named from the udev hardware database (else
// from pci.ids), the
// DRM connectors with their EDID files, the USB nodes of the storage back end. Linux has no
// class filters and no display areas without a display server: both say so.
#include "report/linux/infoclasslinux.h"

#include <libudev.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <vector>

#include "report/infosaveusbutil.h"
#include "report/edidutil.h"
#include "report/pciidsutil.h"
#include "storage/linux/linuxdevinst.h"
#include "storage/linux/linuxsysfs.h"
#include "storage/linux/linuxudev.h"
#include "storage/storageplatform.h"

namespace tvd {

namespace linuxreport {

namespace {

using namespace linuxsys;

// The names pciutils gives the storage subclasses, for machines without a hardware database.
const char* SubclassName(std::uint32_t classCode) {
    switch (classCode >> 8) {
    case 0x0100:
        return "SCSI storage controller";
    case 0x0101:
        return "IDE interface";
    case 0x0104:
        return "RAID bus controller";
    case 0x0105:
        return "ATA controller";
    case 0x0106:
        return "SATA controller";
    case 0x0107:
        return "Serial Attached SCSI controller";
    case 0x0108:
        return "Non-Volatile memory controller";
    }
    return nullptr;
}

// The udev hardware database's entries for a modalias; empty without a database.
std::map<std::string, std::string> HwdbLookup(const std::string& modalias) {
    std::map<std::string, std::string> found;
    if (modalias.empty()) return found;
    UdevPtr u(udev_new());
    if (!u) return found;
    udev_hwdb* hwdb = udev_hwdb_new(u.get());
    if (!hwdb) return found;
    int n = 0;
    for (udev_list_entry* e = udev_hwdb_get_properties_list_entry(hwdb, modalias.c_str(), 0);
         e && n < 64; e = udev_list_entry_get_next(e), ++n) {
        const char* name = udev_list_entry_get_name(e);
        const char* value = udev_list_entry_get_value(e);
        if (name && value) found[name] = value;
    }
    udev_hwdb_unref(hwdb);
    return found;
}

// A 16-bit id attribute such as "0x8086".
std::optional<std::uint16_t> IdAttr(const std::string& device, const char* name) {
    const std::string text = ReadAttr(device, name);
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 16);
    if (text.empty() || *end != '\0' || v > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(v);
}

// The hardware database's name from the function's ids in pci.ids; empty when an id or the
// file is missing.
std::string PciIdsName(const std::string& device, const std::vector<std::string>& pciIds) {
    const auto vendor = IdAttr(device, "vendor"), dev = IdAttr(device, "device");
    if (!vendor || !dev) return {};
    const auto subVendor = IdAttr(device, "subsystem_vendor");
    const auto subDevice = IdAttr(device, "subsystem_device");
    PciIds ids{*vendor, *dev, 0, 0};
    if (subVendor && subDevice) {
        ids.subVendor = *subVendor;
        ids.subDevice = *subDevice;
    }
    const auto names = PciIdsLookupFile(pciIds, ids);
    if (!names) return {};
    PciIdNames n = *names;
    if (!subVendor || !subDevice) n.subsystem.clear();
    return PciIdsDisplayName(n);
}

// The first driver bound to the directory or one of its ancestors.
std::string BoundDriver(std::string dir) {
    for (int depth = 0; depth < 64 && dir.size() > 1; ++depth, dir = ParentDir(dir))
        if (std::string d = DriverOf(dir); !d.empty()) return d;
    return {};
}

void AddChain(NodeFacts& n) {
    StoragePlatform& s = Storage();
    if (std::string(s.Name()) != "linux") return;
    for (std::uint32_t p = s.ParentOf(n.devInst), depth = 0; p && depth < 64;
         p = s.ParentOf(p), ++depth)
        n.parents.push_back(p);
}

} // namespace

int PciStorageGroup(std::uint32_t classCode) {
    switch (classCode >> 8) {
    case 0x0101:
    case 0x0105:
    case 0x0106:
        return 1;
    case 0x0100:
    case 0x0104:
    case 0x0107:
    case 0x0108:
        return 2;
    }
    return 0;
}

std::vector<NodeFacts> PciControllers(const std::string& dir, ReportDeviceClass cls,
                                      const std::vector<std::string>& pciIds) {
    const int want = cls == ReportDeviceClass::kAtaController ? 1 : 2;
    std::vector<NodeFacts> nodes;
    for (const std::string& name : ListDir(dir)) {
        const std::string device = Canonical(dir + "/" + name);
        if (device.empty()) continue;
        const std::string text = ReadAttr(device, "class");
        char* end = nullptr;
        const unsigned long code = std::strtoul(text.c_str(), &end, 16);
        if (text.empty() || *end != '\0' || code > 0xFFFFFF) continue;
        const auto classCode = static_cast<std::uint32_t>(code);
        if (PciStorageGroup(classCode) != want) continue;
        const std::string driver = DriverOf(device);
        if (driver.empty()) continue; // not started: no driver bound
        NodeFacts n;
        n.devInst = DevInstOf(device);
        const auto db = HwdbLookup(ReadAttr(device, "modalias"));
        auto get = [&](const char* key) {
            auto it = db.find(key);
            return it == db.end() ? std::string() : it->second;
        };
        std::string vendorModel = get("ID_VENDOR_FROM_DATABASE");
        if (const std::string model = get("ID_MODEL_FROM_DATABASE"); !model.empty())
            vendorModel += (vendorModel.empty() ? "" : " ") + model;
        if (vendorModel.empty()) vendorModel = PciIdsName(device, pciIds);
        if (!vendorModel.empty()) n.friendlyName = vendorModel;
        std::string subclass = get("ID_PCI_SUBCLASS_FROM_DATABASE");
        if (subclass.empty() && SubclassName(classCode)) subclass = SubclassName(classCode);
        if (!subclass.empty()) n.description = subclass;
        n.instanceId = device;
        n.driver = driver;
        AddChain(n);
        nodes.push_back(std::move(n));
    }
    return nodes;
}

std::vector<MonitorDeviceFacts> DrmMonitors(const std::string& dir) {
    std::vector<MonitorDeviceFacts> monitors;
    for (const std::string& name : ListDir(dir)) {
        const std::string connector = Canonical(dir + "/" + name);
        // Cards have no status; connectors say "connected", "disconnected" or "unknown".
        if (connector.empty() || ReadAttr(connector, "status") != "connected") continue;
        MonitorDeviceFacts m;
        m.node.devInst = DevInstOf(connector);
        m.node.description = name;
        m.node.instanceId = connector;
        if (std::string driver = BoundDriver(connector); !driver.empty()) m.node.driver = driver;
        AddChain(m.node);
        std::vector<std::uint8_t> edid;
        if (ReadAttrBytes(connector, "edid", edid, kEdidMaxSize) && !edid.empty()) {
            m.edidError = err::kSuccess;
            if (const auto id = DecodeEdid(edid); id && id->name) m.node.friendlyName = *id->name;
            m.edid = std::move(edid);
        }
        monitors.push_back(std::move(m));
    }
    return monitors;
}

} // namespace linuxreport

DeviceClassFacts GatherDeviceClass(ReportDeviceClass cls) {
    DeviceClassFacts f;
    f.filtersSupported = false;
    switch (cls) {
    case ReportDeviceClass::kMonitor:
        for (MonitorDeviceFacts& m : linuxreport::DrmMonitors("/sys/class/drm"))
            f.devices.push_back(std::move(m.node));
        break;
    case ReportDeviceClass::kAtaController:
    case ReportDeviceClass::kScsiController:
        f.devices = linuxreport::PciControllers("/sys/bus/pci/devices", cls, PciIdsDefaultPaths());
        break;
    case ReportDeviceClass::kUsb: {
        std::vector<PresentDevice> present;
        f.enumError = Storage().EnumerateClass(DeviceClass::kUsbSetupClass, present);
        for (const PresentDevice& d : present)
            if (d.started) f.devices.push_back(NodeFromStorage(d.devInst));
        break;
    }
    case ReportDeviceClass::kDisk:
    case ReportDeviceClass::kVolume:
        break; // the device layer's own nodes
    }
    return f;
}

MonitorSectionFacts GatherMonitorFacts() {
    MonitorSectionFacts f;
    f.monitors = linuxreport::DrmMonitors("/sys/class/drm");
    f.cls.filtersSupported = false;
    for (const MonitorDeviceFacts& m : f.monitors)
        f.cls.devices.push_back(m.node);
    f.count = static_cast<int>(f.monitors.size());
    f.areasSupported = false;
    return f;
}

std::optional<std::string> ReportInstanceId(std::uint32_t devInst) {
    std::string path;
    if (std::string(Storage().Name()) != "linux" || !linuxsys::SyspathOf(devInst, path))
        return std::nullopt;
    return path;
}

} // namespace tvd
