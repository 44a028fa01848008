#include "clone/cljobclonedrive.h"
#include "clone/kernelclonefun.h"

namespace tvd {

// This build embeds no service executable: nothing is written, started or killed, and volumes
// are read live.
bool ServiceExtract() {
    CloneNote("Snapshot service: not embedded in this build");
    return true;
}
void ServiceStart() {}
void ServiceKillAll() {}
void ServiceDeleteExe() {}

} // namespace tvd
