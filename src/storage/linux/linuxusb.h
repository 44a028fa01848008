// USB hub requests on Linux, answered from sysfs: a hub or device named by its usbfs node
// (/dev/bus/usb/BBB/DDD) opens as its sysfs directory (the node itself is never opened), and
// the hub requests of the Windows hub driver are answered in the same layouts from what sysfs
// shows: maxchild, speed, the raw device descriptor, the endpoints of the active configuration,
// the string attributes. The device name ("1-2.3") serves as the driver key.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/storageplatform.h"
#include "storage/usbdescriptorutil.h"

namespace tvd::linuxsys {

inline constexpr const char* kUsbDevicesDir = "/sys/bus/usb/devices";

bool IsUsbNodePath(const std::string& path);
// Opens the node whose busnum and devnum match the path, looked up in `devicesDir`.
ErrorCode OpenUsbNode(const std::string& devicesDir, const std::string& path, DeviceHandle& h);
// kNotSupported for a handle that is not a USB node.
ErrorCode UsbNodeIoControl(DeviceHandle& h, std::uint32_t code, ByteView in, MutableByteView out,
                           std::uint32_t& returned);

// The pieces, on sysfs directories (tests build such trees).
// The device directory on a hub's port; empty when the port is empty.
std::string UsbChildDir(const std::string& hubDir, std::uint32_t port);
// The connection information of the device in `dir` at `port`.
UsbConnectionInfo UsbConnectionFromSysfs(const std::string& dir, std::uint32_t port);
// The text of string descriptor `index` of the device in `dir`; empty when it has none.
std::string UsbStringFromSysfs(const std::string& dir, std::uint8_t index);
// What the node is bound to at its mass-storage interface: "uas", "usb-storage" or empty.
std::string UsbStorageDriver(const std::string& dir);

} // namespace tvd::linuxsys
