// The request buffer of the RST miniport NVMe pass-through (IOCTL_SCSI_MINIPORT on the SCSI
// port): an SRB_IO_CONTROL header with the "IntelNvm" signature, the disk's address, the
// command, the completion and one 4096-byte data area. Same layout for both pointer widths.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/commandtypes.h"
#include "storage/storagetypes.h"

namespace tvd::irstnvme {

// SRB_IO_CONTROL.
namespace srbio {
inline constexpr std::size_t kHeaderLength = 0, kSignature = 4, kSignatureSize = 8, kTimeout = 12,
                             kControlCode = 16, kReturnCode = 20, kLength = 24, kSize = 28;
}

namespace layout {
inline constexpr std::size_t kVersion = 28, kPathId = 29, kTargetId = 30, kLun = 31, kCommand = 32,
                             kCompletion = 96, kDataOffset = 116, kDataLength = 120, kData = 164;
inline constexpr std::size_t kDataSize = 4096;
inline constexpr std::size_t kSize = kData + kDataSize; // 4260
inline constexpr std::uint8_t kVersionValue = 1;
inline constexpr std::uint32_t kControlCode = 0xF0002808u;
inline constexpr std::uint32_t kTimeoutSeconds = 10;
inline constexpr char kSignature[] = "IntelNvm";
} // namespace layout

// The zero-filled request for one admin data-in command (64 bytes; otherwise empty).
std::vector<std::uint8_t> BuildRequest(const ScsiAddress& address, ByteView command);
// Copies the data (`data.size()`, at most 4096) and the completion of an answer. 13 when
// nothing came back or the buffer is short, 87 for a data length above 4096, 1117 when the
// completion reports a failed command (the completion is still copied).
ErrorCode ParseAnswer(ByteView buffer, std::uint32_t returned, MutableByteView data,
                      std::uint8_t* completion);

} // namespace tvd::irstnvme
