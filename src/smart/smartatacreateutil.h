// Creation of a drive's SMART object and the null-safe accessors the monitor and the report use.
#pragma once
#include <cstdint>
#include <memory>

#include "smart/clsmartata.h"
#include "smart/smartnvmeutil.h"

namespace tvd {

// The SMART object of a disk, by its bus: ATA, NVMe or both in turn; null when the drive has no
// usable SMART.
std::unique_ptr<clSmart> CreateSmart(clDisk* disk);

// The ATA attempt on an interface already chosen (it must have valid IDENTIFY data): reads
// thresholds and data, picks the vendor profile and assigns the evaluators. Null when any step
// fails; the interface is destroyed with the object (or here, on failure).
std::unique_ptr<clSmartAta> CreateSmartAta(clDisk* disk, InterfacePtr<clAta> ata);
// The NVMe attempt: null unless the health log can be read.
std::unique_ptr<clSmartNvme> CreateSmartNvme(clDisk* disk, InterfacePtr<clNvme> nvme);

// Chooses the vendor profile and assigns the ATA evaluators from the current list.
void AssignAtaEvaluators(clSmartAta& smart, bool solidState);

// Refresh, then UpdateStatus and Close; false for a null object or a failed read.
bool RefreshSmart(clSmart* smart);
int GetTemperature(const clSmart* smart);         // °C, kSmartNoValue when none
int GetLife(const clSmart* smart);                // %, kSmartNoValue when none
int GetHealth(const clSmart* smart);              // %, kSmartNoValue when none
std::int64_t GetHostWrites(const clSmart* smart); // GiB, kSmartNoCount when none
std::int64_t GetHostReads(const clSmart* smart);  // GiB
std::int64_t GetPowerCycles(const clSmart* smart);
std::int64_t GetPowerOnHours(const clSmart* smart);
std::uint32_t GetSmartStatus(const clSmart* smart); // smartstatus::k...

} // namespace tvd
