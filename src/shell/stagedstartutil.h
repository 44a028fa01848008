// The staged start behind the splash window: a table of stages run in order on the first timer
// event. Later parts of the program add their rows (child windows, values gathered once) with
// InsertStageAfter. A failing stage ends the start with "Memory allocation failed." (20021)
// unless it showed its own message, and then the window is asked to close.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tvd {

enum class StageFailure {
    kNever,     // the stage cannot fail (its result is ignored)
    kMemory,    // failure shows 20021
    kOwnMessage // the stage showed its message itself
};

struct StartStage {
    std::string step; // "a" to "n"; added rows take a name of their own ("g.smart")
    StageFailure failure = StageFailure::kMemory;
    int progress = -1; // value handed to the splash after the stage; -1 for none
    std::function<bool()> run;
};

// What the staged start asks of the window.
class StartHost {
public:
    virtual ~StartHost() = default;
    virtual void ReportProgress(int value) = 0;
    // Before an error box: the splash closes (after its rule) and the main window shows, so that
    // the box has an owner.
    virtual void PrepareErrorBox() = 0;
    virtual void ShowErrorById(int id) = 0;
    virtual void RequestClose() = 0;
};

struct StartOutcome {
    bool finished = false;
    std::string failedStep; // empty when finished
};

StartOutcome RunStagedStart(const std::vector<StartStage>& stages, StartHost& host);

// Inserts `stage` after the last row whose step is `after` or starts with `after` + "."; false
// (and nothing inserted) when there is no such row.
bool InsertStageAfter(std::vector<StartStage>& stages, const std::string& after, StartStage stage);

// The operating-system check: x86 or x64, Windows 7 / Server 2008 R2 or later.
bool OsSupported(std::uint32_t arch, std::uint32_t osCode);

// The splash's wait reads a clock that only goes forward (SplashMayClose in clockutil.h is the
// rule); tests give it a fake one.
class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;
    virtual std::uint64_t Milliseconds() = 0;
};
// The process's monotonic clock (MonotonicMilliseconds).
MonotonicClock& SteadyClock();

// Waits for the splash rule: `waitSecond` sleeps one second while pumping messages. Bounded: it
// gives up after three waits whatever the clock says. Returns the number of waits.
int WaitForSplashRule(MonotonicClock& clock, std::uint64_t shownAtMs,
                      const std::function<void()>& waitSecond);

} // namespace tvd
