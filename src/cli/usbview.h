// What the command-line tool shows of a USB disk: the bridge chip its interface choice found,
// the USB ids and strings of its device, its hub port and its link.
#pragma once
#include <cstdint>
#include <string>

#include "cli/jsonwriter.h"
#include "storage/cldevice.h"

namespace tvd::cli {

struct UsbView {
    bool usb = false;    // the disk is on USB
    bool device = false; // its USB device answered the hub requests
    std::uint16_t chip = 0;
    std::uint16_t vendorId = 0, productId = 0;
    std::string manufacturer, product, serial;
    int port = -1;
    std::uint16_t linkVersion = 0;
};

// Asks after the interface choice, which sets the chip.
UsbView ReadUsbView(clDisk* disk);
// "USB 2.0", "USB 1.1", "USB 1.0 (low speed)"; "unknown" for 0.
std::string UsbLinkName(std::uint16_t version);
// "0x2335"; "none" for 0.
std::string ChipName(std::uint16_t chip);
// Members "usb": {...} or null.
void WriteUsbJson(JsonWriter& j, const UsbView& v);
// Lines "Label: value" with the label padded to `width`.
std::string UsbText(const UsbView& v, int width);

} // namespace tvd::cli
