// The ATA commands of the SCSI/ATA Translation over a SCSI transport, shared by the USB bridges
// that speak it and by the SATA disks a host's own translation (libata) presents.
#pragma once
#include <cstdint>

#include "foundation/bytesutil.h"
#include "storage/commandtypes.h"

namespace tvd {

class clScsi;

namespace satata {
// ATA PASS-THROUGH (12): GOOD status and every byte transferred.
bool ExecNonData(clScsi* transport, const AtaRegisters& regs);
bool ExecDataIn(clScsi* transport, const AtaRegisters& regs, MutableByteView data);
bool ExecDataOut(clScsi* transport, const AtaRegisters& regs, ByteView data);
// IDENTIFY DEVICE to `device`, one sector (nothing sent for a short buffer).
bool Identify(clScsi* transport, std::uint8_t device, MutableByteView buffer);
// SMART READ DATA (0xD0) / READ THRESHOLDS (0xD1): one sector, device 0xE0 as SAT expects.
bool SmartRead(clScsi* transport, std::uint8_t feature, MutableByteView buffer);
// READ / WRITE SECTORS EXT through ATA PASS-THROUGH (16); ranges the buffer or 48-bit LBAs cannot
// hold are refused before anything is sent.
bool ReadSectors(clScsi* transport, std::uint64_t lba, std::uint32_t count, MutableByteView buffer);
bool WriteSectors(clScsi* transport, std::uint64_t lba, std::uint32_t count, ByteView buffer);
} // namespace satata

} // namespace tvd
