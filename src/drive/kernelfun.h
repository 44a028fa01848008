// The kernel: start-up and shutdown of the services the program relies on (device layer and disk
// registry, SMART attribute names; later the job thread and the clone interface), and the tick
// and message entry points the main window (or the command-line front end) drives.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

namespace tvd {

class clDisk;
class clDeviceList;

// Where the running system's volume lies: its disk and the byte offset of the volume on it.
struct SystemVolume {
    std::int64_t diskNumber = -1; // Windows: the PhysicalDriveN number
    std::string diskPath;         // Linux: the whole-disk device node
    std::uint64_t offset = 0;
};
// The platform's answer (Windows: the volume of the Windows folder; Linux: the volume that
// holds the root file system). False when it cannot be found (for instance a root on a
// device-mapper, network or overlay file system).
bool LocateSystemVolume(SystemVolume& out);

// Asks the system to read the disk's partition table again (Windows
// IOCTL_DISK_UPDATE_PROPERTIES, Linux BLKRRPART).
ErrorCode UpdateDiskProperties(const std::string& diskPath);

// The disk of `disks` that holds the system volume (`volume` gets where it lies); none when the
// volume cannot be located or no listed disk holds it.
clDisk* FindSystemDisk(const clDeviceList* disks, SystemVolume& volume);

// "-FVE-FS-" at bytes 3-10: the volume is BitLocker-encrypted.
bool IsBitLockerSector(ByteView sector);

// Creates the registry and the device lists, finds the system disk and its BitLocker state.
// False only when the registry or a device list cannot be created.
bool FunDiskBusStart(void* window);
void FunDiskBusStop();
// Walks the device states: new disks are wrapped, removed ones unwrapped and deleted.
void FunDiskBusPoll();
bool SystemBitLocker();

// The platform's part of KernelInitialize (Windows: no critical-error boxes for empty drives).
void KernelPlatformInitialize();
void KernelInitialize();
bool KernelStart(void* window);
void KernelTick(bool skipDevices);
void KernelMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
void KernelFinalize();

} // namespace tvd
