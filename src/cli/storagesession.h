// The drives as the command-line tool sees them: the chosen back end (the machine's own, or the
// simulated drives of a folder) and a device registry enumerated over it.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "foundation/errorcodes.h"
#include "storage/deviceregistry.h"

namespace tvd::cli {

class StorageSession {
public:
    StorageSession() = default;
    StorageSession(const StorageSession&) = delete;
    StorageSession& operator=(const StorageSession&) = delete;
    ~StorageSession();

    // Selects the simulated drives of `simulateFolder` when it is not empty, the machine's own
    // otherwise, then registers and enumerates the disk, drive-letter, volume and USB lists.
    // `problem` tells what failed.
    ErrorCode Open(const std::string& simulateFolder, std::string& problem);

    DeviceRegistry& Registry() { return registry_; }
    // The present disks in enumeration order.
    std::vector<clDisk*> Disks() const;
    const char* BackendName() const;

private:
    std::unique_ptr<StoragePlatform> sim_;
    DeviceRegistry registry_;
    bool open_ = false;
};

} // namespace tvd::cli
