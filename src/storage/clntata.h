// ATA interfaces on a Windows disk path: ATA pass-through, the SMART requests, and the SCSI
// miniport SMART requests. They build the platform's request buffers (winpassthroughatafun.h)
// and send them through the back end's IoControl: the Windows back end issues them, the
// simulation answers them, other back ends refuse them.
#pragma once
#include <cstdint>
#include <string>

#include "storage/clata.h"
#include "storage/storageplatform.h"

namespace tvd {

class clNtAta : public clAta {
public:
    TVD_ISA(clNtAta, clAta)

    explicit clNtAta(std::string path) : path_(std::move(path)) {}
    ~clNtAta() override { Close(); }

    // Opens the path once (nothing when already open or without a path). Without
    // administrator rights (viaHook) the open fails: no device-open hook is installed.
    void Open() override;
    void Close() override { handle_.Close(); }

    const std::string& Path() const noexcept { return path_; }
    bool IsOpen() const noexcept { return handle_.IsOpen(); }
    // The platform error of the last request (0 after a success): 2 no handle, 1450 no buffer,
    // 87 a data read without a buffer, otherwise the platform's.
    ErrorCode LastError() const noexcept { return lastError_; }

    bool viaHook = false;

protected:
    // Opens if needed and sends one request; sets LastError.
    ErrorCode Send(std::uint32_t code, ByteView in, MutableByteView out, std::uint32_t& returned);
    ErrorCode Fail(ErrorCode e) noexcept {
        lastError_ = e;
        return e;
    }
    // The three command kinds over IOCTL_ATA_PASS_THROUGH (shared by the classes that use it).
    bool PassThroughNonData(const AtaRegisters& regs, AtaRegisters* result);
    bool PassThroughDataIn(const AtaRegisters& regs, MutableByteView data);
    bool PassThroughDataOut(const AtaRegisters& regs, ByteView data);
    // One SMART request (SMART_RCV_DRIVE_DATA with `data`, SMART_SEND_DRIVE_COMMAND without;
    // `result` receives the returned registers of the latter).
    bool SmartRequest(const AtaRegisters& regs, std::uint8_t driveNumber, MutableByteView data,
                      AtaRegisters* result);
    // One SCSI miniport SMART request ("SCSIDISK" control code).
    bool MiniportSmartRequest(std::uint32_t controlCode, const AtaRegisters& regs,
                              std::uint8_t driveNumber, MutableByteView data, AtaRegisters* result);

private:
    // One pass-through request: `in` receives data-in, `out` is sent for data-out.
    bool PassThrough(const AtaRegisters& regs, DataDirection dir, MutableByteView in, ByteView out,
                     AtaRegisters* result);

    std::string path_;
    DeviceHandle handle_;
    ErrorCode lastError_ = err::kSuccess;
};

// Every command through IOCTL_ATA_PASS_THROUGH.
class clWinPassThroughAta : public clNtAta {
public:
    TVD_ISA(clWinPassThroughAta, clNtAta)
    using clNtAta::clNtAta;

    bool ExecNonData(const AtaRegisters& regs, AtaRegisters* result) override;
    bool ExecDataIn(const AtaRegisters& regs, MutableByteView data) override;
    bool ExecDataOut(const AtaRegisters& regs, ByteView data) override;

    std::uint8_t driveNumber = 255; // not used by any command
};

// The register commands through ATA pass-through; IDENTIFY and SMART through the SMART
// requests (SmartReadLog through pass-through).
class clWinSmartAta : public clNtAta {
public:
    TVD_ISA(clWinSmartAta, clNtAta)
    using clNtAta::clNtAta;

    bool ExecNonData(const AtaRegisters& regs, AtaRegisters* result) override;
    bool ExecDataIn(const AtaRegisters& regs, MutableByteView data) override;
    bool ExecDataOut(const AtaRegisters& regs, ByteView data) override;

    bool Identify(MutableByteView buffer) override;
    std::uint16_t SmartReturnStatus() override;
    bool SmartReadThresholds(MutableByteView buffer) override;
    bool SmartReadData(MutableByteView buffer) override;
    bool SmartExecuteOffline(std::uint8_t subcommand) override;

    std::uint8_t driveNumber = 255; // not used by any command
};

// IDENTIFY and SMART through the SCSI miniport SMART requests, addressed by target; no raw
// register commands and no SMART logs.
class clNtScsiAta : public clNtAta {
public:
    TVD_ISA(clNtScsiAta, clNtAta)
    clNtScsiAta(std::string path, std::uint8_t targetId)
        : clNtAta(std::move(path)), target(targetId) {}

    bool Identify(MutableByteView buffer) override;
    std::uint16_t SmartReturnStatus() override;
    bool SmartReadThresholds(MutableByteView buffer) override;
    bool SmartReadData(MutableByteView buffer) override;
    bool SmartExecuteOffline(std::uint8_t subcommand) override;
    bool SmartReadLog(MutableByteView, std::uint8_t) override { return false; }

    std::uint8_t target;
};

} // namespace tvd
