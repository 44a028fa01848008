#include "cli/storagesession.h"

namespace tvd::cli {

StorageSession::~StorageSession() {
    registry_.ShutdownAll();
    if (sim_) SelectStorage(nullptr);
}

ErrorCode StorageSession::Open(const std::string& simulateFolder, std::string& problem) {
    if (open_) return err::kSuccess;
    if (!simulateFolder.empty()) {
        ErrorCode e = err::kSuccess;
        sim_ = NewSimStorage(simulateFolder, e);
        if (!sim_) {
            problem = "cannot use the simulated drives in " + simulateFolder;
            return e ? e : err::kFileNotFound;
        }
        SelectStorage(sim_.get());
    }
    bool ok = registry_.RegisterList(std::make_unique<clNtDiskList>()) &&
              registry_.RegisterList(std::make_unique<clNtDriveList>()) &&
              registry_.RegisterList(std::make_unique<clWinVolumeList>()) &&
              registry_.RegisterList(std::make_unique<clWinUsbList>());
    if (!ok) {
        problem = "cannot set up the device lists";
        return err::kNoSystemResources;
    }
    registry_.EnumerateAll(nullptr);
    open_ = true;
    return err::kSuccess;
}

std::vector<clDisk*> StorageSession::Disks() const {
    std::vector<clDisk*> disks;
    clDeviceList* list = registry_.FindList(devtype::kDisk);
    if (!list) return disks;
    for (clDevice* d = list->FirstDevice(); d; d = list->NextDevice(d))
        disks.push_back(static_cast<clDisk*>(d));
    return disks;
}

const char* StorageSession::BackendName() const {
    return Storage().Name();
}

} // namespace tvd::cli
