#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "drive/kernelsmartfun.h"

namespace tvd {
namespace {

// A SMART object whose reads the test counts and can make fail; its temperature is whatever
// the last successful read found.
class CountingSmart : public clSmart {
public:
    CountingSmart() : clSmart(nullptr, kSmartNvmeCapacity) {
        temperature = [](const clSmart& s) { return static_cast<const CountingSmart&>(s).shown; };
    }
    bool Refresh() override {
        ++reads;
        if (!readOk) return false;
        shown = onDrive;
        return true;
    }
    bool readOk = true;
    int onDrive = 30; // what the next read finds
    int shown = 30;
    int reads = 0;
};

CountingSmart* WithCountingSmart(SmartMonitor& m) {
    auto smart = std::make_unique<CountingSmart>();
    CountingSmart* raw = smart.get();
    SmartMonitorSetup(&m, std::move(smart), "");
    return raw;
}

TEST(SmartMonitorTick, RefreshesEveryHundredthTick) {
    SmartMonitor m;
    CountingSmart* smart = WithCountingSmart(m);
    EXPECT_EQ(smart->reads, 0); // setup takes the data the creation just read
    std::vector<int> refreshedAt;
    for (int tick = 1; tick <= 350; ++tick)
        if (SmartMonitorTick(&m, nullptr)) refreshedAt.push_back(tick);
    EXPECT_EQ(refreshedAt, (std::vector<int>{100, 200, 300}));
    EXPECT_EQ(smart->reads, 3);
    EXPECT_EQ(m.tickCount, 50u);
}

TEST(SmartMonitorTick, FailedReadKeepsTheFiguresAndWaitsAFullPeriod) {
    SmartMonitor m;
    CountingSmart* smart = WithCountingSmart(m);
    m.updated = false;
    smart->readOk = false;
    smart->onDrive = 55;
    int refreshed = 0;
    for (int tick = 1; tick <= 199; ++tick)
        refreshed += SmartMonitorTick(&m, nullptr);
    EXPECT_EQ(refreshed, 0);
    EXPECT_EQ(smart->reads, 1); // not retried on every tick
    EXPECT_EQ(m.temperature, 30);
    EXPECT_FALSE(m.updated);

    smart->readOk = true;
    EXPECT_TRUE(SmartMonitorTick(&m, nullptr)); // tick 200
    EXPECT_EQ(m.temperature, 55);
    EXPECT_TRUE(m.updated);
}

// Several drives fall due on the same kernel tick: one read per tick, none left behind.
TEST(SmartMonitorTick, OneReadPerKernelTickAcrossDrives) {
    constexpr int kDrives = 3;
    SmartMonitor monitors[kDrives];
    CountingSmart* smarts[kDrives];
    for (int i = 0; i < kDrives; ++i)
        smarts[i] = WithCountingSmart(monitors[i]);
    SmartMonitor noSmart;
    SmartMonitorSetup(&noSmart, std::unique_ptr<clSmart>(), "");

    std::vector<std::vector<int>> refreshedAt(kDrives);
    for (int tick = 1; tick < 1000 + kDrives; ++tick) {
        SmartTickBudget budget;
        int readsBefore = 0, readsAfter = 0;
        for (CountingSmart* s : smarts)
            readsBefore += s->reads;
        for (int i = 0; i < kDrives; ++i)
            if (SmartMonitorTick(&monitors[i], &budget)) refreshedAt[i].push_back(tick);
        EXPECT_FALSE(SmartMonitorTick(&noSmart, &budget));
        for (CountingSmart* s : smarts)
            readsAfter += s->reads;
        ASSERT_LE(readsAfter - readsBefore, 1) << "tick " << tick;
    }
    // Staggered once, then every drive keeps its own 100-tick rhythm.
    for (int i = 0; i < kDrives; ++i) {
        ASSERT_EQ(refreshedAt[i].size(), 10u) << "drive " << i;
        for (int k = 0; k < 10; ++k)
            EXPECT_EQ(refreshedAt[i][k], 100 * (k + 1) + i) << "drive " << i;
    }
    EXPECT_EQ(noSmart.tickCount, 0u);
    EXPECT_FALSE(SmartMonitorTick(nullptr, nullptr));
}

} // namespace
} // namespace tvd
