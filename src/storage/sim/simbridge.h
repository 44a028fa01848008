// The bridge of a simulated USB enclosure ([Usb] Bridge=): it answers its vendor's SCSI
// command blocks by passing the ATA or NVMe command to the drive behind it, and nothing else. A
// command block of another vendor is left to the plain SCSI personality, which refuses it as a
// real bridge would.
#pragma once
#include <cstdint>
#include <memory>

#include "storage/sim/simatadevice.h"
#include "storage/sim/simdrivespec.h"
#include "storage/sim/simnvmedevice.h"
#include "storage/storageplatform.h"

namespace tvd {

class SimBridge {
public:
    // `ata` (not owned) is the drive behind an ATA bridge; an NVMe bridge keeps its own
    // controller made from the drive file.
    SimBridge(const SimDriveSpec& spec, SimAta* ata);
    ~SimBridge();

    // True when the bridge took the command (status, sense and transfer then set).
    bool Execute(ScsiCommandRequest& r);
    // Whether ATA PASS-THROUGH reaches the drive.
    bool AnswersSat() const { return sat_; }
    // Writes the bridge's identification from byte 36 of a 64-byte INQUIRY answer; the answer's
    // new length (36 when it adds nothing).
    std::size_t InquiryTail(std::uint8_t (&inquiry)[64]) const;
    void SetMedium(SimMedium* medium);

private:
    enum class Kind { kNone, kJmicron, kAsmedia, kSunplus, kPlx507, kPl2571, kAsmNvme, kJmNvme };

    bool Jmicron(ScsiCommandRequest& r);
    bool Asmedia(ScsiCommandRequest& r);
    bool Sunplus(ScsiCommandRequest& r);
    bool Plx507(ScsiCommandRequest& r);
    bool Pl2571(ScsiCommandRequest& r);
    bool AsmNvme(ScsiCommandRequest& r);
    bool JmNvme(ScsiCommandRequest& r);
    bool ProductQuery(ScsiCommandRequest& r);
    // Runs an ATA command to the drive (only on the bridge's port); false when it aborted.
    bool Ata(const AtaRegisters& in, DataDirection dir, MutableByteView data);
    // Runs a vendor CDB's register block on the drive and answers the request: GOOD with the
    // data, or ABORTED COMMAND when the drive refused. Always true (the CDB was this bridge's).
    bool Run(ScsiCommandRequest& r, const AtaRegisters& regs, DataDirection dir,
             MutableByteView data);
    bool NvmeRun(DataDirection dir, MutableByteView data);

    const SimDriveSpec& spec_;
    SimAta* ata_;
    std::unique_ptr<SimNvme> nvme_;
    Kind kind_ = Kind::kNone;
    bool sat_ = false;
    std::uint8_t device_ = 0xA0;
    AtaRegisters last_;                           // result registers of the last ATA command
    std::uint8_t command_[kNvmeCommandSize] = {}; // the NVMe command sent, waiting for its data
    bool commandPending_ = false;
    std::uint8_t completion_[kNvmeCompletionSize] = {};
    bool completionReady_ = false;
};

} // namespace tvd
