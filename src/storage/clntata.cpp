#include "storage/clntata.h"

#include <algorithm>
#include <new>
#include <vector>

#include "storage/winpassthroughatafun.h"
#include "storage/devicehandleutil.h"

namespace tvd {

namespace {

constexpr LayoutWidth kWidth = kNativeLayoutWidth;
constexpr std::uint8_t kSmartDevice = 0xA0;

// The pass-through returns the drive's status registers even when the drive aborted the
// command; a set ERR bit (with BSY clear, so the registers are valid) is a failure.
bool DeviceReportsError(const AtaRegisters& result) {
    return (result.command & 0x80) == 0 && (result.command & 0x01) != 0;
}

AtaRegisters SmartRegs(std::uint8_t feature, std::uint8_t lbaLow = 0) {
    AtaRegisters r;
    r.features = feature;
    r.lbaLow = lbaLow;
    r.lbaMid = 0x4F;
    r.lbaHigh = 0xC2;
    r.device = kSmartDevice;
    r.command = 0xB0;
    return r;
}

AtaRegisters IdentifyRegs() {
    AtaRegisters r;
    r.command = 0xEC;
    return r;
}

std::uint16_t StatusOf(const AtaRegisters& r) {
    return static_cast<std::uint16_t>((r.lbaMid << 8) | r.lbaHigh);
}

} // namespace

void clNtAta::Open() {
    if (handle_.IsOpen()) return;
    if (path_.empty()) {
        lastError_ = err::kFileNotFound;
        return;
    }
    if (viaHook) {
        lastError_ = err::kAccessDenied;
        return;
    }
    lastError_ = OpenDevice(path_, handle_);
}

ErrorCode clNtAta::Send(std::uint32_t code, ByteView in, MutableByteView out,
                        std::uint32_t& returned) {
    returned = 0;
    Open();
    if (!handle_.IsOpen())
        return Fail(lastError_ != err::kSuccess ? lastError_ : err::kFileNotFound);
    return Fail(Storage().IoControl(handle_, code, in, out, returned));
}

bool clNtAta::PassThroughNonData(const AtaRegisters& regs, AtaRegisters* result) {
    return PassThrough(regs, DataDirection::kNone, {}, {}, result);
}

bool clNtAta::PassThroughDataIn(const AtaRegisters& regs, MutableByteView data) {
    return PassThrough(regs, DataDirection::kIn, data, {}, nullptr);
}

bool clNtAta::PassThroughDataOut(const AtaRegisters& regs, ByteView data) {
    return PassThrough(regs, DataDirection::kOut, {}, data, nullptr);
}

bool clNtAta::PassThrough(const AtaRegisters& regs, DataDirection dir, MutableByteView in,
                          ByteView out, AtaRegisters* result) {
    const std::size_t length = dir == DataDirection::kIn    ? in.size()
                               : dir == DataDirection::kOut ? out.size()
                                                            : 0;
    if (dir != DataDirection::kNone && length == 0) return Fail(err::kInvalidParameter) == 0;
    std::vector<std::uint8_t> request;
    try {
        request = winata::BuildAtaPassThrough(kWidth, regs, dir, length, out,
                                              CommandTimeout(winata::apt::kDefaultTimeout));
    } catch (const std::bad_alloc&) {
        return Fail(err::kNoSystemResources) == 0;
    }
    if (request.empty()) return Fail(err::kInvalidParameter) == 0;
    const winata::RequestLengths lengths = winata::AtaPassThroughLengths(kWidth, dir, length);
    std::uint32_t returned = 0;
    if (Send(ioctl::kAtaPassThrough, ByteView(request).first(lengths.in),
             MutableByteView(request).first(lengths.out), returned) != err::kSuccess)
        return false;
    const AtaRegisters status = winata::AtaPassThroughResult(kWidth, request);
    if (result) *result = status;
    if (DeviceReportsError(status)) return Fail(err::kIoDevice) == 0;
    if (dir == DataDirection::kIn) {
        const std::size_t header = winata::AtaPassThroughLayoutOf(kWidth).size;
        std::copy_n(request.begin() + header, in.size(), in.begin());
    }
    return true;
}

bool clNtAta::SmartRequest(const AtaRegisters& regs, std::uint8_t driveNumber, MutableByteView data,
                           AtaRegisters* result) {
    const bool dataIn = !data.empty();
    if (dataIn && data.size() < kAtaSectorSize) return Fail(err::kInvalidParameter) == 0;
    // Separate output memory: a driver that writes less than the whole answer must not leave
    // input bytes where the status is read.
    std::vector<std::uint8_t> request, answer;
    try {
        request = winata::BuildSmartInput(regs, driveNumber);
        answer.assign(winata::SmartOutputLength(dataIn), 0);
    } catch (const std::bad_alloc&) {
        return Fail(err::kNoSystemResources) == 0;
    }
    std::uint32_t returned = 0;
    const std::uint32_t code = dataIn ? ioctl::kSmartRcvDriveData : ioctl::kSmartSendDriveCommand;
    if (Send(code, request, answer, returned) != err::kSuccess) return false;
    // The driver reports a command the drive rejected in DRIVERSTATUS, not as a failed request.
    if (answer[winata::smart::kOutDriverError] != 0) return Fail(err::kIoDevice) == 0;
    const ByteView payload = ByteView(answer).subspan(winata::smart::kOutData);
    if (dataIn) std::copy_n(payload.begin(), kAtaSectorSize, data.begin());
    if (result) *result = AtaRegisters::FromBytes(payload);
    return true;
}

bool clNtAta::MiniportSmartRequest(std::uint32_t controlCode, const AtaRegisters& regs,
                                   std::uint8_t driveNumber, MutableByteView data,
                                   AtaRegisters* result) {
    const std::size_t length = winata::MiniportSmartDataLength(controlCode);
    if (data.size() < length) return Fail(err::kInvalidParameter) == 0;
    const winata::RequestLengths lengths = winata::MiniportSmartLengths(controlCode);
    std::vector<std::uint8_t> request, answer;
    try {
        request = winata::BuildMiniportSmart(controlCode, regs, driveNumber);
        answer.assign(lengths.out, 0);
    } catch (const std::bad_alloc&) {
        return Fail(err::kNoSystemResources) == 0;
    }
    std::uint32_t returned = 0;
    if (Send(ioctl::kScsiMiniport, ByteView(request).first(lengths.in), answer, returned) !=
        err::kSuccess)
        return false;
    if (answer[winata::srb::kSize + winata::smart::kOutDriverError] != 0)
        return Fail(err::kIoDevice) == 0;
    const ByteView payload = ByteView(answer).subspan(winata::srb::kData);
    std::copy_n(payload.begin(), length, data.begin());
    if (result) *result = AtaRegisters::FromBytes(payload);
    return true;
}

// ---- clWinPassThroughAta

bool clWinPassThroughAta::ExecNonData(const AtaRegisters& regs, AtaRegisters* result) {
    return PassThroughNonData(regs, result);
}
bool clWinPassThroughAta::ExecDataIn(const AtaRegisters& regs, MutableByteView data) {
    return PassThroughDataIn(regs, data);
}
bool clWinPassThroughAta::ExecDataOut(const AtaRegisters& regs, ByteView data) {
    return PassThroughDataOut(regs, data);
}

// ---- clWinSmartAta

bool clWinSmartAta::ExecNonData(const AtaRegisters& regs, AtaRegisters* result) {
    return PassThroughNonData(regs, result);
}
bool clWinSmartAta::ExecDataIn(const AtaRegisters& regs, MutableByteView data) {
    return PassThroughDataIn(regs, data);
}
bool clWinSmartAta::ExecDataOut(const AtaRegisters& regs, ByteView data) {
    return PassThroughDataOut(regs, data);
}

bool clWinSmartAta::Identify(MutableByteView buffer) {
    if (buffer.size() < kAtaIdentifySize) return false;
    return SmartRequest(IdentifyRegs(), 0, buffer.first(kAtaIdentifySize), nullptr);
}

std::uint16_t clWinSmartAta::SmartReturnStatus() {
    AtaRegisters result;
    return SmartRequest(SmartRegs(0xDA), 0, {}, &result) ? StatusOf(result) : 0;
}

bool clWinSmartAta::SmartReadThresholds(MutableByteView buffer) {
    if (buffer.size() < kAtaSectorSize) return false;
    return SmartRequest(SmartRegs(0xD1), 0, buffer.first(kAtaSectorSize), nullptr);
}

bool clWinSmartAta::SmartReadData(MutableByteView buffer) {
    if (buffer.size() < kAtaSectorSize) return false;
    return SmartRequest(SmartRegs(0xD0), 0, buffer.first(kAtaSectorSize), nullptr);
}

bool clWinSmartAta::SmartExecuteOffline(std::uint8_t subcommand) {
    return SmartRequest(SmartRegs(0xD4, subcommand), 0, {}, nullptr);
}

// ---- clNtScsiAta

bool clNtScsiAta::Identify(MutableByteView buffer) {
    if (buffer.size() < kAtaIdentifySize) return false;
    return MiniportSmartRequest(winata::srb::kIdentify, IdentifyRegs(), target,
                                buffer.first(kAtaIdentifySize), nullptr);
}

std::uint16_t clNtScsiAta::SmartReturnStatus() {
    AtaRegisters result;
    return MiniportSmartRequest(winata::srb::kReturnStatus, SmartRegs(0xDA), target, {}, &result)
               ? StatusOf(result)
               : 0;
}

bool clNtScsiAta::SmartReadThresholds(MutableByteView buffer) {
    if (buffer.size() < kAtaSectorSize) return false;
    return MiniportSmartRequest(winata::srb::kReadThresholds, SmartRegs(0xD1), target,
                                buffer.first(kAtaSectorSize), nullptr);
}

bool clNtScsiAta::SmartReadData(MutableByteView buffer) {
    if (buffer.size() < kAtaSectorSize) return false;
    return MiniportSmartRequest(winata::srb::kReadAttributes, SmartRegs(0xD0), target,
                                buffer.first(kAtaSectorSize), nullptr);
}

bool clNtScsiAta::SmartExecuteOffline(std::uint8_t subcommand) {
    return MiniportSmartRequest(winata::srb::kExecuteOffline, SmartRegs(0xD4, subcommand), target,
                                {}, nullptr);
}

} // namespace tvd
