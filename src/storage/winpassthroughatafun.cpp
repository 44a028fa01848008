#include "storage/winpassthroughatafun.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tvd::winata {

namespace {

constexpr std::uint64_t kMaxUlong = std::numeric_limits<std::uint32_t>::max();

void StoreRegs(MutableByteView b, std::size_t off, const AtaRegisters& regs) {
    const auto bytes = regs.Bytes();
    if (InBounds(b.size(), off, bytes.size())) std::copy(bytes.begin(), bytes.end(), &b[off]);
}

AtaRegisters LoadRegs(ByteView b, std::size_t off) {
    if (!InBounds(b.size(), off, smart::kRegsSize)) return {};
    return AtaRegisters::FromBytes(b.subspan(off, smart::kRegsSize));
}

std::uint16_t FlagsOf(DataDirection dir) {
    switch (dir) {
    case DataDirection::kIn:
        return apt::kFlagDrdyRequired | apt::kFlagDataIn;
    case DataDirection::kOut:
        return apt::kFlagDrdyRequired | apt::kFlagDataOut;
    default:
        return apt::kFlagDrdyRequired;
    }
}

} // namespace

RequestLengths AtaPassThroughLengths(LayoutWidth w, DataDirection dir, std::size_t dataLength) {
    const auto header = static_cast<std::uint32_t>(AtaPassThroughLayoutOf(w).size);
    if (dir == DataDirection::kNone || header + std::uint64_t(dataLength) > kMaxUlong)
        return {header, header};
    const auto total = static_cast<std::uint32_t>(header + dataLength);
    return dir == DataDirection::kIn ? RequestLengths{header, total}
                                     : RequestLengths{total, header};
}

std::vector<std::uint8_t> BuildAtaPassThrough(LayoutWidth w, const AtaRegisters& regs,
                                              DataDirection dir, std::size_t dataLength,
                                              ByteView outData, std::uint32_t timeoutSeconds) {
    const AtaPassThroughLayout& l = AtaPassThroughLayoutOf(w);
    if (dir == DataDirection::kNone) dataLength = 0;
    if (l.size + std::uint64_t(dataLength) > kMaxUlong) return {};
    std::vector<std::uint8_t> b(l.size + dataLength, 0);
    StoreLe<std::uint16_t>(b, apt::kLength, static_cast<std::uint16_t>(l.size));
    StoreLe<std::uint16_t>(b, apt::kAtaFlags, FlagsOf(dir));
    StoreLe<std::uint32_t>(b, apt::kDataTransferLength, static_cast<std::uint32_t>(dataLength));
    StoreLe<std::uint32_t>(b, apt::kTimeOutValue, timeoutSeconds);
    if (dataLength != 0) {
        if (l.dataBufferOffsetSize == 8)
            StoreLe<std::uint64_t>(b, l.dataBufferOffset, l.size);
        else
            StoreLe<std::uint32_t>(b, l.dataBufferOffset, static_cast<std::uint32_t>(l.size));
    }
    StoreRegs(b, l.currentTaskFile, regs);
    if (dir == DataDirection::kOut)
        std::copy_n(outData.begin(), std::min(outData.size(), dataLength), b.begin() + l.size);
    return b;
}

ErrorCode ParseAtaPassThrough(LayoutWidth w, ByteView in, AtaPassThroughRequest& out) {
    const AtaPassThroughLayout& l = AtaPassThroughLayoutOf(w);
    out = {};
    if (in.size() < l.size || Le<std::uint16_t>(in, apt::kLength) != l.size)
        return err::kInvalidParameter;
    out.flags = Le<std::uint16_t>(in, apt::kAtaFlags);
    out.dataLength = Le<std::uint32_t>(in, apt::kDataTransferLength);
    out.timeoutSeconds = Le<std::uint32_t>(in, apt::kTimeOutValue);
    out.regs = LoadRegs(in, l.currentTaskFile);
    const bool dataIn = out.flags & apt::kFlagDataIn, dataOut = out.flags & apt::kFlagDataOut;
    if ((dataIn && dataOut) || (out.flags & apt::kFlag48BitCommand)) return err::kInvalidParameter;
    out.dir = dataIn ? DataDirection::kIn : dataOut ? DataDirection::kOut : DataDirection::kNone;
    if (out.dir == DataDirection::kNone) {
        out.dataLength = 0;
        return err::kSuccess;
    }
    const std::uint64_t offset = l.dataBufferOffsetSize == 8
                                     ? Le<std::uint64_t>(in, l.dataBufferOffset)
                                     : Le<std::uint32_t>(in, l.dataBufferOffset);
    if (offset < l.size || out.dataLength == 0) return err::kInvalidParameter;
    out.dataOffset = static_cast<std::size_t>(std::min<std::uint64_t>(offset, kMaxUlong));
    // Data-out must lie inside the input; data-in is checked against the output by the caller.
    if (out.dir == DataDirection::kOut && !InBounds(in.size(), out.dataOffset, out.dataLength))
        return err::kInvalidParameter;
    return err::kSuccess;
}

