// Processor identification through the CPUID instruction (GCC and MinGW's <cpuid.h>).
#include "foundation/cpuidutil.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define TVD_HAVE_CPUID 1
#endif

namespace tvd {

#ifdef TVD_HAVE_CPUID

namespace {

void AppendRegister(std::string& text, unsigned reg) {
    char bytes[4];
    std::memcpy(bytes, &reg, sizeof bytes); // x86 is little-endian: the text's byte order
    text.append(bytes, sizeof bytes);
}

} // namespace

std::string CpuVendor() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(0, &a, &b, &c, &d)) return {};
    std::string vendor;
    AppendRegister(vendor, b);
    AppendRegister(vendor, d);
    AppendRegister(vendor, c);
    return vendor;
}

std::string CpuBrand() {
    const unsigned highest = __get_cpuid_max(0x80000000u, nullptr);
    if (highest < 0x80000004u) return {};
    std::string brand;
    for (unsigned leaf = 0x80000002u; leaf <= 0x80000004u; ++leaf) {
        unsigned a = 0, b = 0, c = 0, d = 0;
        __cpuid(leaf, a, b, c, d);
        AppendRegister(brand, a);
        AppendRegister(brand, b);
        AppendRegister(brand, c);
        AppendRegister(brand, d);
    }
    if (auto nul = brand.find('\0'); nul != std::string::npos) brand.resize(nul);
    return brand;
}

#else

// No CPUID on this processor family.
std::string CpuVendor() {
    return {};
}
std::string CpuBrand() {
    return {};
}

#endif

} // namespace tvd
