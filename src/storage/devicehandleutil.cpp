#include "storage/devicehandleutil.h"

#include <map>

namespace tvd {

namespace {

struct BurstEntry {
    StoragePlatform* platform = nullptr; // the back end that opened it
    bool tried = false, queryTried = false;
    ErrorCode openError = err::kSuccess, queryError = err::kSuccess;
    DeviceHandle full;  // Open's handle
    DeviceHandle query; // OpenForQuery's, when Open was refused
};

struct Burst {
    int depth = 0;
    std::map<std::string, BurstEntry> entries;
};

thread_local Burst t_burst;

// The entry of `path` for the back end in use; one of another back end is dropped.
BurstEntry& EntryOf(const std::string& path) {
    BurstEntry& e = t_burst.entries[path];
    if (e.platform != &Storage()) {
        e = BurstEntry{};
        e.platform = &Storage();
    }
    return e;
}

} // namespace

DeviceBurst::DeviceBurst() {
    ++t_burst.depth;
}

DeviceBurst::~DeviceBurst() {
    if (--t_burst.depth == 0) t_burst.entries.clear();
}

bool InDeviceBurst() {
    return t_burst.depth > 0;
}

ErrorCode OpenDevice(const std::string& path, DeviceHandle& handle) {
    if (!InDeviceBurst() || path.empty()) return Storage().Open(path, handle);
    handle.Close();
    BurstEntry& e = EntryOf(path);
    if (!e.tried) {
        e.tried = true;
        e.openError = Storage().Open(path, e.full);
    }
    if (e.openError != err::kSuccess) return e.openError;
    handle.Share(e.full);
    return err::kSuccess;
}

ErrorCode OpenDeviceForQuery(const std::string& path, DeviceHandle& handle) {
    if (!InDeviceBurst() || path.empty()) return Storage().OpenForQuery(path, handle);
    if (OpenDevice(path, handle) == err::kSuccess) return err::kSuccess;
    BurstEntry& e = EntryOf(path);
    if (!e.queryTried) {
        e.queryTried = true;
        e.queryError = Storage().OpenForQuery(path, e.query);
    }
    if (e.queryError != err::kSuccess) return e.queryError;
    handle.Share(e.query);
    return err::kSuccess;
}

void CloseDevice(const std::string& path) {
    if (InDeviceBurst()) t_burst.entries.erase(path);
}

} // namespace tvd
