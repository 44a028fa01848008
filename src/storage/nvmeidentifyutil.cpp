#include "storage/nvmeidentifyutil.h"

#include <algorithm>
#include <cstddef>

namespace tvd::nvmeid {
namespace {

inline constexpr std::size_t kStructSize = 4096;

// IDENTIFY CONTROLLER.
namespace ctrlf {
inline constexpr std::size_t kVid = 0, kSsvid = 2, kSerial = 4, kSerialLen = 20, kModel = 24,
                             kModelLen = 40, kFirmware = 64, kFirmwareLen = 8, kVersion = 80,
                             kOacs = 256, kFrmw = 260, kWctemp = 266, kCctemp = 268, kTnvmcap = 280,
                             kSanicap = 328, kNn = 516;
}

// IDENTIFY NAMESPACE.
namespace nsf {
inline constexpr std::size_t kNsze = 0, kNcap = 8, kNuse = 16, kNlbaf = 25, kFlbas = 26,
                             kNguid = 104, kEui64 = 120, kLbaf = 128, kLbafSize = 4;
inline constexpr unsigned kMinLbads = 9, kMaxLbads = 16;
} // namespace nsf

bool AllZero(ByteView b) {
    return std::all_of(b.begin(), b.end(), [](std::uint8_t c) { return c == 0; });
}

// The field's bytes up to the first NUL; empty when the structure is too short.
std::string Text(ByteView ctrl, std::size_t off, std::size_t len) {
    if (!InBounds(ctrl.size(), off, len)) return {};
    const ByteView f = ctrl.subspan(off, len);
    const auto end = std::find(f.begin(), f.end(), std::uint8_t{0});
    return std::string(f.begin(), end);
}

// Printable ASCII, possibly followed by NUL padding only.
bool PrintableField(ByteView ctrl, std::size_t off, std::size_t len, bool needVisible) {
    if (!InBounds(ctrl.size(), off, len)) return false;
    bool nulSeen = false, visible = false;
    for (std::uint8_t c : ctrl.subspan(off, len)) {
        if (c == 0) {
            nulSeen = true;
            continue;
        }
        if (nulSeen || c < 0x20 || c > 0x7E) return false;
        visible |= c != ' ';
    }
    return visible || !needVisible;
}

} // namespace

bool ControllerValid(ByteView ctrl) {
    if (ctrl.size() < kStructSize) return false;
    const ByteView s = ctrl.first(kStructSize);
    return !AllZero(s) && PrintableField(s, ctrlf::kModel, ctrlf::kModelLen, true) &&
           PrintableField(s, ctrlf::kSerial, ctrlf::kSerialLen, false);
}

std::string Model(ByteView ctrl) {
    return Text(ctrl, ctrlf::kModel, ctrlf::kModelLen);
}
std::string Serial(ByteView ctrl) {
    return Text(ctrl, ctrlf::kSerial, ctrlf::kSerialLen);
}
std::string Firmware(ByteView ctrl) {
    return Text(ctrl, ctrlf::kFirmware, ctrlf::kFirmwareLen);
}
std::uint16_t PciVendorId(ByteView ctrl) {
    return Le<std::uint16_t>(ctrl, ctrlf::kVid);
}
std::uint16_t PciSubsystemVendorId(ByteView ctrl) {
    return Le<std::uint16_t>(ctrl, ctrlf::kSsvid);
}
std::uint32_t Version(ByteView ctrl) {
    return Le<std::uint32_t>(ctrl, ctrlf::kVersion);
}

std::string VersionText(std::uint32_t version) {
    if (version == 0) return {};
    std::string t = std::to_string(version >> 16);
    t += '.';
    t += std::to_string((version >> 8) & 0xFF);
    if ((version & 0xFF) != 0) {
        t += '.';
        t += std::to_string(version & 0xFF);
    }
    return t;
}

std::uint32_t NamespaceCount(ByteView ctrl) {
    return Le<std::uint32_t>(ctrl, ctrlf::kNn);
}
std::uint16_t Oacs(ByteView ctrl) {
    return Le<std::uint16_t>(ctrl, ctrlf::kOacs);
}
std::uint32_t Sanicap(ByteView ctrl) {
    return Le<std::uint32_t>(ctrl, ctrlf::kSanicap);
}
bool SecuritySupported(ByteView ctrl) {
    return (Oacs(ctrl) & 1u) != 0;
}
std::uint8_t FirmwareSlots(ByteView ctrl) {
    return static_cast<std::uint8_t>((Le<std::uint8_t>(ctrl, ctrlf::kFrmw) >> 1) & 7u);
}
std::uint16_t WarningTemperature(ByteView ctrl) {
    return Le<std::uint16_t>(ctrl, ctrlf::kWctemp);
}
std::uint16_t CriticalTemperature(ByteView ctrl) {
    return Le<std::uint16_t>(ctrl, ctrlf::kCctemp);
}
std::uint64_t TotalCapacity(ByteView ctrl) {
    return Le<std::uint64_t>(ctrl, ctrlf::kTnvmcap);
}

bool DecodeNamespace(ByteView ns, NamespaceInfo& out) {
    out = NamespaceInfo{};
    if (ns.size() < kStructSize) return false;
    const ByteView s = ns.first(kStructSize);
    if (AllZero(s)) return false;
    out.size = Le<std::uint64_t>(s, nsf::kNsze);
    out.capacity = Le<std::uint64_t>(s, nsf::kNcap);
    out.utilization = Le<std::uint64_t>(s, nsf::kNuse);

    // NLBAF is zero-based; FLBAS bits 5-6 extend the index only beyond 16 formats.
    const unsigned formats = Le<std::uint8_t>(s, nsf::kNlbaf) + 1u;
    const std::uint8_t flbas = Le<std::uint8_t>(s, nsf::kFlbas);
    unsigned index = flbas & 0x0Fu;
    if (formats > 16) index |= ((flbas >> 5) & 3u) << 4;
    out.formatIndex = static_cast<std::uint8_t>(index);
    if (index < formats) {
        const std::uint32_t lbaf = Le<std::uint32_t>(s, nsf::kLbaf + nsf::kLbafSize * index);
        out.metadataSize = static_cast<std::uint16_t>(lbaf & 0xFFFFu);
        const unsigned lbads = (lbaf >> 16) & 0xFFu;
        if (lbads >= nsf::kMinLbads && lbads <= nsf::kMaxLbads) out.blockSize = 1u << lbads;
    }

    std::copy_n(s.begin() + nsf::kEui64, sizeof out.eui64, out.eui64);
    std::copy_n(s.begin() + nsf::kNguid, sizeof out.nguid, out.nguid);
    out.hasEui64 = !AllZero(ByteView(out.eui64));
    out.hasNguid = !AllZero(ByteView(out.nguid));
    return true;
}

std::vector<std::uint32_t> ActiveNamespaces(ByteView list) {
    std::vector<std::uint32_t> ids;
    std::uint32_t id = 0;
    for (std::size_t off = 0; LoadLe(list, off, id) && id != 0; off += 4)
        ids.push_back(id);
    return ids;
}

} // namespace tvd::nvmeid
