#include "jobs/nvmesanitizeutil.h"

#include <cstring>

namespace tvd {

std::uint8_t ChooseSanitizeAction(std::uint32_t sanicap, std::uint8_t requested,
                                  bool overwriteAllowed) {
    const bool crypto = sanicap & 0x1, block = sanicap & 0x2, overwrite = sanicap & 0x4;
    switch (requested) {
    case 0:
        if (block) return sanact::kBlockErase;
        if (crypto) return sanact::kCryptoErase;
        if (overwrite && overwriteAllowed) return sanact::kOverwrite;
        return 0;
    case sanact::kBlockErase:
        return block ? requested : 0;
    case sanact::kCryptoErase:
        return crypto ? requested : 0;
    case sanact::kOverwrite:
        return overwrite && overwriteAllowed ? requested : 0;
    default:
        return 0;
    }
}

std::uint32_t SanitizeCdw10(std::uint8_t action) {
    std::uint32_t cdw10 = action & 0x7u;
    if (action == sanact::kOverwrite) cdw10 |= 1u << 4;
    return cdw10;
}

const char* SanitizeActionName(std::uint8_t action) {
    switch (action) {
    case sanact::kBlockErase:
        return "block";
    case sanact::kCryptoErase:
        return "crypto";
    case sanact::kOverwrite:
        return "overwrite";
    default:
        return "none";
    }
}

std::uint8_t SanitizeActionByName(const char* name) {
    for (std::uint8_t a : {sanact::kBlockErase, sanact::kCryptoErase, sanact::kOverwrite})
        if (name && std::strcmp(name, SanitizeActionName(a)) == 0) return a;
    return 0;
}

bool DecodeSanitizeStatus(ByteView log, SanitizeStatus& out) {
    out = SanitizeStatus{};
    std::uint16_t sprog = 0, status = 0;
    if (!LoadLe(log, 0, sprog) || !LoadLe(log, 2, status)) return false;
    out.progress = sprog;
    out.state = static_cast<std::uint8_t>(status & 0x7);
    out.globalDataErased = (status & 0x0100) != 0;
    return true;
}

unsigned SanitizePercent(const SanitizeStatus& s) {
    const unsigned p = static_cast<unsigned>(s.progress) * 100u / 65535u;
    return p >= 100 ? 99 : p;
}

} // namespace tvd
