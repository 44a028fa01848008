#include "cli/usbview.h"

#include <cstdio>

#include "storage/usbnodeutil.h"

namespace tvd::cli {

namespace {

std::string Hex4(std::uint16_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", v);
    return text;
}

} // namespace

UsbView ReadUsbView(clDisk* disk) {
    UsbView v;
    if (!disk || !disk->IsUsb()) return v;
    v.usb = true;
    v.chip = disk->ChipId();
    UsbDiskInfo info;
    if (!GetUsbDiskInfo(disk, info)) return v;
    v.device = true;
    v.vendorId = info.connection.VendorId();
    v.productId = info.connection.ProductId();
    v.manufacturer = info.manufacturer;
    v.product = info.product;
    v.serial = info.serial;
    v.port = info.port;
    v.linkVersion = info.linkVersion;
    return v;
}

std::string UsbLinkName(std::uint16_t version) {
    if (version == 0) return "unknown";
    if (version == 0x0100) return "USB 1.0 (low speed)";
    char text[16];
    std::snprintf(text, sizeof text, "USB %u.%u", version >> 8, (version >> 4) & 0xF);
    return text;
}

std::string ChipName(std::uint16_t chip) {
    return chip ? "0x" + Hex4(chip) : "none";
}

void WriteUsbJson(JsonWriter& j, const UsbView& v) {
    if (!v.usb) {
        j.Null("usb");
        return;
    }
    j.BeginObject("usb");
    if (v.chip)
        j.String("bridgeChip", ChipName(v.chip));
    else
        j.Null("bridgeChip");
    if (!v.device) {
        j.Null("vendorId").Null("productId").Null("port").Null("link");
        j.EndObject();
        return;
    }
    j.String("vendorId", Hex4(v.vendorId)).String("productId", Hex4(v.productId));
    j.String("manufacturer", v.manufacturer)
        .String("product", v.product)
        .String("serial", v.serial);
    j.Unsigned("port", static_cast<std::uint64_t>(v.port));
    if (v.linkVersion)
        j.String("link", UsbLinkName(v.linkVersion));
    else
        j.Null("link");
    j.EndObject();
}

std::string UsbText(const UsbView& v, int width) {
    std::string t;
    auto line = [&](const char* label, const std::string& value) {
        char head[64];
        std::snprintf(head, sizeof head, "%-*s", width, label);
        t += head;
        t += value.empty() ? "-" : value;
        t += '\n';
    };
    line("Bridge chip:", ChipName(v.chip));
    if (!v.device) {
        line("USB device:", "not found");
        return t;
    }
    line("USB ids:", Hex4(v.vendorId) + ":" + Hex4(v.productId));
    line("USB maker:", v.manufacturer);
    line("USB product:", v.product);
    line("USB serial:", v.serial);
    line("USB port:", std::to_string(v.port));
    line("USB link:", UsbLinkName(v.linkVersion));
    return t;
}

} // namespace tvd::cli
