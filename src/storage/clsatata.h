// A SATA disk behind the host's own SCSI/ATA Translation (Linux's libata, the simulation's SATA
// disks): the commands of the USB translation plus result registers through ATA PASS-THROUGH
// (16) with CK_COND, so SMART RETURN STATUS works. Not a USB bridge: it derives from clAta.
#pragma once
#include "storage/clata.h"
#include "storage/clscsi.h"
#include "storage/devicechoice.h"

namespace tvd {

class clSatAta : public clAta {
public:
    TVD_ISA(clSatAta, clAta)

    explicit clSatAta(InterfacePtr<clNtScsi> transport) : transport_(std::move(transport)) {}
    void Open() override;
    void Close() override;
    clNtScsi* Transport() const noexcept { return transport_.get(); }

    bool ExecNonData(const AtaRegisters& regs, AtaRegisters* result) override;
    bool ExecDataIn(const AtaRegisters& regs, MutableByteView data) override;
    bool ExecDataOut(const AtaRegisters& regs, ByteView data) override;
    bool Identify(MutableByteView buffer) override;
    bool SmartReadThresholds(MutableByteView buffer) override;
    bool SmartReadData(MutableByteView buffer) override;
    bool ReadSectors(std::uint64_t lba, std::uint32_t count, MutableByteView buffer) override;
    bool WriteSectors(std::uint64_t lba, std::uint32_t count, ByteView buffer) override;

private:
    InterfacePtr<clNtScsi> transport_;
};

} // namespace tvd
