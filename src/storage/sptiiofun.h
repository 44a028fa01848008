// The buffer of the Windows SCSI pass-through request (IOCTL_SCSI_PASS_THROUGH): the request
// header, the sense area after it and the data after the sense, in the layout of either pointer
// width (the header's DataBufferOffset is pointer-sized). Portable, so that both layouts are
// checked byte by byte on every build; the Windows back end sends it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/commandtypes.h"

namespace tvd::spti {

// Offsets of the fields and areas of one layout.
struct Layout {
    std::size_t headerSize;       // sizeof(SCSI_PASS_THROUGH), the Length field
    std::size_t dataBufferOffset; // offset of the DataBufferOffset field
    std::size_t dataBufferOffsetSize;
    std::size_t senseInfoOffset; // offset of the SenseInfoOffset field
    std::size_t cdb;             // offset of Cdb[16]
    std::size_t sense;           // the sense area
    std::size_t data;            // the data area
};

// Fields at the same offset in both widths.
inline constexpr std::size_t kLengthOff = 0, kScsiStatusOff = 2, kPathIdOff = 3, kTargetIdOff = 4,
                             kLunOff = 5, kCdbLengthOff = 6, kSenseInfoLengthOff = 7,
                             kDataInOff = 8, kDataTransferLengthOff = 12, kTimeOutValueOff = 16;
inline constexpr std::size_t kCdbMax = 16;
inline constexpr std::uint8_t kDataOut = 0, kDataIn = 1, kDataUnspecified = 2;

constexpr Layout LayoutOf(LayoutWidth width) {
    return width == LayoutWidth::k32 ? Layout{44, 20, 4, 24, 28, 48, 48 + kScsiSenseSize}
                                     : Layout{56, 24, 8, 32, 36, 56, 56 + kScsiSenseSize};
}
static_assert(LayoutOf(LayoutWidth::k32).data == 80);
static_assert(LayoutOf(LayoutWidth::k32).cdb + kCdbMax == LayoutOf(LayoutWidth::k32).headerSize);
static_assert(LayoutOf(LayoutWidth::k64).cdb + kCdbMax <= LayoutOf(LayoutWidth::k64).headerSize);
static_assert(LayoutOf(LayoutWidth::k64).sense % 8 == 0 &&
              LayoutOf(LayoutWidth::k32).sense % 8 == 0);

struct Request {
    ByteView cdb; // 1 to 16 bytes
    DataDirection direction = DataDirection::kNone;
    std::uint32_t dataLength = 0; // bytes to move (data-in room or data-out size)
    ByteView dataOut;             // the outgoing bytes (data-out only; dataLength of them)
    std::uint32_t timeoutSeconds = 10;
    std::uint8_t pathId = 0, targetId = 0, lun = 0;
};

struct Answer {
    std::uint8_t status = 0xFF;
    std::uint32_t transferred = 0;
    ByteView sense; // within the decoded buffer
    ByteView data;  // the transferred data-in bytes, within the decoded buffer
};

// Builds the request buffer. 22 without a CDB or with one above 16 bytes, 87 when data-out
// names more bytes than it holds.
ErrorCode Encode(LayoutWidth width, const Request& request, std::vector<std::uint8_t>& buffer);
// Reads the answer out of a buffer built by Encode for `request`. 8 when the device claims to
// have moved more than the request's data length, 13 for a buffer too short to hold the request.
ErrorCode Decode(LayoutWidth width, const Request& request, ByteView buffer, Answer& answer);

} // namespace tvd::spti
