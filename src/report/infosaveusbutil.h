// The report's USB section: the USB class block, then each USB node of the device layer in list
// order (host controllers, hubs, devices) with its node lines, its port on the parent hub and
// what the hub says of that port. Gathered through the storage back end's hub requests, so the
// same code serves Windows, Linux (sysfs) and the simulated hubs.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/infodeviceclassutil.h"

namespace tvd {

class DeviceRegistry;

struct UsbNodeReportFacts {
    std::uint8_t kind = 0; // usbkind
    NodeFacts node;
    std::optional<std::uint32_t> hcdNumber;
    bool hcdSupported = true; // false: the platform does not number host controllers
    bool hubOpened = false;   // hubs: the hub itself, for its port count
    std::uint8_t portCount = 0;
    int port = -1; // on the parent hub; 0 root hub, -1 unknown
    bool parentOpened = false;
    bool infoOk = false;
    std::uint16_t linkVersion = 0, vendorId = 0, productId = 0;
    std::optional<std::string> manufacturer, product, serial;
};

struct UsbSectionFacts {
    DeviceClassFacts cls;
    bool listOk = true;
    std::vector<UsbNodeReportFacts> nodes;
};

// A node's texts and parent chain from the storage back end (friendly name, description,
// driver); the instance id is the platform's (ReportInstanceId).
NodeFacts NodeFromStorage(std::uint32_t devInst);
// The platform's instance text of a device-instance key (Linux: the sysfs path); none when the
// back end has none.
std::optional<std::string> ReportInstanceId(std::uint32_t devInst);

UsbSectionFacts GatherUsbFacts(DeviceRegistry& registry);
bool WriteUsbSection(ReportWriter& w, const UsbSectionFacts& f);

} // namespace tvd
