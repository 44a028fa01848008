// NVMe sanitize: the action chosen from SANICAP, and the Sanitize Status log (identifier 81h).
#pragma once
#include <cstdint>

#include "foundation/bytesutil.h"

namespace tvd {

namespace sanact {
inline constexpr std::uint8_t kExitFailureMode = 1;
inline constexpr std::uint8_t kBlockErase = 2;
inline constexpr std::uint8_t kOverwrite = 3;
inline constexpr std::uint8_t kCryptoErase = 4;
} // namespace sanact

// `requested` 0 chooses block erase when SANICAP offers it (bit 1), else crypto (bit 0), else
// overwrite (bit 2) unless `overwriteAllowed` is false; a requested action the drive lacks, or
// none at all, answers 0: nothing is sent.
std::uint8_t ChooseSanitizeAction(std::uint32_t sanicap, std::uint8_t requested,
                                  bool overwriteAllowed = true);
// CDW10 of the SANITIZE command: the action, and for overwrite one pass (OWPASS 1; 0 would
// mean sixteen).
std::uint32_t SanitizeCdw10(std::uint8_t action);
// "block", "crypto", "overwrite", or "none".
const char* SanitizeActionName(std::uint8_t action);
std::uint8_t SanitizeActionByName(const char* name);

struct SanitizeStatus {
    std::uint16_t progress = 0; // SPROG, out of 65535
    std::uint8_t state = 0;     // SSTAT bits 2-0: 0 never, 1 done, 2 running, 3 failed
    bool globalDataErased = false;
};
namespace sstat {
inline constexpr std::uint8_t kNever = 0;
inline constexpr std::uint8_t kSucceeded = 1;
inline constexpr std::uint8_t kInProgress = 2;
inline constexpr std::uint8_t kFailed = 3;
inline constexpr std::uint8_t kSucceededNoDeallocate = 4;
} // namespace sstat
// False when the log is shorter than its first 4 bytes.
bool DecodeSanitizeStatus(ByteView log, SanitizeStatus& out);
// Percent done while running, 0 to 99.
unsigned SanitizePercent(const SanitizeStatus& s);

} // namespace tvd
