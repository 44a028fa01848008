#include "shell/clockutil.h"

#include <chrono>

namespace tvd {

namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kUnixEpochIn1601 = 11644473600ull;
} // namespace

std::uint64_t SecondsNow() {
    using namespace std::chrono;
    const auto s = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    // A clock before 1970 gives the seconds that remain after 1601 (never below 0).
    if (s < 0) {
        const auto back = static_cast<std::uint64_t>(-s);
        return back > kUnixEpochIn1601 ? 0 : kUnixEpochIn1601 - back;
    }
    return kUnixEpochIn1601 + static_cast<std::uint64_t>(s);
}

std::uint64_t MonotonicMilliseconds() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool SplashMayClose(std::uint64_t shownAtMs, std::uint64_t nowMs) {
    return nowMs >= shownAtMs && nowMs - shownAtMs >= 2000;
}

} // namespace tvd
