// Types shared by the ATA, NVMe and SCSI command layers and the back ends that carry their
// commands: the ATA register block, transfer directions, the sizes of the fixed structures, and
// the Windows device-control codes the command classes send (the Windows back end issues them,
// the simulation answers them, elsewhere they are not supported).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "foundation/bytesutil.h"

namespace tvd {

enum class DataDirection : std::uint8_t { kNone, kIn, kOut };

// The 8-byte register block in the platform's IDEREGS order. After a command the same layout
// carries the returned registers (command = status, features = error).
struct AtaRegisters {
    std::uint8_t features = 0;
    std::uint8_t sectorCount = 0;
    std::uint8_t lbaLow = 0;  // sector number
    std::uint8_t lbaMid = 0;  // cylinder low
    std::uint8_t lbaHigh = 0; // cylinder high
    std::uint8_t device = 0;  // device/head
    std::uint8_t command = 0; // status on return
    std::uint8_t reserved = 0;

    std::array<std::uint8_t, 8> Bytes() const {
        return {features, sectorCount, lbaLow, lbaMid, lbaHigh, device, command, reserved};
    }
    static AtaRegisters FromBytes(ByteView b) {
        AtaRegisters r;
        if (b.size() < 8) return r;
        r.features = b[0];
        r.sectorCount = b[1];
        r.lbaLow = b[2];
        r.lbaMid = b[3];
        r.lbaHigh = b[4];
        r.device = b[5];
        r.command = b[6];
        r.reserved = b[7];
        return r;
    }
    bool operator==(const AtaRegisters&) const = default;
};

inline constexpr std::size_t kAtaSectorSize = 512;
inline constexpr std::size_t kAtaIdentifySize = 512;
inline constexpr std::size_t kNvmeCommandSize = 64;
inline constexpr std::size_t kNvmeCompletionSize = 16;
inline constexpr std::size_t kNvmeDataSize = 4096; // identify structures
inline constexpr std::size_t kNvmeLogSize = 512;   // SMART / health and sanitize status logs
inline constexpr std::size_t kScsiSenseSize = 32;

// Device-control codes (checked against the platform headers in the Windows build).
namespace ioctl {
inline constexpr std::uint32_t kScsiPassThrough = 0x0004D004;       // IOCTL_SCSI_PASS_THROUGH
inline constexpr std::uint32_t kScsiMiniport = 0x0004D008;          // IOCTL_SCSI_MINIPORT
inline constexpr std::uint32_t kScsiGetAddress = 0x00041018;        // IOCTL_SCSI_GET_ADDRESS
inline constexpr std::uint32_t kAtaPassThrough = 0x0004D02C;        // IOCTL_ATA_PASS_THROUGH
inline constexpr std::uint32_t kSmartSendDriveCommand = 0x0007C084; // SMART_SEND_DRIVE_COMMAND
inline constexpr std::uint32_t kSmartRcvDriveData = 0x0007C088;     // SMART_RCV_DRIVE_DATA
inline constexpr std::uint32_t kStorageQueryProperty = 0x002D1400;  // IOCTL_STORAGE_QUERY_PROPERTY
inline constexpr std::uint32_t kStorageProtocolCommand =
    0x002DD3C0;                                                    // IOCTL_STORAGE_PROTOCOL_COMMAND
inline constexpr std::uint32_t kDiskUpdateProperties = 0x00070140; // IOCTL_DISK_UPDATE_PROPERTIES
} // namespace ioctl

// The pointer width whose request layouts a build sends: the 32-bit layouts of the Windows
// interface, or the native 64-bit ones (headers with pointer-sized fields grow).
enum class LayoutWidth : std::uint8_t { k32, k64 };
inline constexpr LayoutWidth kNativeLayoutWidth =
    sizeof(void*) == 8 ? LayoutWidth::k64 : LayoutWidth::k32;

} // namespace tvd
