#include "drive/kernelfun.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "clone/kernelclonefun.h"
#include "drive/fundisksutil.h"
#include "drive/kernelsmartfun.h"
#include "foundation/envutil.h"
#include "jobs/jobthreadutil.h"
#include "report/wmithreadutil.h"
#include "smart/smartlangutil.h"
#include "storage/cldevicelist.h"
#include "storage/commandinterfaces.h"
#include "storage/deviceregistry.h"
#include "storage/fsrecognizeutil.h"
#include "storage/storageplatform.h"

namespace tvd {

namespace {

bool g_bitLocker = false;

bool ReadBitLocker(clDisk* disk, std::uint64_t offset) {
    const char* path = disk->GetPath();
    const std::uint32_t sectorSize = disk->GetSectorSize();
    if (!path || sectorSize < 512 || sectorSize > 65536) return false;
    DeviceHandle h;
    if (Storage().Open(path, h) != err::kSuccess) return false;
    std::vector<std::uint8_t> sector(sectorSize);
    return Storage().ReadAt(h, offset, sector) == err::kSuccess && IsBitLockerSector(sector);
}

} // namespace

clDisk* FindSystemDisk(const clDeviceList* disks, SystemVolume& volume) {
    if (!disks) return nullptr;
    // A back end that knows its disks' roles (simulated drives) answers for itself.
    for (clDevice* d = disks->FirstDevice(); d; d = disks->NextDevice(d)) {
        CloneDiskFacts facts;
        if (!d->GetPath() || Storage().QueryCloneFacts(d->GetPath(), facts) != err::kSuccess)
            continue;
        if (facts.systemDisk) {
            volume = SystemVolume{};
            volume.diskPath = d->GetPath();
            return static_cast<clDisk*>(d);
        }
    }
    if (!LocateSystemVolume(volume)) return nullptr;
    if (!volume.diskPath.empty())
        if (clDevice* d = disks->FindByPath(volume.diskPath)) return static_cast<clDisk*>(d);
    return disks->FindByDeviceNumber(volume.diskNumber);
}

bool IsBitLockerSector(ByteView sector) {
    return IsBitLockerBootSector(sector);
}

bool SystemBitLocker() {
    return g_bitLocker;
}

bool FunDiskBusStart(void* window) {
    if (!FunDisksCreateRegistry()) return false;
    RegisterCommandInterfaces();
    const bool lists = RegisterList(std::make_unique<clNtDiskList>()) &&
                       RegisterList(std::make_unique<clNtDriveList>()) &&
                       RegisterList(std::make_unique<clWinVolumeList>()) &&
                       RegisterList(std::make_unique<clWinUsbList>());
    if (!lists) {
        ShutdownAll();
        FunDisksDestroyRegistry();
        return false;
    }
    EnumerateAll(window);

    g_bitLocker = false;
    SystemVolume volume;
    clDisk* system = FindSystemDisk(FindList(devtype::kDisk), volume);
    FunDisksSetSystemDisk(system);
    if (system) g_bitLocker = ReadBitLocker(system, volume.offset);
    return true;
}

void FunDiskBusStop() {
    // Entries first: they are detached before the device objects they borrow are deleted.
    FunDisksDestroyRegistry();
    ShutdownAll();
    g_bitLocker = false;
}

void FunDiskBusPoll() {
    PollDeviceEvents();
    Tick([](clDevice& device) {
        switch (device.State()) {
        case devstate::kNew:
            if (device.Type() == devtype::kDisk) FunDisksAdd(static_cast<clDisk*>(&device));
            device.SetState(devstate::kCurrent);
            break;
        case devstate::kRemoved:
            if (device.Type() == devtype::kDisk) FunDisksRemove(&device);
            DeleteDevice(&device);
            break;
        default:
            device.SetState(devstate::kCurrent);
            break;
        }
    });
}

void KernelInitialize() {
    const auto now = static_cast<unsigned>(std::time(nullptr));
    std::srand(now);
    DetectOs();
    KernelPlatformInitialize();
    EnablePrivileges();
}

bool KernelStart(void* window) {
    // The WMI thread comes first, as the window's start expects; a platform without WMI starts
    // none and its queries answer none at once.
    const bool wmi = PlatformWmiHooks().initialize != nullptr;
    if (wmi && !WmiThreadStart()) return false;
    if (!FunDiskBusStart(window)) {
        WmiThreadStop();
        return false;
    }
    // The names are part of the program; a build without them still shows every attribute by
    // its id, so their absence does not stop the start.
    LoadSmartNames(kSmartLangResourceName, kSmartLangFallback);
    if (!CloneInterfaceStart()) {
        FunDiskBusStop();
        WmiThreadStop();
        return false;
    }
    if (!JobThreadStart()) {
        CloneInterfaceStop();
        FunDiskBusStop();
        WmiThreadStop();
        return false;
    }
    return true;
}

void KernelTick(bool skipDevices) {
    if (skipDevices) return;
    FunDiskBusPoll();
    // One budget for all disks: at most one SMART read per tick keeps the window responsive.
    SmartTickBudget budget;
    for (clFunDisk* fd = FunDisksFirst(); fd; fd = FunDisksNext(fd))
        SmartMonitorTick(&fd->smart, &budget);
}

void KernelFinalize() {
    // The running job's Run ends first: it may still hold disks of the registry.
    JobThreadStop();
    CloneInterfaceStop();
    FunDiskBusStop();
    WmiThreadStop();
}

} // namespace tvd
