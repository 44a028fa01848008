#include "clone/cljobclonedrive.h"
#include "clone/kernelclonefun.h"

namespace tvd {

// Linux has no snapshot service: volumes are read as they are (a writable mount is refused
// before the clone unless a live copy was asked for).
bool ServiceExtract() {
    CloneNote("Snapshot service: not supported on this platform");
    return true;
}
void ServiceStart() {}
void ServiceKillAll() {}
void ServiceDeleteExe() {}

} // namespace tvd
