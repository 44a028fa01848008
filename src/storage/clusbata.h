// ATA drives reached through a SCSI transport: the USB bridge base, the standard SCSI/ATA
// Translation of USB bridges, and the same translation as Linux's libata offers it (which also
// returns the result registers in the sense data).
#pragma once
#include "storage/clata.h"
#include "storage/clscsi.h"
#include "storage/devicechoice.h"

namespace tvd {

// A bridge holds its transport, opened on the disk; Open and Close go to it.
class clUsbAta : public clAta {
public:
    TVD_ISA(clUsbAta, clAta)

    explicit clUsbAta(InterfacePtr<clNtScsi> transport) : transport_(std::move(transport)) {}
    void Open() override;
    void Close() override;
    clNtScsi* Transport() const noexcept { return transport_.get(); }

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

// The translation of a SATA disk behind Linux's libata (and the simulation's SATA disks): the
// same commands, plus result registers through ATA PASS-THROUGH (16) with CK_COND, so SMART
// RETURN STATUS works.
class clSatAta : public clSatUsbAta {
public:
    TVD_ISA(clSatAta, clSatUsbAta)
    using clSatUsbAta::clSatUsbAta;

    bool ExecNonData(const AtaRegisters& regs, AtaRegisters* result) override;
    std::uint16_t SmartReturnStatus() override { return clAta::SmartReturnStatus(); }
};

} // namespace tvd
