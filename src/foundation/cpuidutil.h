// Processor identification through CPUID (x86 and x86-64; empty elsewhere).
#pragma once
#include <string>

namespace tvd {

// The 12-character vendor text of leaf 0; empty when CPUID is not available.
std::string CpuVendor();
// The 48-character brand text of leaves 0x80000002..4 with its padding NULs removed; empty when
// the highest extended leaf is below 0x80000004.
std::string CpuBrand();

} // namespace tvd
