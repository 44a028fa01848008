// The whole-disk TRIM erase on loop devices over sparse files (root only), set beside
// blkdiscard on a twin image: the backing file's blocks are dropped alike, the disk reads zeros,
// and sfdisk, blkid and wipefs find no table. A mounted disk is refused with its image unchanged.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "jobs/cljobdiskerase.h"
#include "storage/linux/linuxtesttools.h"

namespace tvd {
namespace {

using test::RunTool;

std::string Q(const std::string& s) {
    return "'" + s + "'";
}

class EraseLoop : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
        for (const char* tool : {"losetup", "sfdisk", "blkdiscard", "wipefs", "blkid", "cmp",
                                 "truncate", "dd", "stat", "mkfs.fat"})
            if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed (setup.sh)";
        ASSERT_FALSE(tmp_.Path().empty());
        SelectStorage(nullptr);
    }
    void TearDown() override {
        if (!mounted_.empty()) ::umount(mounted_.c_str());
        for (auto it = loops_.rbegin(); it != loops_.rend(); ++it)
            RunTool("losetup -d " + *it + " 2>/dev/null");
    }
    std::string Loop(const std::string& img) {
        const auto r = RunTool("losetup -f --show -P " + Q(img));
        std::string dev = r.output;
        while (!dev.empty() && dev.back() == '\n')
            dev.pop_back();
        if (r.status == 0 && !dev.empty()) loops_.push_back(dev);
        return r.status == 0 ? dev : std::string();
    }
    static std::uint64_t Blocks(const std::string& file) {
        const auto r = RunTool("stat -c %b " + Q(file));
        return std::stoull(r.output.empty() ? "0" : r.output);
    }
    test::TempDir tmp_;
    std::vector<std::string> loops_;
    std::string mounted_;
};

constexpr std::uint64_t kSize = 300ull << 20;

TEST_F(EraseLoop, WholeDiskTrimMatchesBlkdiscard) {
    const std::string img = tmp_ / "disk.img", twin = tmp_ / "twin.img";
    const std::string make =
        "truncate -s 300M " + Q(img) + " && printf 'label: dos\\nstart=2048, size=40960, " +
        "type=c\\nstart=43008, type=83\\n' | sfdisk -q " + Q(img) + " >/dev/null 2>&1 && dd " +
        "if=/dev/urandom of=" + Q(img) + " bs=1M seek=5 count=8 conv=notrunc status=none && dd " +
        "if=/dev/urandom of=" + Q(img) + " bs=1M seek=290 count=8 conv=notrunc status=none && " +
        "cp --sparse=always " + Q(img) + " " + Q(twin);
    ASSERT_EQ(RunTool(make).status, 0) << make;
    const std::string disk = Loop(img), other = Loop(twin);
    if (disk.empty() || other.empty()) GTEST_SKIP() << "no free loop device";
    ASSERT_GT(Blocks(img), 16u * 2048); // the random data is allocated

    auto job = MakeZoltRef<clJobDiskErase>();
    job->method = erasemethod::kTrim;
    job->SetPath(disk, 512, kSize);
    job->Run();
    ASSERT_FALSE(job->IsFailed()) << job->FailureCode();
    EXPECT_TRUE(job->TableDeleted());
    EXPECT_EQ(job->TrimStepsDone(), 2u);
    EXPECT_EQ(job->TrimmedBytes(), kSize);
    EXPECT_GT(job->SamplesWithData(), 0u);

    ASSERT_EQ(RunTool("blkdiscard -f -p 256MiB " + other + " 2>/dev/null").status, 0);
    EXPECT_EQ(Blocks(img), Blocks(twin));
    EXPECT_EQ(RunTool("cmp -s -n " + std::to_string(kSize) + " " + Q(img) + " /dev/zero").status,
              0);
    EXPECT_EQ(RunTool("cmp -s -n " + std::to_string(kSize) + " " + disk + " /dev/zero").status, 0);
    EXPECT_NE(RunTool("sfdisk -d " + disk + " 2>/dev/null").status, 0);
    EXPECT_EQ(RunTool("blkid -p " + disk + " >/dev/null 2>&1").status, 2); // nothing found
    EXPECT_EQ(RunTool("wipefs -n " + disk + " 2>/dev/null").output, "");
}

TEST_F(EraseLoop, MountedDiskIsRefusedUnchanged) {
    const std::string img = tmp_ / "fat.img", copy = tmp_ / "copy.img";
    ASSERT_EQ(RunTool("truncate -s 64M " + Q(img) + " && mkfs.fat " + Q(img) +
                      " >/dev/null 2>&1 && cp --sparse=always " + Q(img) + " " + Q(copy))
                  .status,
              0);
    const std::string disk = Loop(img);
    if (disk.empty()) GTEST_SKIP() << "no free loop device";
    const std::string where = tmp_ / "mnt";
    ASSERT_EQ(RunTool("mkdir " + Q(where)).status, 0);
    if (::mount(disk.c_str(), where.c_str(), "vfat", MS_NOATIME, nullptr) != 0)
        GTEST_SKIP() << "mounting is not allowed here";
    mounted_ = where;
    std::string why;
    EXPECT_EQ(CheckErasePathAllowed(disk, &why), EraseRefusal::kMountedVolume);
    EXPECT_NE(why.find(where), std::string::npos) << why;

    auto job = MakeZoltRef<clJobDiskErase>();
    job->method = erasemethod::kTrim;
    job->SetPath(disk, 512, 64ull << 20);
    job->Run();
    EXPECT_TRUE(job->IsFailed());
    EXPECT_EQ(job->Refusal(), EraseRefusal::kMountedVolume);
    EXPECT_FALSE(job->WriteStarted());
    ::umount(where.c_str());
    mounted_.clear();
    EXPECT_EQ(RunTool("cmp -s " + Q(img) + " " + Q(copy)).status, 0);
    // Unmounted, the same disk may be erased.
    EXPECT_EQ(CheckErasePathAllowed(disk), EraseRefusal::kNone);
}

// Another holder of the disk (as a mount would be) makes the exclusive open fail: nothing is
// written.
TEST_F(EraseLoop, BusyDiskIsNotWritten) {
    const std::string img = tmp_ / "busy.img", copy = tmp_ / "copy.img";
    ASSERT_EQ(RunTool("truncate -s 16M " + Q(img) + " && mkfs.fat " + Q(img) +
                      " >/dev/null 2>&1 && cp --sparse=always " + Q(img) + " " + Q(copy))
                  .status,
              0);
    const std::string disk = Loop(img);
    if (disk.empty()) GTEST_SKIP() << "no free loop device";
    const int held = ::open(disk.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
    ASSERT_GE(held, 0);
    auto job = MakeZoltRef<clJobDiskErase>();
    job->method = erasemethod::kTrim;
    job->SetPath(disk, 512, 16ull << 20);
    job->Run();
    ::close(held);
    EXPECT_TRUE(job->IsFailed());
    EXPECT_FALSE(job->WriteStarted());
    EXPECT_EQ(job->TrimStepsDone(), 0u);
    EXPECT_EQ(RunTool("cmp -s " + Q(img) + " " + Q(copy)).status, 0);
}

} // namespace
} // namespace tvd
