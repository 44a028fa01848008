// Process-level helpers of the window program: the single-instance lock, message pumping,
// centring, and the guard that keeps C++ exceptions inside window procedures and timers.
#pragma once
#include <windows.h>

#include <exception>
#include <utility>

#include "shell/singleinstanceutil.h"

namespace tvd::win {

// The named mutex and the window lookup; the lock is held for the life of the object.
class WinInstancePlatform final : public InstancePlatform {
public:
    ~WinInstancePlatform() override;
    LockResult TakeLock() override;
    bool WaitLock(std::uint32_t ms) override;
    bool BringExistingForward() override;

private:
    HANDLE mutex_ = nullptr;
    bool owned_ = false;
};

// Dispatches the pending messages of this thread.
void PumpMessages();
// Centres the window in the work area of its monitor (the whole screen when the work area
// cannot be read), or over `over` when given.
void CentreWindow(HWND window, HWND over = nullptr);

// "An error occurred. The application will exit." and the end of the process.
[[noreturn]] void FatalError();

// Runs `f`; an exception that escapes it ends the program with the fixed error box instead of
// crossing the window system's frames.
template <class F> auto Guarded(F&& f) noexcept -> decltype(f()) {
    try {
        return std::forward<F>(f)();
    } catch (...) {
        FatalError();
    }
}

} // namespace tvd::win
