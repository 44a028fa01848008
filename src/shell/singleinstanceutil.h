// One instance of the window program. The named lock is taken before any window exists: a
// window lookup alone lets two processes started together both run, since a window appears only
// once its process has built it. "-restart" waits, with a bound, for the previous instance to
// let go of the lock, then goes on as a plain start.
#pragma once
#include <cstdint>
#include <string_view>

namespace tvd {

inline constexpr std::uint32_t kRestartWaitMs = 30000;
inline constexpr const char16_t* kMainWindowClass = u"TFormTarvikdornMain";
inline constexpr const char16_t* kMainWindowCaption = u"Tarvik";
inline constexpr const char16_t* kInstanceLockName = u"Local\\TarvikdornMainInstance";

// "-restart", compared ignoring ASCII case.
bool IsRestartArgument(std::u16string_view arg);

enum class LockResult { kOwned, kHeldElsewhere, kFailed };

class InstancePlatform {
public:
    virtual ~InstancePlatform() = default;
    // Creates or opens the named lock and takes it when it is free.
    virtual LockResult TakeLock() = 0;
    // Waits up to `ms` to take the lock; true once owned (also when its holder died).
    virtual bool WaitLock(std::uint32_t ms) = 0;
    // Finds the running instance's window; when found, restores it if minimised and brings it
    // forward. False when there is no such window.
    virtual bool BringExistingForward() = 0;
};

enum class StartDecision { kRun, kExit };

StartDecision DecideInstanceStart(bool restart, InstancePlatform& platform,
                                  std::uint32_t restartWaitMs = kRestartWaitMs);

} // namespace tvd
