#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cli/jobrunner.h"
#include "jobs/jobthreadutil.h"
#include "storage/simfolder.h"
#include "toolrun.h"

namespace tvd::cli {
namespace {

using test::Flat;
using test::RunTool;
using test::ToolRun;
namespace fs = std::filesystem;

// 1 GiB of 512-byte sectors: a quick scan's stride is 2098 sectors.
constexpr std::uint64_t kStrideSectors = (2097152 - 1) / 1000 + 1;

class ScanCommand : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.Drive("good", "Model=Good Disk\nCapacity=1G");
        folder_.Drive("bad", "Model=Bad Disk\nCapacity=1G\n[Faults]\nReadErrorAt=" +
                                 std::to_string(kStrideSectors * 5 + 10));
        folder_.Drive("locked", "Model=Locked Disk\nCapacity=1G\n[Faults]\nFailOpen=5");
        folder_.Drive("big", "Model=Big Disk\nCapacity=2T");
    }
    ToolRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--simulate", folder_.Path()});
        return RunTool(std::move(args));
    }
    test::SimFolder folder_;
};

TEST_F(ScanCommand, ReportsEachOutcome) {
    ToolRun r = Run({"scan", "good", "--quick"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Diagnotics quick scan is done successsfully!"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("1000 of 1000 sample points"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("100%"), std::string::npos) << r.err; // progress went to stderr

    // The bad sector lies in the sixth sample point; the failed read covers it.
    r = Run({"--json", "scan", "bad", "--quick"});
    EXPECT_EQ(r.status, 1);
    const std::string flat = Flat(r.out);
    const std::uint64_t pointStart = kStrideSectors * 5;
    for (const std::string& member :
         {std::string(R"("result": "failed")"), std::string(R"("pointsRead": 5,)"),
          R"("offset": )" + std::to_string(pointStart * 512) + ",",
          R"("firstSector": )" + std::to_string(pointStart) + ",", std::string(R"("code": 23,)"),
          std::string(R"("point": 6})")})
        EXPECT_NE(flat.find(member), std::string::npos) << member << "\n" << flat;
    const std::string lastSector = "\"lastSector\": ";
    const auto at = flat.find(lastSector);
    ASSERT_NE(at, std::string::npos);
    EXPECT_GE(std::stoull(flat.substr(at + lastSector.size())), pointStart + 10);

    r = Run({"scan", "bad", "--full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Diagnotics full scan fails!"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("read error in sectors"), std::string::npos) << r.out;

    // A drive that cannot be opened fails with a reason, before any read.
    r = Run({"scan", "locked"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("locked"), std::string::npos) << r.err;

    for (const std::vector<std::string>& usage : {std::vector<std::string>{"scan"},
                                                  {"scan", "good", "--quick", "--full"},
                                                  {"scan", "good", "--deep"},
                                                  {"scan", "good", "bad"}})
        EXPECT_EQ(Run(usage).status, 2) << usage.back();
    EXPECT_EQ(Run({"scan", "nosuch"}).status, 1);
}

TEST_F(ScanCommand, InterruptAbortsCleanly) {
    // Ctrl-C as soon as the job runs, and again until the tool returns (as a user would).
    std::atomic<bool> returned{false};
    std::thread interrupter([&returned] {
        while (!returned && !JobThreadRunning())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        while (!returned) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            RequestInterrupt();
        }
    });
    const auto start = std::chrono::steady_clock::now();
    const ToolRun r = Run({"scan", "big", "--full"}); // 156 GiB of reads: it cannot finish first
    returned = true;
    interrupter.join();
    EXPECT_EQ(r.status, 130) << r.out << r.err;
    EXPECT_NE(r.out.find("Diagnotics full scan is aborted!"), std::string::npos) << r.out;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

class BenchmarkCommand : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        volume_ = fs::temp_directory_path() / ("tvdbenchcmd-" + std::to_string(rd()));
        fs::create_directories(volume_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(volume_, ec);
    }
    fs::path volume_;
};

TEST_F(BenchmarkCommand, RunsAndRefuses) {
    const ToolRun r =
        RunTool({"--json", "benchmark", volume_.string(), "--size", "16M", "--passes", "1"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string flat = Flat(r.out);
    EXPECT_NE(flat.find(R"("result": "done")"), std::string::npos) << flat;
    EXPECT_NE(flat.find(R"("testSize": 16777216,)"), std::string::npos) << flat;
    EXPECT_EQ(flat.find("null,"), std::string::npos) << "every rate measured: " << flat;
    EXPECT_TRUE(fs::is_empty(volume_));

    struct Row {
        std::vector<std::string> args;
        int status;
    } rows[] = {
        {{"benchmark"}, 2},
        {{"benchmark", volume_.string(), "--size", "8M"}, 2},
        {{"benchmark", volume_.string(), "--size", "16X"}, 2},
        {{"benchmark", volume_.string(), "--passes", "0"}, 2},
        {{"benchmark", volume_.string(), "--passes", "x"}, 2},
        {{"benchmark", (volume_ / "missing").string(), "--size", "16M"}, 3},
    };
    for (const Row& row : rows)
        EXPECT_EQ(RunTool(row.args).status, row.status) << row.args.back();
}

} // namespace
} // namespace tvd::cli
