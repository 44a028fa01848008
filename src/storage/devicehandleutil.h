// One open per device per burst of device access. While a DeviceBurst lives on a thread, every
// open of a device path through OpenDevice or OpenDeviceForQuery shares one handle per path (the
// first open makes it); the device closes when the burst lets go of it (at the burst's end, or
// earlier through CloseDevice) and every command interface and query holding it has closed its
// reference. Outside a burst each call opens afresh, as the back end's Open does. Bursts nest,
// the outermost owns the handles; each thread has its own, so a job thread never shares the
// handles of the thread that started it.
#pragma once
#include <string>

#include "foundation/errorcodes.h"
#include "storage/storageplatform.h"

namespace tvd {

class DeviceBurst {
public:
    DeviceBurst();
    ~DeviceBurst();
    DeviceBurst(const DeviceBurst&) = delete;
    DeviceBurst& operator=(const DeviceBurst&) = delete;
};

// Storage().Open within a burst. A refusal is remembered for the rest of the burst, so a device
// that cannot be opened is not asked again and again.
ErrorCode OpenDevice(const std::string& path, DeviceHandle& handle);
// Storage().OpenForQuery within a burst: the burst's full handle when the device opens, else the
// back end's query-only handle (kept for the burst as well).
ErrorCode OpenDeviceForQuery(const std::string& path, DeviceHandle& handle);
// The burst lets go of `path`: the device closes once its users have closed their references,
// and the next open opens it again. Nothing happens outside a burst.
void CloseDevice(const std::string& path);
bool InDeviceBurst();

} // namespace tvd
