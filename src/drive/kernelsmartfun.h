// The SMART monitor's countdown, driven by the kernel tick (the 100 ms window timer).
//
// A SMART read is a device command on the window thread; a slow drive or USB bridge can take a
// good part of a second. So one kernel tick refreshes at most one drive: KernelTick makes one
// SmartTickBudget and hands it to the tick of every registry entry. A drive that falls due while
// the budget is spent stays due and goes first on a later tick, so with N drives due together
// the reads are spread over N ticks and stay spread out afterwards.
#pragma once
#include <cstdint>

#include "drive/fundisksmartutil.h"

namespace tvd {

struct SmartTickBudget {
    std::uint32_t refreshesLeft = 1;
};

// Nothing without a SMART object. Counts one tick; when the count reaches the refresh period
// (every 100th tick) and the budget allows, refreshes and uses up one refresh. True when this
// tick read new data (the drive frame should redraw). A null budget allows one refresh.
bool SmartMonitorTick(SmartMonitor* monitor, SmartTickBudget* budget);

} // namespace tvd
