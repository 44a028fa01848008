// The USB hub request layouts of storage/usbdescriptorutil.h against the system headers. Both the
// x86-64 and the i686 build compile this unit. Nothing here runs.
#include <windows.h>

#include <winioctl.h>

#include <cstddef>
#include <usbioctl.h>

#include "storage/usbdescriptorutil.h"

namespace tvd {
namespace {

#define TVD_AT(type, field, offset)                                                                \
    static_assert(offsetof(type, field) == (offset), #type "." #field)
#define TVD_SIZE(type, size) static_assert(sizeof(type) == (size), "sizeof " #type)

static_assert(IOCTL_USB_GET_NODE_INFORMATION == ioctl::kUsbGetNodeInformation);
static_assert(IOCTL_USB_GET_ROOT_HUB_NAME == ioctl::kUsbGetRootHubName);
static_assert(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION == ioctl::kUsbGetNodeConnectionInformation);
static_assert(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION ==
              ioctl::kUsbGetDescriptorFromNodeConnection);
static_assert(IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME ==
              ioctl::kUsbGetNodeConnectionDriverKeyName);

TVD_SIZE(USB_DEVICE_DESCRIPTOR, usbdevdesc::kSize);
TVD_AT(USB_DEVICE_DESCRIPTOR, bcdUSB, usbdevdesc::kBcdUsb);
TVD_AT(USB_DEVICE_DESCRIPTOR, bMaxPacketSize0, usbdevdesc::kMaxPacketSize0);
TVD_AT(USB_DEVICE_DESCRIPTOR, idVendor, usbdevdesc::kIdVendor);
TVD_AT(USB_DEVICE_DESCRIPTOR, idProduct, usbdevdesc::kIdProduct);
TVD_AT(USB_DEVICE_DESCRIPTOR, bcdDevice, usbdevdesc::kBcdDevice);
TVD_AT(USB_DEVICE_DESCRIPTOR, iManufacturer, usbdevdesc::kIManufacturer);
TVD_AT(USB_DEVICE_DESCRIPTOR, iProduct, usbdevdesc::kIProduct);
TVD_AT(USB_DEVICE_DESCRIPTOR, iSerialNumber, usbdevdesc::kISerialNumber);

TVD_AT(USB_NODE_CONNECTION_INFORMATION, ConnectionIndex, usbconn::kConnectionIndex);
TVD_AT(USB_NODE_CONNECTION_INFORMATION, DeviceDescriptor, usbconn::kDeviceDescriptor);
TVD_AT(USB_NODE_CONNECTION_INFORMATION, CurrentConfigurationValue,
       usbconn::kCurrentConfigurationValue);
TVD_AT(USB_NODE_CONNECTION_INFORMATION, LowSpeed, usbconn::kLowSpeed);
TVD_AT(USB_NODE_CONNECTION_INFORMATION, DeviceIsHub, usbconn::kDeviceIsHub);
TVD_AT(USB_NODE_CONNECTION_INFORMATION, DeviceAddress, usbconn::kDeviceAddress);
TVD_AT(USB_NODE_CONNECTION_INFORMATION, NumberOfOpenPipes, usbconn::kNumberOfOpenPipes);
TVD_AT(USB_NODE_CONNECTION_INFORMATION, ConnectionStatus, usbconn::kConnectionStatus);
TVD_AT(USB_NODE_CONNECTION_INFORMATION, PipeList, usbconn::kPipeList);
TVD_SIZE(USB_PIPE_INFO, usbconn::kPipeSize);
TVD_AT(USB_PIPE_INFO, ScheduleOffset, usbconn::kScheduleOffset);
TVD_AT(USB_ENDPOINT_DESCRIPTOR, bEndpointAddress, usbconn::kEpAddress);
TVD_AT(USB_ENDPOINT_DESCRIPTOR, bmAttributes, usbconn::kEpAttributes);
TVD_AT(USB_ENDPOINT_DESCRIPTOR, wMaxPacketSize, usbconn::kEpMaxPacketSize);
TVD_AT(USB_ENDPOINT_DESCRIPTOR, bInterval, usbconn::kEpInterval);
static_assert(DeviceConnected == usbconn::kDeviceConnected);

TVD_SIZE(USB_NODE_INFORMATION, usbnode::kSize);
TVD_AT(USB_NODE_INFORMATION, NodeType, usbnode::kNodeType);
TVD_AT(USB_NODE_INFORMATION, u.HubInformation.HubDescriptor.bDescriptorLength,
       usbnode::kDescriptorLength);
TVD_AT(USB_NODE_INFORMATION, u.HubInformation.HubDescriptor.bDescriptorType,
       usbnode::kDescriptorType);
TVD_AT(USB_NODE_INFORMATION, u.HubInformation.HubDescriptor.bNumberOfPorts,
       usbnode::kNumberOfPorts);

TVD_AT(USB_DESCRIPTOR_REQUEST, ConnectionIndex, usbdescreq::kConnectionIndex);
TVD_AT(USB_DESCRIPTOR_REQUEST, SetupPacket.bmRequest, usbdescreq::kBmRequest);
TVD_AT(USB_DESCRIPTOR_REQUEST, SetupPacket.bRequest, usbdescreq::kBRequest);
TVD_AT(USB_DESCRIPTOR_REQUEST, SetupPacket.wValue, usbdescreq::kWValue);
TVD_AT(USB_DESCRIPTOR_REQUEST, SetupPacket.wIndex, usbdescreq::kWIndex);
TVD_AT(USB_DESCRIPTOR_REQUEST, SetupPacket.wLength, usbdescreq::kWLength);
TVD_AT(USB_DESCRIPTOR_REQUEST, Data, usbdescreq::kData);

TVD_AT(USB_ROOT_HUB_NAME, ActualLength, usbname::kRootHubActualLength);
TVD_AT(USB_ROOT_HUB_NAME, RootHubName, usbname::kRootHubName);
TVD_SIZE(USB_ROOT_HUB_NAME, usbname::kRootHubSize);
TVD_AT(USB_NODE_CONNECTION_DRIVERKEY_NAME, ConnectionIndex, usbname::kDriverKeyIndex);
TVD_AT(USB_NODE_CONNECTION_DRIVERKEY_NAME, ActualLength, usbname::kDriverKeyActualLength);
TVD_AT(USB_NODE_CONNECTION_DRIVERKEY_NAME, DriverKeyName, usbname::kDriverKeyName);
TVD_SIZE(USB_NODE_CONNECTION_DRIVERKEY_NAME, usbname::kDriverKeySize);

} // namespace
} // namespace tvd
