// The Windows request buffers that carry ATA commands: ATA_PASS_THROUGH_EX (both pointer
// widths), the SMART requests' SENDCMDINPARAMS / SENDCMDOUTPARAMS, and the SCSI miniport SMART
// requests (SRB_IO_CONTROL "SCSIDISK"). Portable: the command classes build requests with these,
// the simulation decodes them, the Windows build checks the layouts against the platform headers.
// Every request is one buffer, header followed by data, sent as both input and output.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/commandtypes.h"

namespace tvd::winata {

struct RequestLengths {
    std::uint32_t in = 0;
    std::uint32_t out = 0;
};

// ---- ATA_PASS_THROUGH_EX
namespace apt {
inline constexpr std::size_t kLength = 0;             // USHORT
inline constexpr std::size_t kAtaFlags = 2;           // USHORT
inline constexpr std::size_t kPathId = 4;             // UCHAR
inline constexpr std::size_t kTargetId = 5;           // UCHAR
inline constexpr std::size_t kLun = 6;                // UCHAR
inline constexpr std::size_t kDataTransferLength = 8; // ULONG
inline constexpr std::size_t kTimeOutValue = 12;      // ULONG
inline constexpr std::size_t kReservedAsUlong = 16;   // ULONG

inline constexpr std::uint16_t kFlagDrdyRequired = 0x01;
inline constexpr std::uint16_t kFlagDataIn = 0x02;
inline constexpr std::uint16_t kFlagDataOut = 0x04;
inline constexpr std::uint16_t kFlag48BitCommand = 0x08;

inline constexpr std::uint32_t kDefaultTimeout = 1000; // seconds
} // namespace apt

// The fields after ReservedAsUlong move with the pointer-sized DataBufferOffset.
struct AtaPassThroughLayout {
    std::size_t dataBufferOffset;
    std::size_t dataBufferOffsetSize;
    std::size_t previousTaskFile;
    std::size_t currentTaskFile;
    std::size_t size; // header size; the data follows
};
inline constexpr AtaPassThroughLayout kAtaPassThrough32{20, 4, 24, 32, 40};
inline constexpr AtaPassThroughLayout kAtaPassThrough64{24, 8, 32, 40, 48};
constexpr const AtaPassThroughLayout& AtaPassThroughLayoutOf(LayoutWidth w) {
    return w == LayoutWidth::k64 ? kAtaPassThrough64 : kAtaPassThrough32;
}
static_assert(kAtaPassThrough32.currentTaskFile + 8 == kAtaPassThrough32.size);
static_assert(kAtaPassThrough64.currentTaskFile + 8 == kAtaPassThrough64.size);
static_assert(kAtaPassThrough64.dataBufferOffset % 8 == 0);

RequestLengths AtaPassThroughLengths(LayoutWidth w, DataDirection dir, std::size_t dataLength);
// The whole request (max of input and output length), data-out payload copied in. Empty when
// the sizes do not fit the request's 32-bit fields.
std::vector<std::uint8_t> BuildAtaPassThrough(LayoutWidth w, const AtaRegisters& regs,
                                              DataDirection dir, std::size_t dataLength,
                                              ByteView outData, std::uint32_t timeoutSeconds);

struct AtaPassThroughRequest {
    AtaRegisters regs;
    DataDirection dir = DataDirection::kNone;
    std::uint16_t flags = 0;
    std::uint32_t dataLength = 0;
    std::uint32_t timeoutSeconds = 0;
    std::size_t dataOffset = 0; // where the data starts in the buffer
};
// kInvalidParameter for a malformed request (short, wrong Length, both directions, data
// outside the buffer, 48-bit task files).
ErrorCode ParseAtaPassThrough(LayoutWidth w, ByteView in, AtaPassThroughRequest& out);
AtaRegisters AtaPassThroughResult(LayoutWidth w, ByteView buffer);
void StoreAtaPassThroughResult(LayoutWidth w, MutableByteView buffer, const AtaRegisters& regs);

// ---- SENDCMDINPARAMS / SENDCMDOUTPARAMS (byte-packed, same for both widths)
namespace smart {
inline constexpr std::size_t kInSize = 32; // without the trailing bBuffer byte
inline constexpr std::size_t kInBufferSize = 0;
inline constexpr std::size_t kInRegs = 4;
inline constexpr std::size_t kInDriveNumber = 12;
inline constexpr std::size_t kOutHeaderSize = 16;
inline constexpr std::size_t kOutBufferSize = 0;
inline constexpr std::size_t kOutDriverError = 4; // DRIVERSTATUS.bDriverError
inline constexpr std::size_t kOutIdeError = 5;    // DRIVERSTATUS.bIDEError
inline constexpr std::size_t kOutData = 16;
inline constexpr std::size_t kRegsSize = 8;
inline constexpr std::uint8_t kDriverErrorIde = 1; // SMART_IDE_ERROR
} // namespace smart

// The 32-byte input block: cBufferSize 32, the registers, the drive number.
std::vector<std::uint8_t> BuildSmartInput(const AtaRegisters& regs, std::uint8_t driveNumber);
// Output length of a SMART request: header + 512 for a data read, header + registers otherwise.
std::uint32_t SmartOutputLength(bool dataIn);
ErrorCode ParseSmartInput(ByteView in, AtaRegisters& regs, std::uint8_t& driveNumber);
// The request buffer: the input block, room for the output.
std::vector<std::uint8_t> BuildSmartRequest(const AtaRegisters& regs, std::uint8_t driveNumber,
                                            bool dataIn);

// ---- SRB_IO_CONTROL + SMART input block (IOCTL_SCSI_MINIPORT)
namespace srb {
inline constexpr std::size_t kSize = 28;
inline constexpr std::size_t kHeaderLength = 0;
inline constexpr std::size_t kSignature = 4; // 8 bytes
inline constexpr std::size_t kTimeout = 12;
inline constexpr std::size_t kControlCode = 16;
inline constexpr std::size_t kReturnCode = 20;
inline constexpr std::size_t kLength = 24;
inline constexpr char kSmartSignature[8] = {'S', 'C', 'S', 'I', 'D', 'I', 'S', 'K'};
inline constexpr std::size_t kData = kSize + smart::kOutData; // data or result registers
inline constexpr std::uint32_t kTimeoutSeconds = 1000;

inline constexpr std::uint32_t kIdentify = 0x1B0501;
inline constexpr std::uint32_t kReadAttributes = 0x1B0502;
inline constexpr std::uint32_t kReadThresholds = 0x1B0503;
inline constexpr std::uint32_t kReturnStatus = 0x1B0506;
inline constexpr std::uint32_t kExecuteOffline = 0x1B0509;
} // namespace srb

// 512 for the data-in codes, 0 for the others (and for unknown codes).
std::size_t MiniportSmartDataLength(std::uint32_t controlCode);
bool MiniportSmartKnown(std::uint32_t controlCode);
// Length = max(16 + data, 32); input 28 + 32; output 28 + Length, so the miniport may fill what
// Length announces.
RequestLengths MiniportSmartLengths(std::uint32_t controlCode);
std::vector<std::uint8_t> BuildMiniportSmart(std::uint32_t controlCode, const AtaRegisters& regs,
                                             std::uint8_t driveNumber);

struct MiniportSmartRequest {
    std::uint32_t controlCode = 0;
    std::uint32_t length = 0; // SRB_IO_CONTROL.Length
    AtaRegisters regs;
    std::uint8_t driveNumber = 0;
};
// kNotSupported when the signature is not "SCSIDISK" (another miniport's request);
// kInvalidParameter when the buffer is malformed.
ErrorCode ParseMiniportSmart(ByteView in, MiniportSmartRequest& out);

} // namespace tvd::winata
