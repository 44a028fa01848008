// The drives as the command-line tool sees them: the chosen back end (the machine's own, or the
// simulated drives of a folder) and a device registry enumerated over it.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "drive/clfundisk.h"
#include "foundation/errorcodes.h"
#include "foundation/clzoltitem.h"
#include "storage/clnvme.h"
#include "storage/clscsi.h"
#include "storage/deviceregistry.h"
#include "storage/sim/simstorage.h"

namespace tvd::cli {

class StorageSession {
public:
    StorageSession() = default;
    StorageSession(const StorageSession&) = delete;
    StorageSession& operator=(const StorageSession&) = delete;
    ~StorageSession();

    // Selects the simulated drives of `simulateFolder` when it is not empty, the machine's own
    // otherwise, registers the command interfaces, then registers and enumerates the disk,
    // drive-letter, volume and USB lists. `problem` tells what failed. Each drive file the
    // simulation refuses is reported on `warnings` when given. A `readOnly` session never
    // creates, grows or writes a simulated drive's image.
    ErrorCode Open(const std::string& simulateFolder, std::string& problem,
                   std::FILE* warnings = nullptr, bool readOnly = true);
    // The drive files the simulation refused; none for the machine's own drives.
    std::vector<SimProblem> Problems() const;

    DeviceRegistry& Registry() { return registry_; }
    // The present disks in enumeration order.
    std::vector<clDisk*> Disks() const;
    const char* BackendName() const;
    // The disk a command line names: its path as `list` shows it (with or without a \\?\ prefix,
    // ignoring case), the last part of that path (a simulated drive's name), or its
    // number in `list`. Null when none matches.
    clDisk* FindDisk(std::string_view name) const;
    // The functional disk of `name`, made as the window program makes it (the system disk
    // known). Null when no disk has that name or the program does not serve it; `problem` and
    // `code` then say why. `disk` gets the disk found, when asked.
    ZoltRef<clFunDisk> ServedDisk(std::string_view name, std::string& problem, ErrorCode& code,
                                  clDisk** disk = nullptr) const;

private:
    std::unique_ptr<SimStorage> sim_;
    // The process's registry: the USB queries find a disk's USB node there, as the kernel's do.
    DeviceRegistry& registry_ = ProcessDeviceRegistry();
    bool open_ = false;
};

// "NAME.drive: line N: reason" (the folder's own problems name no file).
std::string ProblemText(const SimProblem& p);

// What a disk answers through its command interfaces: SCSI always tried, then ATA, and NVMe
// only where no ATA interface answered.
struct DriveInterfaces {
    clDisk* disk = nullptr;
    ErrorCode openError = err::kSuccess; // why the device could not be opened; nothing else is set
    ScsiDiskInfo scsi;
    bool hasScsi = false;
    InterfacePtr<clAta> ata;
    std::vector<std::uint8_t> identify; // the ATA interface's IDENTIFY DEVICE data
    InterfacePtr<clNvme> nvme;
    std::vector<std::uint8_t> controller; // IDENTIFY CONTROLLER
    std::uint32_t namespaceId = 0;
    std::vector<std::uint8_t> nvmeNamespace; // IDENTIFY NAMESPACE of namespaceId
};
DriveInterfaces OpenDriveInterfaces(clDisk* disk);

} // namespace tvd::cli
