// SCSI SANITIZE (SBC): the command block the erase sends to a drive that takes the SCSI command,
// and the translation between its service actions and NVMe's SANACT, as Windows makes it for an
// NVMe drive. OVERWRITE needs a parameter list, which this program does not send, so it has no
// SCSI form here.
#pragma once
#include <cstdint>

#include "foundation/bytesutil.h"
#include "storage/clscsi.h"

namespace tvd {

inline constexpr std::uint8_t kScsiSanitizeOpcode = 0x48;
inline constexpr std::size_t kScsiSanitizeCdbSize = 10;

namespace scsisa {
inline constexpr std::uint8_t kOverwrite = 0x01;
inline constexpr std::uint8_t kBlockErase = 0x02;
inline constexpr std::uint8_t kCryptoErase = 0x03;
inline constexpr std::uint8_t kExitFailureMode = 0x1F;
} // namespace scsisa

// The service action for an NVMe SANACT (block, crypto, exit failure mode); 0 for any other.
std::uint8_t ScsiSanitizeServiceAction(std::uint8_t sanact);
// The NVMe SANACT a SANITIZE command block asks for; 0 when it cannot be passed on (a short
// block, another opcode, OVERWRITE or a reserved action, a parameter list).
std::uint8_t SanactOfScsiSanitize(ByteView cdb);
// IMMED: SANITIZE returns once the sanitize has started; its end is read from the drive's log.
inline constexpr std::uint8_t kScsiSanitizeImmed = 0x80;
// Sends SANITIZE (10) with IMMED for an NVMe SANACT (block or crypto erase, or exit failure
// mode), no parameter list, AUSE clear. False when the action has no SCSI form or the drive
// rejected the command.
bool ScsiSanitizeStart(clScsi* scsi, std::uint8_t sanact);

} // namespace tvd
