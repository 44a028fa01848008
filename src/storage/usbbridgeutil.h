// The command interfaces of a USB disk through its bridge: the SCSI/ATA Translation first, then
// the vendor command set the bridge chip calls for (ATA), or the ASMedia or JMicron NVMe set.
#pragma once
#include <cstdint>

#include "storage/devicechoice.h"

namespace tvd {

class clUsbAta;
class clUsbNvme;
class clScsi;

// An accepted ATA interface of a fixed USB disk (its IDENTIFY data passed), owning its SCSI
// interface; none otherwise. Sets the disk's chip identifier when it was still 0.
InterfacePtr<clAta> OpenUsbAtaInterface(clDisk* disk);

// The chip of a disk: INQUIRY first, then the USB ids of its device.
std::uint16_t BridgeChipOf(clDisk* disk, clScsi* scsi);

// The two NVMe candidates (they take `scsi` only when they answer).
CandidateResult<clNvme> MakeAsmediaUsbNvme(const CandidateContext& ctx, MutableByteView identify,
                                           InterfacePtr<clNtScsi>& scsi);
CandidateResult<clNvme> MakeJmicronUsbNvme(const CandidateContext& ctx, MutableByteView identify,
                                           InterfacePtr<clNtScsi>& scsi);

} // namespace tvd
