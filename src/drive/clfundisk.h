// The functional disk: the program's view of one physical drive. It wraps the device layer's
// disk and adds the disk number, size, the command interfaces opened for it, cached identity
// texts, the solid-state flag and clone eligibility. Reference-counted: pages, jobs and the clone
// plan hold it, so it can outlive the drive; once the drive is gone (`Detach`) it never touches
// the device again and its queries answer "none".
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include <memory>

#include "drive/fundiskpartitionsutil.h"
#include "drive/fundisksmartutil.h"
#include "foundation/clzoltitem.h"
#include "storage/cldevice.h"
#include "storage/clscsi.h"
#include "storage/devicechoice.h"

namespace tvd {

class clAta;
class clNvme;

// The device number is kept at full width: an 8-bit number would give disks 1 and 257 the same
// identity.
inline constexpr std::uint32_t kNoDiskNumber = 0xFFFFFFFFu;

class clFunDisk : public clZoltItem {
public:
    TVD_ISA(clFunDisk, clZoltItem)

    explicit clFunDisk(clDisk* device) noexcept : disk(device) {}
    ~clFunDisk() override;

    clDisk* disk = nullptr; // borrowed from the device list; null once the drive is gone
    std::uint32_t diskNumber = kNoDiskNumber;
    std::uint32_t bytesPerSector = 0;
    std::uint64_t sizeBytes = 0;
    bool solidState = false;
    bool removable = false;
    std::optional<std::string> configKey;
    std::optional<std::string> model;
    std::optional<std::string> serial;
    std::optional<std::string> firmware;
    std::optional<std::string> busText;
    std::uint32_t busType = 0;
    std::uint16_t usbVendorId = 0;
    std::uint16_t usbProductId = 0;
    InterfacePtr<clAta> ata;
    InterfacePtr<clNvme> nvme; // only when there is no ATA interface
    ScsiDiskInfo scsi;         // the SCSI interface and its INQUIRY, when the disk answered
    std::unique_ptr<PartitionSnapshot> partitions; // built on request, dropped on demand
    SmartMonitor smart;
    bool cloneSource = false;
    bool cloneTarget = false;
    std::optional<std::string> displayModel;

    // The drive left: drops the interfaces and clears `disk`, so that nothing reaches a device
    // that may since carry another drive's path.
    void Detach() noexcept;
    bool Detached() const noexcept { return disk == nullptr; }
};

// A new functional disk with one reference, or none when the disk is refused: no usable media,
// removable media on USB (card readers, sticks), or a bus type the program does not serve.
// `systemDisk` decides clone-target eligibility.
ZoltRef<clFunDisk> FunDiskCreate(clDisk* disk, const clDisk* systemDisk = nullptr);

// Whether a bus type is served (SCSI, ATA, 1394, USB, RAID, SATA, SD, MMC, NVMe).
bool FunDiskBusAccepted(std::uint32_t busType);

// Cached texts, trailing blanks and tabs removed; none when unavailable (and tried again on the
// next request).
const std::string* GetModel(clFunDisk* fd);
const std::string* GetSerial(clFunDisk* fd);
const std::string* GetDisplayModel(clFunDisk* fd);
std::uint16_t GetNvmeVendorId(clFunDisk* fd);
std::uint64_t GetSectorCount(const clFunDisk* fd);
bool IsUsb(clFunDisk* fd);
// Closes the handles of the interfaces; they reopen on next use.
void CloseHandles(clFunDisk* fd);

// The partition snapshot, read on first request; none for a detached disk.
const PartitionSnapshot* GetPartitions(clFunDisk* fd);
// A disk with a Windows partition (the boot disk test of the clone and the icons).
bool HasWindowsPartition(clFunDisk* fd);

// Total and free bytes over the disk's mounted volumes (Windows: its lettered volumes). False
// when none could be measured; the outputs are written only on success.
bool GetVolumeSpace(clFunDisk* fd, std::uint64_t& total, std::uint64_t& free);
// The system reads the disk's partition table again; the snapshot is dropped.
bool RefreshProperties(clFunDisk* fd);

// Removes trailing blanks and tabs.
std::string TrimTrailingBlanks(std::string text);

} // namespace tvd
