#include <cstddef>
#include <cstdint>

#include "jobs/nvmesanitizeutil.h"

// The sanitize status log comes from the drive: decoding stays inside the bytes, the state is
// three bits and a running sanitize never reads as finished by its percentage.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tvd;
    const ByteView raw(data, size);
    SanitizeStatus s;
    const bool ok = DecodeSanitizeStatus(raw, s);
    if (ok != (size >= 4)) __builtin_trap();
    if (s.state > 7 || SanitizePercent(s) > 99) __builtin_trap();
    std::uint32_t sanicap = 0;
    LoadLe(raw, 0, sanicap);
    for (std::uint8_t requested = 0; requested < 8; ++requested) {
        const std::uint8_t a = ChooseSanitizeAction(sanicap, requested, size % 2 == 0);
        if (a != 0 && a != sanact::kBlockErase && a != sanact::kCryptoErase &&
            a != sanact::kOverwrite)
            __builtin_trap();
    }
    return 0;
}
