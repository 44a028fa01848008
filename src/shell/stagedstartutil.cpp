#include "shell/stagedstartutil.h"

#include "foundation/envutil.h"
#include "shell/clockutil.h"
#include "shell/languagetables.h"

namespace tvd {

StartOutcome RunStagedStart(const std::vector<StartStage>& stages, StartHost& host) {
    StartOutcome outcome;
    for (const StartStage& stage : stages) {
        const bool ok = stage.run ? stage.run() : true;
        if (!ok && stage.failure != StageFailure::kNever) {
            if (stage.failure == StageFailure::kMemory) {
                host.PrepareErrorBox();
                host.ShowErrorById(msgid::kMemoryAllocationFailed);
            }
            outcome.failedStep = stage.step;
            host.RequestClose();
            return outcome;
        }
        if (stage.progress >= 0) host.ReportProgress(stage.progress);
    }
    outcome.finished = true;
    return outcome;
}

bool InsertStageAfter(std::vector<StartStage>& stages, const std::string& after, StartStage stage) {
    std::size_t at = 0;
    bool found = false;
    for (std::size_t i = 0; i < stages.size(); ++i) {
        const std::string& s = stages[i].step;
        if (s == after || (s.size() > after.size() && s.compare(0, after.size(), after) == 0 &&
                           s[after.size()] == '.')) {
            at = i + 1;
            found = true;
        }
    }
    if (!found) return false;
    stages.insert(stages.begin() + static_cast<std::ptrdiff_t>(at), std::move(stage));
    return true;
}

bool OsSupported(std::uint32_t arch, std::uint32_t osCode) {
    if (arch != osarch::kX86 && arch != osarch::kX64) return false;
    // Windows 7 is the first code of the supported range; every later client and server
    // version follows it.
    return IsNtCode(osCode) && osCode >= oscode::kWin7;
}

namespace {

class Steady final : public MonotonicClock {
public:
    std::uint64_t Milliseconds() override { return MonotonicMilliseconds(); }
};

} // namespace

MonotonicClock& SteadyClock() {
    static Steady clock;
    return clock;
}

int WaitForSplashRule(MonotonicClock& clock, std::uint64_t shownAtMs,
                      const std::function<void()>& waitSecond) {
    int waits = 0;
    while (waits < 3 && !SplashMayClose(shownAtMs, clock.Milliseconds())) {
        if (waitSecond) waitSecond();
        ++waits;
    }
    return waits;
}

} // namespace tvd
