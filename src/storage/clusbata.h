// ATA drives behind a USB bridge: the bridge base that holds the SCSI transport, and the
// standard SCSI/ATA Translation many bridges speak. The vendor command sets live in their own
// units (jmusbatafun, asmusbatafun, usbvendoratafun).
#pragma once
#include "storage/clata.h"
#include "storage/clscsi.h"
#include "storage/devicechoice.h"

namespace tvd {

// A bridge holds its transport, opened on the disk; Open and Close go to it. The bridge knows
// only the SCSI interface, never the platform that carries it.
class clUsbAta : public clAta {
public:
    TVD_ISA(clUsbAta, clAta)

    explicit clUsbAta(InterfacePtr<clNtScsi> transport) : transport_(std::move(transport)) {}
    void Open() override;
    void Close() override;
    clNtScsi* Transport() const noexcept { return transport_.get(); }
    // Hands the transport back (a refused candidate gives it to the next one).
    InterfacePtr<clNtScsi> DetachTransport() noexcept { return std::move(transport_); }

private:
    InterfacePtr<clNtScsi> transport_;
};

// SCSI/ATA Translation with ATA PASS-THROUGH (12) for the register commands and (16) for sector
// access. Result registers are not available: ExecNonData refuses a caller that wants them and
// SmartReturnStatus answers 0.
class clSatUsbAta : public clUsbAta {
public:
    TVD_ISA(clSatUsbAta, clUsbAta)
    using clUsbAta::clUsbAta;

    bool ExecNonData(const AtaRegisters& regs, AtaRegisters* result) override;
    bool ExecDataIn(const AtaRegisters& regs, MutableByteView data) override;
    bool ExecDataOut(const AtaRegisters& regs, ByteView data) override;
    bool Identify(MutableByteView buffer) override;
    std::uint16_t SmartReturnStatus() override { return 0; }
    bool SmartReadThresholds(MutableByteView buffer) override;
    bool SmartReadData(MutableByteView buffer) override;
    bool ReadSectors(std::uint64_t lba, std::uint32_t count, MutableByteView buffer) override;
    bool WriteSectors(std::uint64_t lba, std::uint32_t count, ByteView buffer) override;
};

} // namespace tvd
