#include "report/infosaveusbutil.h"

#include <cstdio>

#include "storage/cldevice.h"
#include "storage/cldevicelist.h"
#include "storage/deviceregistry.h"
#include "storage/storageplatform.h"
#include "storage/usbnodeutil.h"

namespace tvd {

namespace {

std::optional<std::string> Property(std::uint32_t devInst, DeviceProperty p) {
    std::string value;
    if (!devInst || Storage().GetProperty(devInst, p, value) != err::kSuccess) return std::nullopt;
    return value;
}

std::string Hex8(const char* format, std::uint32_t value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void GatherPort(clUsb* usb, UsbNodeReportFacts& n) {
    DeviceHandle hub;
    if (!OpenUsbPortHub(usb, hub)) return;
    n.parentOpened = true;
    const std::optional<UsbConnectionInfo> info =
        GetUsbConnectionInfo(hub, static_cast<std::uint32_t>(n.port));
    if (!info) return;
    n.infoOk = true;
    n.linkVersion = UsbLinkVersion(*info);
    n.vendorId = info->VendorId();
    n.productId = info->ProductId();
    const auto port = static_cast<std::uint32_t>(n.port);
    n.manufacturer = GetUsbString(hub, port, info->ManufacturerIndex());
    n.product = GetUsbString(hub, port, info->ProductIndex());
    n.serial = GetUsbString(hub, port, info->SerialIndex());
}

bool WritePortBlock(ReportWriter& w, const UsbNodeReportFacts& n) {
    if (!n.parentOpened) return w.ErrorLine(" ** Open Parent Hub fail");
    if (!n.infoOk) return w.ErrorLine(" ** Get Port Information fail.");
    char ids[64];
    std::snprintf(ids, sizeof ids, " VID = [%04X], PID = [%04X]", n.vendorId, n.productId);
    auto text = [](const std::optional<std::string>& s) { return s ? *s : std::string(); };
    return w.Line(Hex8(" USB Version = [%X]", n.linkVersion)) && w.Line(ids) &&
           w.Value(" Manufacturer", text(n.manufacturer)) && w.Value(" Product", text(n.product)) &&
           w.Value(" SerialNumber", text(n.serial));
}

} // namespace

NodeFacts NodeFromStorage(std::uint32_t devInst) {
    NodeFacts n;
    n.devInst = devInst;
    n.friendlyName = Property(devInst, DeviceProperty::kFriendlyName);
    n.description = Property(devInst, DeviceProperty::kDeviceDesc);
    n.instanceId = ReportInstanceId(devInst);
    n.driver = Property(devInst, DeviceProperty::kDriver);
    StoragePlatform& s = Storage();
    for (std::uint32_t p = s.ParentOf(devInst), depth = 0; p && depth < 64;
         p = s.ParentOf(p), ++depth)
        n.parents.push_back(p);
    return n;
}

UsbSectionFacts GatherUsbFacts(DeviceRegistry& registry) {
    UsbSectionFacts f;
    f.cls = GatherDeviceClass(ReportDeviceClass::kUsb);
    clDeviceList* list = registry.FindList(devtype::kUsb);
    if (!list) {
        f.listOk = false;
        return f;
    }
    for (clDevice* d = list->FirstDevice(); d; d = list->NextDevice(d)) {
        if (d->IsRemoved()) continue;
        auto* usb = static_cast<clUsb*>(d);
        UsbNodeReportFacts n;
        n.kind = usb->NodeKind();
        n.node = NodeFromStorage(usb->DevInst());
        if (!n.node.instanceId && !usb->Path().empty()) n.node.instanceId = usb->Path();
        switch (n.kind) {
        case usbkind::kHostController:
            n.hcdNumber = usb->HostControllerNumber();
            // Linux has no HCDn names to number host controllers by.
            n.hcdSupported = n.hcdNumber || std::string(Storage().Name()) != "linux";
            break;
        case usbkind::kHub: {
            DeviceHandle hub;
            const char* path = usb->GetPath();
            if (path && Storage().Open(path, hub) == err::kSuccess) {
                n.hubOpened = true;
                n.portCount = UsbHubPortCount(hub);
            }
            n.port = UsbPortNumber(usb);
            // A hub right under its host controller is the controller's root hub, also where
            // the controller cannot be asked for its root hub's name (Linux).
            if (const clUsb* parent = UsbParentNode(usb);
                n.port < 0 && parent && parent->NodeKind() == usbkind::kHostController)
                n.port = 0;
            if (n.port > 0) GatherPort(usb, n);
            break;
        }
        case usbkind::kDevice:
            n.port = UsbPortNumber(usb);
            if (n.port > 0) GatherPort(usb, n);
            break;
        default:
            break;
        }
        f.nodes.push_back(std::move(n));
    }
    return f;
}

bool WriteUsbSection(ReportWriter& w, const UsbSectionFacts& f) {
    if (!WriteDeviceClass(w, DeviceClassHeading(ReportDeviceClass::kUsb), f.cls)) return false;
    if (!f.listOk) return w.ErrorLine(" * Create UsbDeviceList fail.") && w.Eol();
    for (const UsbNodeReportFacts& n : f.nodes) {
        bool ok = true;
        switch (n.kind) {
        case usbkind::kHostController:
            ok = w.Line(Hex8(" USB Hci [%08X] :", n.node.devInst)) && WriteNodeLines(w, n.node) &&
                 (n.hcdNumber      ? w.Unsigned(" HCD No", *n.hcdNumber)
                  : n.hcdSupported ? w.ErrorLine(" ** HCD No fail")
                                   : w.NotSupported("HCD No"));
            break;
        case usbkind::kHub:
            ok = w.Line(Hex8(" USB Hub [%08X] :", n.node.devInst)) && WriteNodeLines(w, n.node) &&
                 (n.hubOpened ? w.Unsigned(" PortCount", n.portCount)
                              : w.ErrorLine(" ** Open Parent Hub fail."));
            if (ok && n.port < 0) ok = w.ErrorLine(" ** PortNumber fail.");
            if (ok && n.port > 0) ok = w.Unsigned(" PortNumber", n.port) && WritePortBlock(w, n);
            if (ok && n.port == 0) ok = w.Unsigned(" PortNumber", 0);
            break;
        case usbkind::kDevice:
            ok = w.Line(Hex8(" USB Device [%08X] :", n.node.devInst)) && WriteNodeLines(w, n.node);
            if (ok && n.port <= 0) ok = w.ErrorLine(" ** PortNumber fail");
            if (ok && n.port > 0) ok = w.Unsigned(" PortNumber", n.port) && WritePortBlock(w, n);
            break;
        default:
            ok = w.ErrorLine(" ** Unknown USB Device.");
            break;
        }
        if (!ok || !w.Eol()) return false;
    }
    return true;
}

} // namespace tvd
