#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jobs/linux/linuxerasefacts.h"

namespace tvd::linuxsys {
namespace {

std::string Line(const char* numbers, const char* point, const char* source) {
    return std::string("40 1 ") + numbers + " / " + point + " rw,relatime shared:1 - ext4 " +
           source + " rw\n";
}

TEST(EraseFacts, MountsSwapAndHoldersOfTheDiskAndItsPartitions) {
    struct Row {
        const char* what;
        std::string mountinfo;
        bool swapOnP2, holderOnP1;
        bool mounted, system, swap, holder;
        const char* where;
    } rows[] = {
        {"unused", Line("8:1", "/", "/dev/sda1"), false, false, false, false, false, false, ""},
        {"partition mounted", Line("8:1", "/", "/dev/sda1") + Line("259:3", "/media/x", "/dev/x"),
         false, false, true, false, false, false, "/dev/loop7p1 on /media/x"},
        {"whole disk mounted, blank in the path", Line("7:7", "/mnt/my\\040disk", "/dev/loop7"),
         false, false, true, false, false, false, "/dev/loop7 on /mnt/my disk"},
        {"root file system", Line("259:4", "/", "/dev/loop7p2"), false, false, true, true, false,
         false, "/dev/loop7p2 on /"},
        {"boot partition", Line("259:3", "/boot/efi", "/dev/loop7p1"), false, false, true, true,
         false, false, "/dev/loop7p1 on /boot/efi"},
        // btrfs-like numbers that are not the device's: the source names it.
        {"mounted by source", Line("0:45", "/data", "/dev/loop7p2"), false, false, true, false,
         false, false, "/dev/loop7p2 on /data"},
        {"swap", "", true, false, false, false, true, false, "/dev/loop7p2 is swap"},
        {"holder", "", false, true, false, false, false, true, "/dev/loop7p1 held by dm-0"},
    };
    for (const Row& r : rows) {
        std::vector<EraseNode> nodes = {{"/dev/loop7", 7, 7, {}, false},
                                        {"/dev/loop7p1", 259, 3, {}, false},
                                        {"/dev/loop7p2", 259, 4, {}, false}};
        nodes[2].swap = r.swapOnP2;
        if (r.holderOnP1) nodes[1].holders = {"dm-0"};
        EraseDiskFacts facts;
        EraseFactsOf(nodes, r.mountinfo, facts);
        EXPECT_EQ(facts.mountedVolume, r.mounted) << r.what;
        EXPECT_EQ(facts.systemDisk, r.system) << r.what;
        EXPECT_EQ(facts.swap, r.swap) << r.what;
        EXPECT_EQ(facts.holder, r.holder) << r.what;
        EXPECT_EQ(facts.where, r.where) << r.what;
    }
}

} // namespace
} // namespace tvd::linuxsys
