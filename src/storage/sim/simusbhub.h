// The USB hub requests of the simulation: the host controller names its root hub, the root hub
// answers node, connection, driver-key and string-descriptor requests for the simulated USB
// devices on its ports, in the hub driver's layouts (docs/simulated-drives.md).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/sim/simdrivespec.h"
#include "storage/usbdescriptorutil.h"

namespace tvd {

struct SimUsbPort {
    std::uint32_t port = 0;
    SimUsbSpec usb;
    std::string driverKey;
};

// The device on a port as the hub reports it: descriptor, speed, and the bulk pipes of a
// mass-storage interface sized by its link.
UsbConnectionInfo SimConnectionInfo(const SimUsbPort& port);
// The string descriptor texts by index (1 manufacturer, 2 product, 3 serial; absent texts
// have no index).
std::string SimUsbString(const SimUsbSpec& usb, std::uint8_t index);

ErrorCode SimUsbHubIoControl(const std::vector<SimUsbPort>& ports, std::uint8_t portCount,
                             std::uint32_t code, ByteView in, MutableByteView out,
                             std::uint32_t& returned);
ErrorCode SimUsbHostIoControl(const std::string& rootHubName, std::uint32_t code,
                              MutableByteView out, std::uint32_t& returned);

} // namespace tvd
