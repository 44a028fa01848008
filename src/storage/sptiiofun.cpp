#include "storage/sptiiofun.h"

#include <algorithm>
#include <cstring>

namespace tvd::spti {

namespace {
constexpr ErrorCode kBadCommand = 22;

std::uint8_t DataInCode(DataDirection dir) {
    switch (dir) {
    case DataDirection::kIn:
        return kDataIn;
    case DataDirection::kOut:
        return kDataOut;
    case DataDirection::kNone:
        break;
    }
    return kDataUnspecified;
}

std::uint32_t DataLength(const Request& r) {
    return r.direction == DataDirection::kNone ? 0 : r.dataLength;
}
} // namespace

ErrorCode Encode(LayoutWidth width, const Request& r, std::vector<std::uint8_t>& buffer) {
    if (r.cdb.empty() || r.cdb.size() > kCdbMax) return kBadCommand;
    const std::uint32_t length = DataLength(r);
    if (r.direction == DataDirection::kOut && r.dataOut.size() < length)
        return err::kInvalidParameter;
    const Layout l = LayoutOf(width);
    buffer.assign(l.data + length, 0);
    MutableByteView b(buffer);
    StoreLe<std::uint16_t>(b, kLengthOff, static_cast<std::uint16_t>(l.headerSize));
    b[kPathIdOff] = r.pathId;
    b[kTargetIdOff] = r.targetId;
    b[kLunOff] = r.lun;
    b[kCdbLengthOff] = static_cast<std::uint8_t>(r.cdb.size());
    b[kSenseInfoLengthOff] = static_cast<std::uint8_t>(kScsiSenseSize);
    b[kDataInOff] = DataInCode(r.direction);
    StoreLe<std::uint32_t>(b, kDataTransferLengthOff, length);
    StoreLe<std::uint32_t>(b, kTimeOutValueOff, r.timeoutSeconds);
    if (l.dataBufferOffsetSize == 8)
        StoreLe<std::uint64_t>(b, l.dataBufferOffset, l.data);
    else
        StoreLe<std::uint32_t>(b, l.dataBufferOffset, static_cast<std::uint32_t>(l.data));
    StoreLe<std::uint32_t>(b, l.senseInfoOffset, static_cast<std::uint32_t>(l.sense));
    std::copy(r.cdb.begin(), r.cdb.end(), buffer.begin() + static_cast<std::ptrdiff_t>(l.cdb));
    if (r.direction == DataDirection::kOut && length != 0)
        std::memcpy(buffer.data() + l.data, r.dataOut.data(), length);
    return err::kSuccess;
}

ErrorCode Decode(LayoutWidth width, const Request& r, ByteView buffer, Answer& answer) {
    const Layout l = LayoutOf(width);
    const std::uint32_t length = DataLength(r);
    if (buffer.size() < l.data + length) return err::kInvalidData;
    const std::uint32_t transferred = Le<std::uint32_t>(buffer, kDataTransferLengthOff);
    if (transferred > length) return err::kNotEnoughMemory;
    answer.status = buffer[kScsiStatusOff];
    answer.transferred = transferred;
    const std::size_t senseLength =
        std::min<std::size_t>(buffer[kSenseInfoLengthOff], kScsiSenseSize);
    answer.sense = buffer.subspan(l.sense, senseLength);
    answer.data =
        r.direction == DataDirection::kIn ? buffer.subspan(l.data, transferred) : ByteView{};
    return err::kSuccess;
}

} // namespace tvd::spti
