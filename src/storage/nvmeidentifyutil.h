// Decoders of NVMe identify structures and log pages (pure, bounded by the buffer given).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"

namespace tvd::nvmeid {

// A controller structure is plausible when it is 4096 bytes and not all zero, and the model
// and serial hold printable text.
bool ControllerValid(ByteView ctrl);
std::string Model(ByteView ctrl);    // bytes 24-63, trailing blanks kept as the drive gives them
std::string Serial(ByteView ctrl);   // bytes 4-23
std::string Firmware(ByteView ctrl); // bytes 64-71
std::uint16_t PciVendorId(ByteView ctrl);          // bytes 0-1
std::uint16_t PciSubsystemVendorId(ByteView ctrl); // bytes 2-3
std::uint32_t Version(ByteView ctrl);              // VER, bytes 80-83 (0 when not reported)
std::string VersionText(std::uint32_t version);    // "1.4" / "1.2.1"; empty for 0
std::uint32_t NamespaceCount(ByteView ctrl);       // NN, bytes 516-519
std::uint16_t Oacs(ByteView ctrl);                 // bytes 256-257
std::uint32_t Sanicap(ByteView ctrl);              // bytes 328-331
bool SecuritySupported(ByteView ctrl);             // OACS bit 0
std::uint8_t FirmwareSlots(ByteView ctrl);         // FRMW bits 1-3
std::uint16_t WarningTemperature(ByteView ctrl);   // WCTEMP kelvin, 0 when none
std::uint16_t CriticalTemperature(ByteView ctrl);  // CCTEMP kelvin, 0 when none
std::uint64_t TotalCapacity(ByteView ctrl);        // TNVMCAP low 64 bits (bytes 280-295)

struct NamespaceInfo {
    std::uint64_t size = 0;     // NSZE, in blocks
    std::uint64_t capacity = 0; // NCAP
    std::uint64_t utilization = 0;
    std::uint32_t blockSize = 0; // from the LBA format in use; 0 when its exponent is invalid
    std::uint16_t metadataSize = 0;
    std::uint8_t formatIndex = 0;
    std::uint8_t eui64[8] = {};
    std::uint8_t nguid[16] = {};
    bool hasEui64 = false, hasNguid = false;
};
// False for a short or all-zero structure.
bool DecodeNamespace(ByteView ns, NamespaceInfo& out);
// The active namespace list (CNS 2): the NSIDs up to the first 0.
std::vector<std::uint32_t> ActiveNamespaces(ByteView list);

} // namespace tvd::nvmeid
