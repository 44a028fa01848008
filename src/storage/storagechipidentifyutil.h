// Which bridge chip a USB disk sits behind: from its INQUIRY data, from the USB ids of its
// device, and (for JMicron and ASMedia bridges only) from the bridge's own product query.
#pragma once
#include <cstdint>

#include "foundation/bytesutil.h"

namespace tvd {

class clScsi;

namespace chipid {
// The chip of INQUIRY data asked with 64 bytes (JMicron texts, "VU3A", "SYMWAVE ", "PLX",
// "SkyOTB"), from the bytes transferred; 0 when none matches.
std::uint16_t FromInquiry64(ByteView transferred);
// The ASMedia SATA bridge (bytes 36-37 = 0x05 0x21) of INQUIRY data asked with 38 bytes.
std::uint16_t FromInquiry38(ByteView transferred);
// The chips whose USB ids name them (Sunplus, the Prolific sets); 0 for any other device.
std::uint16_t FromUsbIds(std::uint16_t vendorId, std::uint16_t productId);

enum class AtaSet { kNone, kJmicron, kAsmedia, kSunplus, kPlx507, kPl2571 };
// The vendor ATA command set the dispatch uses for a chip.
AtaSet AtaSetOf(std::uint16_t chipId);
bool IsJmicronChip(std::uint16_t chipId);

// USB-NVMe bridges recognised by INQUIRY data alone (38 bytes: ASMedia 0x60 0x23 at 36-37;
// 40 bytes: JMicron "583", "CFE" or "822" at 37-39).
bool AsmediaNvmeInquiry(ByteView transferred);
bool JmicronNvmeInquiry(ByteView transferred);

// USB vendor identifiers of the two makers whose bridges answer a product query.
inline constexpr std::uint16_t kUsbVendorJmicron = 0x152D;
inline constexpr std::uint16_t kUsbVendorAsmedia = 0x174C;
} // namespace chipid

// INQUIRY with 64 bytes, then with 38; 0 when neither names a chip.
std::uint16_t IdentifyBridgeChip(clScsi* scsi);

// The USB vendor and product of a bridge from what it answers over SCSI: INQUIRY names a few
// (product 0), JMicron and ASMedia bridges answer a product query. The vendor queries go only
// to a bridge `chipId` names as theirs, never to an unknown one. False when nothing told.
bool IdentifyUsbBridge(clScsi* scsi, std::uint16_t chipId, std::uint16_t& vendorId,
                       std::uint16_t& productId);

} // namespace tvd
