#include "jobs/scsisanitizeutil.h"

#include "jobs/nvmesanitizeutil.h"

namespace tvd {

std::uint8_t ScsiSanitizeServiceAction(std::uint8_t sanact) {
    switch (sanact) {
    case sanact::kBlockErase:
        return scsisa::kBlockErase;
    case sanact::kCryptoErase:
        return scsisa::kCryptoErase;
    case sanact::kExitFailureMode:
        return scsisa::kExitFailureMode;
    default:
        return 0;
    }
}

std::uint8_t SanactOfScsiSanitize(ByteView cdb) {
    if (cdb.size() < kScsiSanitizeCdbSize || cdb[0] != kScsiSanitizeOpcode) return 0;
    if (cdb[7] != 0 || cdb[8] != 0) return 0; // a parameter list this translation cannot take
    switch (cdb[1] & 0x1F) {
    case scsisa::kBlockErase:
        return sanact::kBlockErase;
    case scsisa::kCryptoErase:
        return sanact::kCryptoErase;
    case scsisa::kExitFailureMode:
        return sanact::kExitFailureMode;
    default:
        return 0;
    }
}

bool ScsiSanitizeStart(clScsi* scsi, std::uint8_t sanact) {
    const std::uint8_t sa = ScsiSanitizeServiceAction(sanact);
    if (!scsi || sa == 0) return false;
    return scsicmd::Sanitize(scsi, static_cast<std::uint8_t>(kScsiSanitizeImmed | sa), {});
}

} // namespace tvd
