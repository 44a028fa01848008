#include "drive/kernelsmartfun.h"

namespace tvd {

bool SmartMonitorTick(SmartMonitor* monitor, SmartTickBudget* budget) {
    if (!monitor || !monitor->smart) return false;
    if (monitor->tickCount < monitor->refreshPeriod) ++monitor->tickCount;
    if (monitor->tickCount < monitor->refreshPeriod) return false;
    SmartTickBudget single;
    SmartTickBudget& b = budget ? *budget : single;
    if (b.refreshesLeft == 0) return false; // stays due
    --b.refreshesLeft;
    // A failed read restarts the count too, so a drive that stopped answering is not asked again
    // on every tick.
    return SmartMonitorRefresh(monitor);
}

} // namespace tvd
