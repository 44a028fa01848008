// The interface and link-speed text of a drive ("SATA 6.0 Gb/s", "USB 3.0", "PCIe Gen3 x4"),
// built from facts the functional disk gathers: nothing here talks to a device.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "foundation/bytesutil.h"
#include "storage/storagetypes.h"

namespace tvd {

struct BusFacts {
    std::uint32_t busType = bustype::kUnknown; // STORAGE_BUS_TYPE
    // IDENTIFY DEVICE data (512 bytes); empty without an ATA interface or when IDENTIFY failed.
    ByteView ataIdentify;
    // The USB port's link version (0x0100, 0x0110, 0x0200, 0x0300); absent when the port, its
    // hub or the connection information could not be had.
    std::optional<std::uint16_t> usbLinkVersion;
    // The NVMe controller's PCIe link; zeros when it could not be read.
    PciLinkInfo pciLink;
};

// SATA speed from words 76/77, or the selected Ultra DMA mode of a parallel drive.
std::string AtaLinkText(ByteView ataIdentify);
std::string UsbLinkText(std::optional<std::uint16_t> linkVersion);
std::string PcieLinkText(const PciLinkInfo& link);
// The text behind clFunDisk::GetBusText; never empty: "---" for a bus without a text of its own.
std::string BuildBusText(const BusFacts& facts);

} // namespace tvd
