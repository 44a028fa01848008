#include "clone/clstep.h"

#include "clone/kernelclonefun.h"

namespace tvd {

clStep* clStep::Root() {
    clStep* s = this;
    while (s->parent)
        s = s->parent;
    return s;
}

void AddPlannedRead(clStep* step, std::uint64_t n) {
    for (clStep* s = step; s; s = s->parent)
        s->plannedRead += n;
}

void AddPlannedWrite(clStep* step, std::uint64_t n) {
    for (clStep* s = step; s; s = s->parent)
        s->plannedWrite += n;
}

void AddDoneRead(clStep* step, std::uint64_t n) {
    for (clStep* s = step; s; s = s->parent)
        if (s->plannedRead.load() != 0) s->doneRead += n;
}

void AddDoneWrite(clStep* step, std::uint64_t n) {
    for (clStep* s = step; s; s = s->parent)
        if (s->plannedWrite.load() != 0) s->doneWrite += n;
}

void Start(clStep* step) {
    if (!step) return;
    step->startTick = CloneTicks();
    step->doneRead = 0;
    step->doneWrite = 0;
    step->cancelled = false;
}

void Settle(clStep* step) {
    if (!step) return;
    const std::uint64_t dr = step->doneRead.load() - step->plannedRead.load();
    const std::uint64_t dw = step->doneWrite.load() - step->plannedWrite.load();
    AddPlannedRead(step, dr);
    AddPlannedWrite(step, dw);
}

double Percent(const clStep* step) {
    if (!step) return 0;
    const std::uint64_t planned = step->plannedRead.load() + step->plannedWrite.load();
    const std::uint64_t done = step->doneRead.load() + step->doneWrite.load();
    if (planned == 0) return 0;
    if (planned <= done) return 100;
    return double(done) * 100.0 / double(planned);
}

void EstimateTimes(const clStep* step, double percent, std::uint64_t& elapsedSeconds,
                   std::uint64_t& totalSeconds) {
    elapsedSeconds = totalSeconds = 0;
    if (!step) return;
    const std::uint64_t ms = CloneTicks() - step->startTick.load();
    elapsedSeconds = ms / 1000;
    if (percent >= 100)
        totalSeconds = elapsedSeconds;
    else if (percent > 0)
        totalSeconds = std::uint64_t(double(ms) / percent / 10.0);
}

void Cancel(clStep* step) {
    for (clStep* s = step; s; s = s->parent)
        s->cancelled = true;
}

bool IsCancelled(const clStep* step) {
    if (!step) return false;
    while (step->parent)
        step = step->parent;
    return step->cancelled.load();
}

} // namespace tvd
