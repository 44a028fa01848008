#include "drive/fundiskbusutil.h"

#include <cstdio>

#include "storage/ataidentifyutil.h"

namespace tvd {

std::string AtaLinkText(ByteView id) {
    if (id.size() < 512) return "SATA";
    if (ataid::IsSata(id)) {
        // The negotiated speed says what the link runs at; the capability only what it could.
        const std::uint8_t current = ataid::SataCurrentSpeed(id);
        return ataid::SataSpeedName(current != 0 ? current : ataid::SataMaxSpeed(id));
    }
    return ataid::UdmaName(static_cast<std::uint16_t>(ataid::Word(id, 88) >> 8));
}

std::string UsbLinkText(std::optional<std::uint16_t> linkVersion) {
    if (!linkVersion || *linkVersion < 0x0200) return "USB";
    char text[16];
    std::snprintf(text, sizeof text, "USB %i.%i", *linkVersion >> 8, (*linkVersion >> 4) & 0xF);
    return text;
}

std::string PcieLinkText(const PciLinkInfo& link) {
    if (link.currentSpeed == 0 || link.currentWidth == 0) return "PCIe";
    char text[24];
    std::snprintf(text, sizeof text, "PCIe Gen%d x%d", link.currentSpeed, link.currentWidth);
    return text;
}

std::string BuildBusText(const BusFacts& f) {
    switch (f.busType) {
    case bustype::kScsi:
        return "SCSI";
    case bustype::kAta:
    case bustype::kSata:
        return AtaLinkText(f.ataIdentify);
    case bustype::k1394:
        return "FireWall";
    case bustype::kUsb:
        return UsbLinkText(f.usbLinkVersion);
    case bustype::kRaid:
        return "RAID";
    case bustype::kSd:
        return "SD";
    case bustype::kMmc:
        return "MMC";
    case bustype::kNvme:
        return PcieLinkText(f.pciLink);
    default:
        return "---";
    }
}

} // namespace tvd
