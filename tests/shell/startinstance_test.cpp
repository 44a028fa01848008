// The single-instance decision over a fake lock and window lookup.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/singleinstanceutil.h"

namespace tvd {
namespace {

class FakeInstance final : public InstancePlatform {
public:
    LockResult TakeLock() override {
        calls.push_back("take");
        return lock;
    }
    bool WaitLock(std::uint32_t ms) override {
        calls.push_back("wait " + std::to_string(ms));
        return releasedInTime;
    }
    bool BringExistingForward() override {
        calls.push_back("forward");
        return windowExists;
    }
    LockResult lock = LockResult::kOwned;
    bool releasedInTime = false;
    bool windowExists = false;
    std::vector<std::string> calls;
};

TEST(SingleInstance, RestartArgumentIgnoresCase) {
    EXPECT_TRUE(IsRestartArgument(u"-restart"));
    EXPECT_TRUE(IsRestartArgument(u"-RESTART"));
    EXPECT_TRUE(IsRestartArgument(u"-ReStArT"));
    EXPECT_FALSE(IsRestartArgument(u"restart"));
    EXPECT_FALSE(IsRestartArgument(u"-restart2"));
    EXPECT_FALSE(IsRestartArgument(u""));
    EXPECT_FALSE(IsRestartArgument(u"/restart"));
}

TEST(SingleInstance, Decisions) {
    using V = std::vector<std::string>;
    struct Case {
        const char* what;
        bool restart;
        LockResult lock;
        bool released, window;
        StartDecision want;
        V calls;
    } cases[] = {
        {"first instance", false, LockResult::kOwned, false, false, StartDecision::kRun, {"take"}},
        {"restart, nobody running",
         true,
         LockResult::kOwned,
         false,
         false,
         StartDecision::kRun,
         {"take"}},
        {"second start, window shown",
         false,
         LockResult::kHeldElsewhere,
         false,
         true,
         StartDecision::kExit,
         {"take", "forward"}},
        // Two processes started together: the other one holds the lock but has no window yet.
        {"second start, window not built yet",
         false,
         LockResult::kHeldElsewhere,
         false,
         false,
         StartDecision::kExit,
         {"take", "forward"}},
        {"restart, old instance ends in time",
         true,
         LockResult::kHeldElsewhere,
         true,
         true,
         StartDecision::kRun,
         {"take", "wait 30000"}},
        {"restart, old instance stays past the bound",
         true,
         LockResult::kHeldElsewhere,
         false,
         true,
         StartDecision::kExit,
         {"take", "wait 30000", "forward"}},
        {"no lock to be had, no window",
         false,
         LockResult::kFailed,
         false,
         false,
         StartDecision::kRun,
         {"take", "forward"}},
        {"no lock to be had, window",
         false,
         LockResult::kFailed,
         false,
         true,
         StartDecision::kExit,
         {"take", "forward"}},
    };
    for (const Case& c : cases) {
        FakeInstance f;
        f.lock = c.lock;
        f.releasedInTime = c.released;
        f.windowExists = c.window;
        EXPECT_EQ(DecideInstanceStart(c.restart, f), c.want) << c.what;
        EXPECT_EQ(f.calls, c.calls) << c.what;
    }
}

} // namespace
} // namespace tvd
