#include <windows.h>

#include <vector>

#include "drive/kernelfun.h"
#include "storage/deviceregistry.h"
#include "storage/storageplatform.h"
#include "storage/commandtypes.h"
#include "storage/win32/windevicechange.h"

namespace tvd {

// The volume of the Windows folder's drive letter: its first extent's disk and offset.
bool LocateSystemVolume(SystemVolume& out) {
    char folder[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    DeviceHandle h;
    if (Storage().OpenLetter(folder[0], h) != err::kSuccess) return false;
    std::vector<DiskExtent> extents;
    if (Storage().GetVolumeExtents(h, extents) != err::kSuccess || extents.empty()) return false;
    out.diskNumber = extents.front().diskNumber;
    out.offset = extents.front().startingOffset;
    return true;
}

} // namespace tvd

namespace tvd {

void KernelPlatformInitialize() {
    SetErrorMode(SEM_FAILCRITICALERRORS);
}

// Device-change and media messages reach the device layer; arrivals and removals are acted on
// by the next poll.
void KernelMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    const DeviceEvent event = OnDeviceChange(message, wParam, lParam);
    if (event.kind != DeviceEvent::Kind::kIgnored) OnDeviceEvent(event);
}

} // namespace tvd

namespace tvd {

ErrorCode UpdateDiskProperties(const std::string& diskPath) {
    DeviceHandle h;
    if (ErrorCode e = Storage().Open(diskPath, h)) return e;
    std::uint32_t returned = 0;
    return Storage().IoControl(h, ioctl::kDiskUpdateProperties, {}, {}, returned);
}

} // namespace tvd
