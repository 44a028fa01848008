// The progress node of a clone: one root per run and one child per partition. The job thread
// adds to the counters while the window's timer reads the root, so every counter is atomic (a
// 32-bit reader must never see half of a 64-bit value).
#pragma once
#include <atomic>
#include <cstdint>

namespace tvd {

class clStep {
public:
    explicit clStep(clStep* parentStep = nullptr) : parent(parentStep) {}
    clStep(const clStep&) = delete;
    clStep& operator=(const clStep&) = delete;

    clStep* parent = nullptr; // null for the root
    std::atomic<std::uint64_t> doneRead{0}, doneWrite{0}, plannedRead{0}, plannedWrite{0};
    std::atomic<bool> cancelled{false};
    std::atomic<std::uint64_t> startTick{0};

    clStep* Root();
};

// All accept a null node (and then do nothing or answer 0). They walk up the parent chain.
void AddPlannedRead(clStep* step, std::uint64_t n);
void AddPlannedWrite(clStep* step, std::uint64_t n);
// Adds to each node whose plan for that direction is not zero.
void AddDoneRead(clStep* step, std::uint64_t n);
void AddDoneWrite(clStep* step, std::uint64_t n);
// startTick = now; done counts and the cancel flag cleared.
void Start(clStep* step);
// Makes the node's plans equal its done counts and corrects the ancestors' plans by the same
// difference (wrap-around arithmetic).
void Settle(clStep* step);
// 0 when nothing is planned, 100 once done reaches planned, else done × 100 / planned.
double Percent(const clStep* step);
// Elapsed seconds since Start, and the estimated total: the elapsed time at 100 %, 0 at 0 %.
void EstimateTimes(const clStep* step, double percent, std::uint64_t& elapsedSeconds,
                   std::uint64_t& totalSeconds);
void Cancel(clStep* step);
bool IsCancelled(const clStep* step);

} // namespace tvd
