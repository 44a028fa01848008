// tarvikdorn optimize and tweaks on Linux: a loop device over an image made here (root only),
// its partition mounted, optimized through the command line; the refusals before any write; and
// the Windows settings said to be Windows-only.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "cli/toolrun.h"
#include "storage/linux/linuxstorage.h"
#include "storage/linux/linuxtesttools.h"

namespace tvd::cli {
namespace {

namespace fs = std::filesystem;
using test::Flat;
using test::ToolRun;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(LinuxTweaks, WindowsSettingsAreNotSupportedHere) {
    for (const auto& args : {std::vector<std::string>{"tweaks"},
                             {"tweaks", "apply", "--yes"},
                             {"tweaks", "restore", "--advanced", "--yes"}}) {
        const ToolRun r = test::RunTool(args);
        EXPECT_EQ(r.status, 4);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(Has(r.err, "Windows registry settings: not supported on this platform"))
            << r.err;
    }
    EXPECT_EQ(test::RunTool({"tweaks", "apply", "restore"}).status, 2);
}

class OptimizeLoop : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "loop devices and mounts need root";
        if (::access("/dev/loop-control", F_OK) != 0) GTEST_SKIP() << "no loop devices here";
        for (const char* tool : {"sfdisk", "losetup", "truncate", "mkfs.ext4"})
            if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed (setup.sh)";
        ASSERT_FALSE(tmp_.Path().empty());
        auto& storage = static_cast<LinuxStorage&>(NativeStorage());
        includeLoop_ = storage.IncludeLoop();
        storage.SetIncludeLoop(true);
    }
    void TearDown() override {
        if (!mounted_.empty()) ::umount(mounted_.c_str());
        if (!loop_.empty()) test::RunTool("losetup -d " + loop_);
        static_cast<LinuxStorage&>(NativeStorage()).SetIncludeLoop(includeLoop_);
    }
    test::TempDir tmp_;
    std::string loop_, mounted_;
    bool includeLoop_ = false;
};

TEST_F(OptimizeLoop, MountedPartitionIsOptimizedAndOthersRefused) {
    const std::string image = tmp_ / "disk.img";
    ASSERT_EQ(test::RunTool("truncate -s 64M '" + image +
                            "' && printf 'label: dos\\nstart=2048, type=83\\n' | sfdisk -q '" +
                            image + "' >/dev/null 2>&1")
                  .status,
              0);
    const test::RunResult attach = test::RunTool("losetup -f -P --show '" + image + "'");
    if (attach.status != 0) GTEST_SKIP() << "losetup cannot attach an image here";
    loop_ = attach.output.substr(0, attach.output.find('\n'));
    // Nothing mounted: no volume to work on, refused before any write.
    const ToolRun none = test::RunTool({"optimize", loop_});
    EXPECT_EQ(none.status, 3) << none.out << none.err;
    EXPECT_TRUE(Has(none.err, "There is no recognized partition.")) << none.err;

    const std::string part = loop_ + "p1";
    for (int i = 0; i < 20 && ::access(part.c_str(), F_OK) != 0; ++i)
        ::usleep(100000);
    if (::access(part.c_str(), F_OK) != 0)
        GTEST_SKIP() << "the kernel made no partition device for the loop device here";
    ASSERT_EQ(test::RunTool("mkfs.ext4 -q -F '" + part + "' >/dev/null 2>&1").status, 0);

    const std::string mount = tmp_ / "mnt";
    fs::create_directory(mount);
    if (::mount(part.c_str(), mount.c_str(), "ext4", 0, nullptr) != 0)
        GTEST_SKIP() << "cannot mount ext4 here";
    mounted_ = mount;

    // A folder that is not one of the drive's volumes is refused.
    const ToolRun other = test::RunTool({"optimize", loop_, "--volume", tmp_.Path()});
    EXPECT_EQ(other.status, 3) << other.err;
    EXPECT_EQ(test::RunTool({"optimize", loop_, "--volume"}).status, 2);

    const ToolRun r = test::RunTool({"--json", "optimize", loop_});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string flat = Flat(r.out);
    EXPECT_TRUE(Has(flat, "\"volume\": \"" + mount)) << flat;
    EXPECT_TRUE(Has(flat, "\"result\": \"done\"")) << flat;
    EXPECT_TRUE(Has(flat, "\"filesWritten\": 10")) << flat;
    EXPECT_TRUE(Has(flat, "\"folderRemoved\": true")) << flat;
    EXPECT_TRUE(Has(flat, "\"fileSystemTrim\": {\"result\": \"done\"")) << flat;
    for (const auto& e : fs::directory_iterator(mount))
        EXPECT_EQ(e.path().filename(), "lost+found");
}

} // namespace
} // namespace tvd::cli
