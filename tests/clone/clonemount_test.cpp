// The writable-mount decision over mountinfo text.
#include <gtest/gtest.h>

#include "clone/clonemountutil.h"

namespace tvd {
namespace {

TEST(CloneMount, WritableMountsOfADevice) {
    const char* info = "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
                       "30 22 259:1 / /boot/efi ro,relatime shared:7 - vfat /dev/nvme0n1p1 ro\n"
                       "31 22 7:1 /sub /mnt/a ro shared:8 - ext4 /dev/loop0p1 ro\n"
                       "32 22 7:1 / /mnt/b rw shared:9 - ext4 /dev/loop0p1 rw\n"
                       "33 22 8:17 / /mnt/c rwx - ext4 /dev/sdb1 rw\n"
                       "garbage line\n"
                       "34 22 x:y / /mnt/d rw - ext4 /dev/sdc1 rw\n"
                       "35 22 8:33 / /mnt/e rw";
    struct Case {
        unsigned major, minor;
        bool writable;
    };
    for (const Case& c : {Case{259, 2, true}, Case{259, 1, false}, Case{7, 1, true},
                          Case{8, 17, false}, Case{8, 33, true}, Case{8, 1, false}})
        EXPECT_EQ(MountInfoWritable(info, c.major, c.minor), c.writable)
            << c.major << ":" << c.minor;
    EXPECT_FALSE(MountInfoWritable("", 8, 1));
    EXPECT_FALSE(IsMountedWritable(""));
    EXPECT_FALSE(IsMountedWritable("/nonexistent/node"));
}

} // namespace
} // namespace tvd