AtaRegisters AtaPassThroughResult(LayoutWidth w, ByteView buffer) {
    return LoadRegs(buffer, AtaPassThroughLayoutOf(w).currentTaskFile);
}

void StoreAtaPassThroughResult(LayoutWidth w, MutableByteView buffer, const AtaRegisters& regs) {
    StoreRegs(buffer, AtaPassThroughLayoutOf(w).currentTaskFile, regs);
}

std::vector<std::uint8_t> BuildSmartInput(const AtaRegisters& regs, std::uint8_t driveNumber) {
    std::vector<std::uint8_t> b(smart::kInSize, 0);
    StoreLe<std::uint32_t>(b, smart::kInBufferSize, smart::kInSize);
    StoreRegs(b, smart::kInRegs, regs);
    b[smart::kInDriveNumber] = driveNumber;
    return b;
}

std::uint32_t SmartOutputLength(bool dataIn) {
    return static_cast<std::uint32_t>(smart::kOutHeaderSize +
                                      (dataIn ? kAtaSectorSize : smart::kRegsSize));
}

ErrorCode ParseSmartInput(ByteView in, AtaRegisters& regs, std::uint8_t& driveNumber) {
    if (in.size() < smart::kInSize) return err::kInvalidParameter;
    regs = LoadRegs(in, smart::kInRegs);
    driveNumber = in[smart::kInDriveNumber];
    return err::kSuccess;
}

std::vector<std::uint8_t> BuildSmartRequest(const AtaRegisters& regs, std::uint8_t driveNumber,
                                            bool dataIn) {
    const std::vector<std::uint8_t> in = BuildSmartInput(regs, driveNumber);
    std::vector<std::uint8_t> b(std::max<std::size_t>(in.size(), SmartOutputLength(dataIn)), 0);
    std::copy(in.begin(), in.end(), b.begin());
    return b;
}

std::size_t MiniportSmartDataLength(std::uint32_t controlCode) {
    switch (controlCode) {
    case srb::kIdentify:
    case srb::kReadAttributes:
    case srb::kReadThresholds:
        return kAtaSectorSize;
    default:
        return 0;
    }
}

bool MiniportSmartKnown(std::uint32_t controlCode) {
    return MiniportSmartDataLength(controlCode) != 0 || controlCode == srb::kReturnStatus ||
           controlCode == srb::kExecuteOffline;
}

namespace {
std::uint32_t MiniportLength(std::uint32_t controlCode) {
    return static_cast<std::uint32_t>(std::max<std::size_t>(
        smart::kOutHeaderSize + MiniportSmartDataLength(controlCode), smart::kInSize));
}
} // namespace

RequestLengths MiniportSmartLengths(std::uint32_t controlCode) {
    return {static_cast<std::uint32_t>(srb::kSize + smart::kInSize),
            static_cast<std::uint32_t>(srb::kSize + MiniportLength(controlCode))};
}

std::vector<std::uint8_t> BuildMiniportSmart(std::uint32_t controlCode, const AtaRegisters& regs,
                                             std::uint8_t driveNumber) {
    const std::uint32_t length = MiniportLength(controlCode);
    std::vector<std::uint8_t> b(srb::kSize + length, 0);
    StoreLe<std::uint32_t>(b, srb::kHeaderLength, srb::kSize);
    std::memcpy(&b[srb::kSignature], srb::kSmartSignature, sizeof srb::kSmartSignature);
    StoreLe<std::uint32_t>(b, srb::kTimeout, srb::kTimeoutSeconds);
    StoreLe<std::uint32_t>(b, srb::kControlCode, controlCode);
    StoreLe<std::uint32_t>(b, srb::kLength, length);
    const std::vector<std::uint8_t> input = BuildSmartInput(regs, driveNumber);
    std::copy(input.begin(), input.end(), b.begin() + srb::kSize);
    return b;
}

ErrorCode ParseMiniportSmart(ByteView in, MiniportSmartRequest& out) {
    out = {};
    if (in.size() < srb::kSize) return err::kInvalidParameter;
    if (std::memcmp(&in[srb::kSignature], srb::kSmartSignature, sizeof srb::kSmartSignature) != 0)
        return err::kNotSupported;
    if (Le<std::uint32_t>(in, srb::kHeaderLength) != srb::kSize) return err::kInvalidParameter;
    out.controlCode = Le<std::uint32_t>(in, srb::kControlCode);
    out.length = Le<std::uint32_t>(in, srb::kLength);
    if (out.length < smart::kInSize) return err::kInvalidParameter;
    return ParseSmartInput(in.subspan(srb::kSize), out.regs, out.driveNumber);
}

} // namespace tvd::winata
