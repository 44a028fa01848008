#include "shell/singleinstanceutil.h"

namespace tvd {

bool IsRestartArgument(std::u16string_view arg) {
    constexpr std::u16string_view kRestart = u"-restart";
    if (arg.size() != kRestart.size()) return false;
    for (std::size_t i = 0; i < arg.size(); ++i) {
        char16_t c = arg[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != kRestart[i]) return false;
    }
    return true;
}

StartDecision DecideInstanceStart(bool restart, InstancePlatform& platform,
                                  std::uint32_t restartWaitMs) {
    switch (platform.TakeLock()) {
    case LockResult::kOwned:
        return StartDecision::kRun;
    case LockResult::kFailed:
        // No lock to be had (the name is taken by another kind of object): the window is the
        // only sign left of a running instance.
        return platform.BringExistingForward() ? StartDecision::kExit : StartDecision::kRun;
    case LockResult::kHeldElsewhere:
        break;
    }
    if (restart && platform.WaitLock(restartWaitMs)) return StartDecision::kRun;
    // The holder is still starting (no window yet) or did not end within the bound: it stays
    // the one instance.
    platform.BringExistingForward();
    return StartDecision::kExit;
}

} // namespace tvd
