// The SCSI personality every simulated drive has: INQUIRY, READ CAPACITY, TEST UNIT READY,
// REQUEST SENSE, READ and WRITE, SANITIZE for SCSI disks, and for drives with an ATA personality
// the SCSI/ATA Translation's ATA PASS-THROUGH (12) and (16), answered like the Linux SAT layer
// does.
#pragma once
#include <cstdint>
#include <memory>

#include "storage/sim/simatadevice.h"
#include "storage/sim/simbridge.h"
#include "storage/sim/simdrivespec.h"
#include "storage/sim/simimagefile.h"
#include "storage/storageplatform.h"

namespace tvd {

namespace scsisim {
inline constexpr std::uint8_t kGood = 0x00, kCheckCondition = 0x02;
inline constexpr std::uint8_t kRecoveredError = 0x01, kIllegalRequest = 0x05;
inline constexpr std::uint8_t kAbortedCommand = 0x0B;
// CHECK CONDITION with fixed-format sense data of the key and additional sense code.
void FixedSense(ScsiCommandRequest& r, std::uint8_t key, std::uint16_t ascq);
} // namespace scsisim

class SimNvme;

class SimScsi {
public:
    // `ata` (not owned, may be null) is the drive behind the translation.
    // A USB disk's commands pass its enclosure's bridge first ([Usb] Bridge=).
    SimScsi(const SimDriveSpec& spec, SimAta* ata);

    void SetMedium(SimMedium* medium) {
        medium_ = medium;
        if (bridge_) bridge_->SetMedium(medium);
    }
    // An NVMe drive's controller (not owned): SANITIZE is passed on to its NVMe sanitize.
    void SetNvme(SimNvme* nvme) { nvme_ = nvme; }
    // Fills status, sense and transferred; the command always reaches the device.
    void Execute(ScsiCommandRequest& request);

private:
    void Inquiry(ScsiCommandRequest& r);
    void PassThrough(ScsiCommandRequest& r);
    void Sanitize(ScsiCommandRequest& r);
    void SanitizeNvme(ScsiCommandRequest& r);
    void ReadWrite(ScsiCommandRequest& r, bool write, std::uint64_t lba, std::uint32_t blocks);

    const SimDriveSpec& spec_;
    SimAta* ata_ = nullptr;
    SimNvme* nvme_ = nullptr;
    SimMedium* medium_ = nullptr;
    std::unique_ptr<SimBridge> bridge_;
};

} // namespace tvd
