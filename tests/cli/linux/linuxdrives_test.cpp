// The tool on the drives a Linux user has: a virtual machine's virtio disk and loop devices over
// images (made here, and only these are written).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>

#include "storage/linux/linuxstorage.h"
#include "storage/linux/linuxsysfs.h"
#include "storage/linux/linuxtesttools.h"
#include "cli/toolrun.h"

namespace tvd::cli {
namespace {

namespace fs = std::filesystem;
using test::Flat;
using test::ToolRun;

ToolRun Tool(std::vector<std::string> args) {
    return test::RunTool(std::move(args));
}

std::string Attr(const std::string& dir, const char* name) {
    return linuxsys::ReadAttr(dir, name);
}

// Every virtio disk is served: its size, sector size and bus come from sysfs, its serial too.
TEST(LinuxDrives, VirtioDisksAreServed) {
    std::string name;
    for (const auto& e : fs::directory_iterator("/sys/block")) {
        const std::string n = e.path().filename().string();
        if (n.rfind("vd", 0) == 0) {
            name = n;
            break;
        }
    }
    if (name.empty()) GTEST_SKIP() << "this machine has no virtio disk";
    const std::string dir = "/sys/block/" + name, node = "/dev/" + name;
    const std::uint64_t bytes = std::stoull(Attr(dir, "size")) * 512;
    const std::string sector = Attr(dir, "queue/logical_block_size");

    const ToolRun list = Tool({"--json", "list"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(Flat(list.out).find("\"path\": \"" + node + "\",\"name\": "), std::string::npos)
        << list.out;
    EXPECT_TRUE(std::regex_search(Flat(list.out),
                                  std::regex("\"path\": \"" + node +
                                             "\"[^}]*\"bus\": \"Virtio\"[^}]*\"capacity\": " +
                                             std::to_string(bytes) + ",\"sectorSize\": " + sector)))
        << list.out;

    const ToolRun info = Tool({"--json", "info", node});
    ASSERT_EQ(info.status, 0) << info.err;
    const std::string flat = Flat(info.out);
    EXPECT_NE(flat.find("\"capacity\": " + std::to_string(bytes)), std::string::npos) << flat;
    EXPECT_NE(flat.find("\"busText\": \"Virtio\""), std::string::npos) << flat;
    EXPECT_NE(flat.find("\"smart\": false"), std::string::npos) << flat;
    if (const std::string serial = Attr(dir, "serial"); !serial.empty()) {
        EXPECT_NE(flat.find("\"serial\": \"" + serial + "\""), std::string::npos) << flat;
    }
}

// A loop device over an image is served when loop devices are listed: its partitions show.
TEST(LinuxDrives, LoopDevicesAreServedWhenListed) {
    if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
    if (::access("/dev/loop-control", F_OK) != 0) GTEST_SKIP() << "no loop devices here";
    for (const char* tool : {"sfdisk", "losetup", "truncate"})
        if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed (setup.sh)";
    test::TempDir tmp;
    ASSERT_FALSE(tmp.Path().empty());
    const std::string image = tmp / "disk.img";
    ASSERT_EQ(test::RunTool("truncate -s 64M '" + image + "'").status, 0);
    ASSERT_EQ(test::RunTool("printf 'label: gpt\\n,16M\\n,\\n' | sfdisk -q '" + image +
                            "' >/dev/null 2>&1")
                  .status,
              0);
    const test::RunResult attach = test::RunTool("losetup -f --show '" + image + "'");
    if (attach.status != 0) GTEST_SKIP() << "losetup cannot attach an image here";
    const std::string loop = attach.output.substr(0, attach.output.find('\n'));
    auto& storage = static_cast<LinuxStorage&>(NativeStorage());
    const bool before = storage.IncludeLoop();

    storage.SetIncludeLoop(false);
    const ToolRun hidden = Tool({"info", loop});
    EXPECT_EQ(hidden.status, 1);

    storage.SetIncludeLoop(true);
    const ToolRun info = Tool({"info", loop});
    storage.SetIncludeLoop(before);
    test::RunTool("losetup -d " + loop);
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("Interface:    Loop\n"), std::string::npos) << info.out;
    EXPECT_TRUE(std::regex_search(info.out, std::regex("\n1 +1048576 +16.0 MiB +ordinary")))
        << info.out;
    EXPECT_TRUE(std::regex_search(info.out, std::regex("\n2 +17825792 +"))) << info.out;
}

} // namespace
} // namespace tvd::cli
