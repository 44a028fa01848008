// Clocks of the shell.
#pragma once
#include <cstdint>

namespace tvd {

// The current UTC time as whole seconds since 1601-01-01 (the system file time / 10^7). It
// jumps when the clock is set: use it for display, never to time a wait.
std::uint64_t SecondsNow();
// Milliseconds of a clock that never goes back, for waits such as the splash's minimum time.
std::uint64_t MonotonicMilliseconds();

// The splash may close two seconds after it was shown (what "the seconds clock passed the shown
// second by more than one" guarantees at least), measured on the monotonic clock: a clock set
// back cannot keep it up.
bool SplashMayClose(std::uint64_t shownAtMs, std::uint64_t nowMs);

} // namespace tvd
