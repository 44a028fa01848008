// The static vendor profiles that steer how an ATA drive's vendor-specific SMART attributes are
// read: which attribute-name section applies, the unit of the host counters and how remaining
// life is encoded.
#pragma once
#include <cstdint>
#include <string_view>

namespace tvd {

// Counter units (`unitCode`); 0 means the profile states none.
inline constexpr std::uint8_t kSmartUnitSectors = 1; // 512-byte sectors
inline constexpr std::uint8_t kSmartUnitMib = 2;
inline constexpr std::uint8_t kSmartUnit64Mib = 3;
inline constexpr std::uint8_t kSmartUnit32Mib = 4;
inline constexpr std::uint8_t kSmartUnitGib = 5;

// Life encodings (`lifeVariant`); any other value assigns no life.
inline constexpr std::uint8_t kSmartLifeNormalized = 1;
inline constexpr std::uint8_t kSmartLifeRawByte0 = 2;
inline constexpr std::uint8_t kSmartLifeInverseRawByte0 = 3; // 100 minus raw byte 0

inline constexpr std::uint32_t kSmartTypeHardDisk = 3;

struct SmartVendorProfile {
    std::uint32_t type;
    std::u16string_view nameSection;
    std::uint8_t unitCode;
    std::uint8_t lifeVariant;
};

enum class SmartVendorProfileId : std::uint8_t {
    kHardDisk,
    kSsd,
    kSsdSectors,
    kSsd32Mib,
    kSsdGib,
    kIntel,
    kIntelDc,
    kSamsung,
    kSandForce,
    kJMicron60x,
    kJMicron61x,
    kJMicron66x,
    kSanDisk,
    kSanDiskGbSectors,
    kSanDiskGb,
    kSanDiskDell,
    kSanDiskHp,
    kSanDiskHpVenus,
    kSanDiskLenovo,
    kSanDiskLenovoHelenVenus,
    kKingston,
    kKingstonSa400A,
    kKingstonSa400B,
    kKingstonSa400C,
    kKingstonKc600,
    kKingstonDc500,
    kKingstonSuv,
    kMicron,
    kMicronMu03Sectors,
    kMicronMu0332Mib,
    kOcz,
    kOczVector,
    kSeagateA,
    kSeagateB,
    kSeagateIronWolf,
    kSeagateBarraCuda,
    kWd64Mib,
    kWd,
    kToshiba32Mib,
    kToshiba,
    kMtron,
    kIndilinx,
    kPlextor,
    kCorsair,
    kRealtek,
    kSkHynix,
    kSkHynixRawLife,
    kSkHynixInverseLife,
    kSkHynixSectors,
    kKioxia,
    kSsstc,
    kApacer,
    kSiliconMotionA,
    kSiliconMotionB,
    kPhisonMib,
    kPhison,
    kMarvell,
    kMaxiotek,
    kMaxiotekSectors,
    kYmtc,
    kScy,
    kTolmeran,
    kCount
};

// The static record of a profile; an id out of range gives the generic hard-disk profile, so a
// caller always holds a usable record.
const SmartVendorProfile& GetSmartVendorProfile(SmartVendorProfileId id);

} // namespace tvd
