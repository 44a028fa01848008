// The staged start's table with each stage failing, the operating-system check and the splash
// rule on a fake clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/envutil.h"
#include "shell/stagedstartutil.h"

namespace tvd {
namespace {

using Log = std::vector<std::string>;

class FakeStartHost final : public StartHost {
public:
    void ReportProgress(int v) override { log.push_back("progress " + std::to_string(v)); }
    void PrepareErrorBox() override { log.push_back("prepare"); }
    void ShowErrorById(int id) override { log.push_back("error " + std::to_string(id)); }
    void RequestClose() override { log.push_back("close"); }
    Log log;
};

// The start's rows with their progress values; `failing` names the one that fails.
std::vector<StartStage> Table(const std::string& failing, Log& ran, FakeStartHost& host) {
    struct Row {
        const char* step;
        StageFailure failure;
        int progress;
    } rows[] = {
        {"a", StageFailure::kNever, -1},  {"b", StageFailure::kMemory, -1},
        {"c", StageFailure::kNever, 10},  {"d", StageFailure::kMemory, 20},
        {"e", StageFailure::kNever, -1},  {"f", StageFailure::kMemory, 30},
        {"g", StageFailure::kMemory, 60}, {"h", StageFailure::kNever, 70},
        {"i", StageFailure::kMemory, 80}, {"j", StageFailure::kOwnMessage, 90},
        {"k", StageFailure::kNever, 100}, {"l", StageFailure::kNever, -1},
        {"m", StageFailure::kNever, -1},  {"n", StageFailure::kNever, -1},
    };
    std::vector<StartStage> stages;
    for (const Row& r : rows) {
        const std::string step = r.step;
        stages.push_back({step, r.failure, r.progress, [step, failing, &ran, &host] {
                              ran.push_back(step);
                              if (step != failing) return true;
                              // The operating-system check shows its own text.
                              if (step == "j") host.log.push_back("error 20022");
                              return false;
                          }});
    }
    return stages;
}

TEST(StagedStart, AllStagesRunInOrderWithTheirProgress) {
    Log ran;
    FakeStartHost host;
    const StartOutcome out = RunStagedStart(Table("", ran, host), host);
    EXPECT_TRUE(out.finished);
    EXPECT_EQ(ran, (Log{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n"}));
    EXPECT_EQ(host.log, (Log{"progress 10", "progress 20", "progress 30", "progress 60",
                             "progress 70", "progress 80", "progress 90", "progress 100"}));
}

TEST(StagedStart, EachFailingStageStopsTheStartWithItsMessageThenClose) {
    struct Case {
        const char* step;
        Log tail; // the host's calls after the last progress
        bool stops;
    } cases[] = {
        {"b", {"prepare", "error 20021", "close"}, true},
        {"d", {"prepare", "error 20021", "close"}, true},
        {"f", {"prepare", "error 20021", "close"}, true},
        {"g", {"prepare", "error 20021", "close"}, true},
        {"i", {"prepare", "error 20021", "close"}, true},
        {"j", {"error 20022", "close"}, true}, // only its own message
        {"a", {}, false},                      // stages that cannot fail go on
        {"e", {}, false},
        {"k", {}, false},
    };
    for (const Case& c : cases) {
        Log ran;
        FakeStartHost host;
        const StartOutcome out = RunStagedStart(Table(c.step, ran, host), host);
        EXPECT_EQ(out.finished, !c.stops) << c.step;
        if (!c.stops) {
            EXPECT_EQ(ran.size(), 14u) << c.step;
            EXPECT_EQ(host.log.back(), "progress 100") << c.step;
            continue;
        }
        EXPECT_EQ(out.failedStep, c.step);
        EXPECT_EQ(ran.back(), c.step) << "no stage after the failing one";
        Log tail;
        for (const std::string& l : host.log)
            if (l.rfind("progress", 0) != 0) tail.push_back(l);
        EXPECT_EQ(tail, c.tail) << c.step;
    }
}

TEST(StagedStart, LaterRowsGoAfterTheirStepAndItsAddedRows) {
    std::vector<StartStage> stages;
    for (const char* s : {"f", "g", "h"})
        stages.push_back({s, StageFailure::kNever, -1, nullptr});
    EXPECT_TRUE(InsertStageAfter(stages, "g", {"g.smart", StageFailure::kMemory, 50, nullptr}));
    EXPECT_TRUE(InsertStageAfter(stages, "g", {"g.details", StageFailure::kMemory, 60, nullptr}));
    EXPECT_FALSE(InsertStageAfter(stages, "x", {"x.1", StageFailure::kNever, -1, nullptr}));
    EXPECT_FALSE(InsertStageAfter(stages, "g.s", {"bad", StageFailure::kNever, -1, nullptr}));
    std::vector<std::string> order;
    for (const StartStage& s : stages)
        order.push_back(s.step);
    EXPECT_EQ(order, (std::vector<std::string>{"f", "g", "g.smart", "g.details", "h"}));
}

TEST(StagedStart, OperatingSystemCheck) {
    struct Case {
        std::uint32_t arch, code;
        bool ok;
    } cases[] = {
        {osarch::kX64, oscode::kWin7, true},           {osarch::kX86, oscode::kServer2008R2, true},
        {osarch::kX64, oscode::kWin10, true},          {osarch::kX64, oscode::kWin10Server, true},
        {osarch::kX64, oscode::kVista, false},         {osarch::kX64, oscode::kServer2008, false},
        {osarch::kX86, oscode::kWinXp, false},         {osarch::kArm64, oscode::kWin10, false},
        {osarch::kIa64, oscode::kServer2008R2, false}, {osarch::kX64, oscode::kUnknown, false},
        {osarch::kX86, oscode::kWinMe, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OsSupported(c.arch, c.code), c.ok) << c.arch << " " << c.code;
}

class FakeClock final : public MonotonicClock {
public:
    std::uint64_t Milliseconds() override { return now; }
    std::uint64_t now = 0;
};

TEST(SplashRule, TheWaitEndsTwoSecondsAfterTheSplashWasShown) {
    FakeClock clock;
    clock.now = 100000;
    const int waits = WaitForSplashRule(clock, 100000, [&clock] { clock.now += 1000; });
    EXPECT_EQ(waits, 2);
    EXPECT_EQ(clock.now, 102000u);
    clock.now = 100500; // shown half a second into a second: still two full seconds
    EXPECT_EQ(WaitForSplashRule(clock, 100500, [&clock] { clock.now += 1000; }), 2);
}

TEST(SplashRule, AClockThatDoesNotMoveCannotHangTheStart) {
    FakeClock clock;
    clock.now = 500;
    int sleeps = 0;
    EXPECT_EQ(WaitForSplashRule(clock, 500, [&sleeps] { ++sleeps; }), 3);
    EXPECT_EQ(sleeps, 3);
}

} // namespace
} // namespace tvd
