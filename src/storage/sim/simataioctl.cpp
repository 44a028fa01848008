// The Windows storage requests that carry ATA commands, answered by a simulated ATA drive the
// way the Windows storage stack answers them: the request is accepted whenever it is well formed,
// and the drive's verdict travels in the returned registers (pass-through) or DRIVERSTATUS (the
// SMART requests).
#include <algorithm>
#include <vector>

#include "storage/sim/simdevices.h"
#include "storage/winpassthroughatafun.h"

namespace tvd {

namespace {

constexpr LayoutWidth kWidth = kNativeLayoutWidth;
constexpr std::uint8_t kCmdIdentify = 0xEC;
constexpr std::uint8_t kCmdSmart = 0xB0;

// Runs one command; a refusal without an error status gets the usual abort registers.
AtaRegisters Run(SimAtaDevice& ata, const AtaRegisters& regs, DataDirection dir,
                 MutableByteView data, bool& ok) {
    AtaRegisters result;
    ok = ata.Execute(regs, dir, data, result);
    if (!ok && !(result.command & 0x01)) {
        result.command = 0x51;
        result.features = 0x04;
    }
    return result;
}

ErrorCode PassThrough(SimAtaDevice& ata, const std::vector<std::uint8_t>& in, MutableByteView out,
                      std::uint32_t& returned) {
    winata::AtaPassThroughRequest req;
    if (ErrorCode e = winata::ParseAtaPassThrough(kWidth, in, req)) return e;
    const std::size_t header = winata::AtaPassThroughLayoutOf(kWidth).size;
    const std::uint64_t outNeeded =
        req.dir == DataDirection::kIn ? req.dataOffset + std::uint64_t(req.dataLength) : header;
    if (out.size() < outNeeded) return err::kInvalidParameter;

    std::vector<std::uint8_t> data(req.dataLength, 0);
    if (req.dir == DataDirection::kOut)
        std::copy_n(in.begin() + req.dataOffset, req.dataLength, data.begin());
    bool ok = false;
    const AtaRegisters result = Run(ata, req.regs, req.dir, data, ok);

    std::copy_n(in.begin(), header, out.begin());
    winata::StoreAtaPassThroughResult(kWidth, out, result);
    if (req.dir == DataDirection::kIn)
        std::copy(data.begin(), data.end(), out.begin() + req.dataOffset);
    returned = static_cast<std::uint32_t>(outNeeded);
    return err::kSuccess;
}

// SENDCMDOUTPARAMS at `out`: the data, or the returned registers of a non-data command.
void StoreSmartOutput(MutableByteView out, const AtaRegisters& result, bool ok, ByteView data) {
    std::fill(out.begin(), out.end(), 0);
    const std::size_t n = data.empty() ? winata::smart::kRegsSize : data.size();
    StoreLe<std::uint32_t>(out, winata::smart::kOutBufferSize, static_cast<std::uint32_t>(n));
    out[winata::smart::kOutDriverError] = ok ? 0 : winata::smart::kDriverErrorIde;
    out[winata::smart::kOutIdeError] = ok ? 0 : result.features;
    if (data.empty()) {
        const auto regs = result.Bytes();
        std::copy(regs.begin(), regs.end(), out.begin() + winata::smart::kOutData);
    } else {
        std::copy(data.begin(), data.end(), out.begin() + winata::smart::kOutData);
    }
}

ErrorCode SmartRequest(SimAtaDevice& ata, bool dataIn, const std::vector<std::uint8_t>& in,
                       MutableByteView out, std::uint32_t& returned) {
    AtaRegisters regs;
    std::uint8_t drive = 0;
    if (ErrorCode e = winata::ParseSmartInput(in, regs, drive)) return e;
    const bool known = dataIn ? (regs.command == kCmdIdentify || regs.command == kCmdSmart)
                              : regs.command == kCmdSmart;
    if (!known) return err::kInvalidParameter;
    const std::uint32_t outLength = winata::SmartOutputLength(dataIn);
    if (out.size() < outLength) return err::kInvalidParameter;
    std::vector<std::uint8_t> data(dataIn ? kAtaSectorSize : 0, 0);
    bool ok = false;
    const AtaRegisters result =
        Run(ata, regs, dataIn ? DataDirection::kIn : DataDirection::kNone, data, ok);
    StoreSmartOutput(out.first(outLength), result, ok, data);
    returned = outLength;
    return err::kSuccess;
}

ErrorCode Miniport(SimAtaDevice& ata, std::uint8_t targetId, const std::vector<std::uint8_t>& in,
                   MutableByteView out, std::uint32_t& returned) {
    winata::MiniportSmartRequest req;
    if (ErrorCode e = winata::ParseMiniportSmart(in, req)) return e;
    if (!winata::MiniportSmartKnown(req.controlCode) || req.driveNumber != targetId)
        return err::kInvalidFunction;
    const std::size_t n = winata::MiniportSmartDataLength(req.controlCode);
    const std::size_t body = winata::smart::kOutHeaderSize + (n ? n : winata::smart::kRegsSize);
    if (req.length < body || out.size() < winata::srb::kSize + body) return err::kInvalidParameter;
    std::vector<std::uint8_t> data(n, 0);
    bool ok = false;
    const AtaRegisters result =
        Run(ata, req.regs, n ? DataDirection::kIn : DataDirection::kNone, data, ok);
    std::copy_n(in.begin(), winata::srb::kSize, out.begin());
    StoreLe<std::uint32_t>(out, winata::srb::kReturnCode, 0);
    StoreSmartOutput(out.subspan(winata::srb::kSize, body), result, ok, data);
    returned = static_cast<std::uint32_t>(winata::srb::kSize + body);
    return err::kSuccess;
}

} // namespace

ErrorCode SimAtaIoControl(SimAtaDevice& ata, std::uint8_t targetId, std::uint32_t code, ByteView in,
                          MutableByteView out, std::uint32_t& returned) {
    returned = 0;
    // The input may share memory with the output.
    const std::vector<std::uint8_t> request(in.begin(), in.end());
    switch (code) {
    case ioctl::kAtaPassThrough:
        return PassThrough(ata, request, out, returned);
    case ioctl::kSmartRcvDriveData:
        return SmartRequest(ata, true, request, out, returned);
    case ioctl::kSmartSendDriveCommand:
        return SmartRequest(ata, false, request, out, returned);
    case ioctl::kScsiMiniport:
        return Miniport(ata, targetId, request, out, returned);
    default:
        return err::kNotSupported;
    }
}

} // namespace tvd
