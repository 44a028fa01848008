// The SSD optimization job on a folder of the test's own: the files, the new temporary folder
// (never an existing one, never through a link), the checked writes and the abort.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "jobs/cljobdisktrim.h"
#include "jobs/storagetrimutil.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;

TEST(DiskTrim, VolumeChoice) {
    struct Case {
        std::vector<std::uint64_t> free;
        int chosen;
    };
    const Case cases[] = {
        {{}, -1},          {{0}, -1},
        {{0, 0}, -1},      {{5, 5}, 0}, // equals: the first (lowest letter) wins
        {{1, 7, 7, 3}, 1},              // only a strictly larger one replaces the best
        {{0, 1}, 1},                    // a volume without free space is never chosen
        {{9, 10, 2}, 1},
    };
    for (const Case& c : cases) {
        std::vector<TrimVolumeCandidate> v;
        for (std::size_t i = 0; i < c.free.size(); ++i)
            v.push_back({static_cast<char>('C' + i), "root" + std::to_string(i), c.free[i]});
        EXPECT_EQ(ChooseTrimVolume(v), c.chosen) << ::testing::PrintToString(c.free);
    }
}

class TrimFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        root_ = fs::temp_directory_path() / ("tvdtrim-" + std::to_string(rd()));
        ASSERT_TRUE(fs::create_directory(root_));
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    ZoltRef<clJobDiskTrim> Job() {
        auto job = MakeZoltRef<clJobDiskTrim>();
        job->volume = root_.string();
        job->pauseMs = 0;
        job->fileSystemTrim = false; // a temporary folder may lie on any file system
        return job;
    }
    fs::path root_;
};

TEST_F(TrimFolderTest, WritesTenFilesAndRemovesThemWithTheFolder) {
    std::uint64_t freeBytes = 0;
    ASSERT_EQ(TrimVolumeSpace(root_.string(), freeBytes), err::kSuccess);
    if (freeBytes < 64ull << 20) GTEST_SKIP() << "the temporary folder's volume is nearly full";
    auto job = Job();
    job->Run();
    ASSERT_FALSE(job->IsFailed()) << job->FailedStage() << " " << job->FailureCode();
    EXPECT_EQ(job->FileCount(), 10u);
    EXPECT_EQ(job->FilesWritten(), 10u);
    EXPECT_EQ(job->Written(), 10ull << 20);
    EXPECT_EQ(job->BufferSize(), 1u << 20);
    EXPECT_EQ(job->GetProgress(), 100.0f);
    EXPECT_EQ(fs::path(job->FolderPath()).filename(), kTrimFolderName);
    EXPECT_TRUE(job->FolderRemoved());
    EXPECT_TRUE(fs::is_empty(root_)) << "the run left entries behind";
    EXPECT_FALSE(job->FileSystemTrimAsked());
}

// A folder of that name made beforehand is someone else's: a new one is made beside it, and the
// old one with its contents stays as it was.
TEST_F(TrimFolderTest, ExistingFolderIsNotUsed) {
    const fs::path planted = root_ / kTrimFolderName;
    ASSERT_TRUE(fs::create_directory(planted));
    ASSERT_TRUE(fs::create_directory(root_ / (std::string(kTrimFolderName) + ".1")));
    std::ofstream(planted / "0.tmp") << "keep me";
    auto job = Job();
    job->Run();
    ASSERT_FALSE(job->IsFailed()) << job->FailedStage() << " " << job->FailureCode();
    EXPECT_EQ(fs::path(job->FolderPath()).filename(), std::string(kTrimFolderName) + ".2");
    EXPECT_FALSE(fs::exists(job->FolderPath()));
    std::ifstream in(planted / "0.tmp");
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "keep me");
    EXPECT_TRUE(fs::exists(root_ / (std::string(kTrimFolderName) + ".1")));
}

// An entry someone adds to the folder while the run works keeps it; only the run's own files go.
TEST_F(TrimFolderTest, OnlyTheRunsOwnFilesAreDeleted) {
    TrimFolder folder;
    ASSERT_EQ(folder.Create(root_.string()), err::kSuccess);
    const std::string path = folder.Path();
    ASSERT_EQ(folder.OpenFile(0), err::kSuccess);
    const std::uint8_t block[4096] = {};
    EXPECT_EQ(folder.Write(ByteView(block, sizeof block)), err::kSuccess);
    EXPECT_EQ(folder.CloseFile(), err::kSuccess);
    std::ofstream(fs::path(path) / "1.tmp") << "someone else's";
    // The name is taken: the run does not write into another's file.
    EXPECT_NE(folder.OpenFile(1), err::kSuccess);
    folder.RemoveAll();
    EXPECT_FALSE(fs::exists(fs::path(path) / "0.tmp"));
    EXPECT_TRUE(fs::exists(fs::path(path) / "1.tmp"));
    EXPECT_FALSE(folder.Path().empty()) << "a folder that stays is still named";
}

TEST_F(TrimFolderTest, FolderNamesRunOut) {
    for (std::uint32_t n = 0; n <= kTrimFolderTries; ++n)
        fs::create_directory(root_ / (n ? std::string(kTrimFolderName) + "." + std::to_string(n)
                                        : std::string(kTrimFolderName)));
    auto job = Job();
    job->Run();
    EXPECT_TRUE(job->IsFailed());
    EXPECT_EQ(job->FailedStage(), "folder");
    EXPECT_EQ(job->FailureCode(), err::kAlreadyExists);
}

TEST_F(TrimFolderTest, MissingVolumeFails) {
    auto job = Job();
    job->volume = (root_ / "absent").string();
    job->Run();
    EXPECT_TRUE(job->IsFailed());
    EXPECT_EQ(job->FailedStage(), "space");
    auto none = Job();
    none->volume.clear();
    none->Run();
    EXPECT_TRUE(none->IsFailed());
}

// Stopped while it waits after the second file: no third file, the two written ones and the
// folder are gone, and the outcome is "aborted".
class StoppedAfter : public clJobDiskTrim {
public:
    explicit StoppedAfter(std::uint32_t files) : files_(files) {}

protected:
    // No wait before the chosen file; there the stop arrives and the real wait must notice it.
    void Pause(std::uint32_t filesDone) override {
        if (filesDone < files_) return;
        if (filesDone == files_) Abort();
        clJobDiskTrim::Pause(filesDone);
    }

private:
    std::uint32_t files_;
};

TEST_F(TrimFolderTest, AbortAfterTheSecondFile) {
    std::uint64_t freeBytes = 0;
    ASSERT_EQ(TrimVolumeSpace(root_.string(), freeBytes), err::kSuccess);
    if (freeBytes < 64ull << 20) GTEST_SKIP() << "the temporary folder's volume is nearly full";
    auto job = MakeZoltRef<StoppedAfter>(2);
    job->volume = root_.string();
    job->pauseMs = 600000; // a stop that went unnoticed would hang here
    job->fileSystemTrim = false;
    job->Run();
    EXPECT_TRUE(job->IsAborted());
    EXPECT_EQ(GetJobOutcome(job.Get()), JobOutcome::kAborted);
    EXPECT_EQ(job->FilesWritten(), 2u);
    EXPECT_EQ(job->Written(), 2ull << 20);
    EXPECT_TRUE(fs::is_empty(root_)) << "the written files or the folder stayed";
}

} // namespace
} // namespace tvd
