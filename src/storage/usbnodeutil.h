// Questions about the USB node a disk hangs on: its hub port, the port's connection
// information (device descriptor, speed, open pipes), string descriptors, a hub's port count,
// the USB ids of a disk. Every request goes through the storage back end's device-control
// requests on hub and host-controller handles; the back ends answer them in the hub driver's
// layouts (usbdescriptorutil.h).
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "storage/cldevice.h"
#include "storage/storageplatform.h"
#include "storage/usbdescriptorutil.h"

namespace tvd {

// The node's parent among the process registry's USB nodes (nodes of kind hub or device only).
clUsb* UsbParentNode(clUsb* node);
// The node's port on its hub, 0 for a root hub, -1 when unknown.
int UsbPortNumber(clUsb* node);
// Opens the hub that holds the node's port; false when there is none or it cannot be opened.
bool OpenUsbPortHub(clUsb* node, DeviceHandle& hub);
std::optional<UsbConnectionInfo> GetUsbConnectionInfo(DeviceHandle& hub, std::uint32_t port);
// Ports of a hub, 0 when unknown.
std::uint8_t UsbHubPortCount(DeviceHandle& hub);
// 0x0100, 0x0110, 0x0200, 0x0300, or 0 when unknown.
std::uint16_t UsbLinkVersion(const UsbConnectionInfo& info);
// String descriptor `index` of the device on `port` (up to three attempts); none for index 0
// or any failure.
std::optional<std::string> GetUsbString(DeviceHandle& hub, std::uint32_t port, std::uint8_t index);
// The root hub name of a host controller handle; empty when none.
std::string UsbRootHubName(DeviceHandle& controller);
// The driver key of the device on a hub's port; empty when none.
std::string UsbConnectionDriverKey(DeviceHandle& hub, std::uint32_t port);

// Ids of the USB device that carries the disk.
bool GetUsbIds(clDisk* disk, std::uint16_t& vendorId, std::uint16_t& productId);

// Everything the drive descriptors and the command-line tool show of a USB disk, read with one
// hub open.
struct UsbDiskInfo {
    int port = -1;
    UsbConnectionInfo connection;
    std::uint16_t linkVersion = 0;
    std::string manufacturer, product, serial;
};
bool GetUsbDiskInfo(clDisk* disk, UsbDiskInfo& out);

} // namespace tvd
