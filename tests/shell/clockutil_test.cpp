#include "shell/clockutil.h"

#include <gtest/gtest.h>

namespace tvd {
namespace {

TEST(ClockUtil, SplashRuleOnAMonotonicClock) {
    struct Row {
        std::uint64_t shown, now;
        bool mayClose;
    } rows[] = {
        {1000, 1000, false},  {1000, 2999, false}, {1000, 3000, true},
        {1000, 900000, true}, {1000, 999, false}, // a clock never goes back; if it did, wait
    };
    for (const auto& r : rows)
        EXPECT_EQ(SplashMayClose(r.shown, r.now), r.mayClose) << r.shown << " " << r.now;
    const std::uint64_t a = MonotonicMilliseconds();
    EXPECT_GE(MonotonicMilliseconds(), a);
}

TEST(ClockUtil, SecondsNowCountsFrom1601) {
    // 2020-01-01 00:00:00 UTC is 13,222,310,400 seconds after 1601-01-01.
    EXPECT_GT(SecondsNow(), 13222310400ull);
    EXPECT_LT(SecondsNow(), 13222310400ull + 200ull * 365 * 86400);
}

} // namespace
} // namespace tvd
