// The handles of a burst: one open per path while the burst lives, every user sharing it, the
// device closed once the burst and its users have let go; outside a burst every open is its own.
#include <gtest/gtest.h>

#include <thread>

#include "storage/cldevice.h"
#include "storage/devicehandleutil.h"
#include "storage/fakestorage.h"

namespace tvd {
namespace {

using test::FakeStorage;
using test::SelectedStorage;

class DeviceBurstTest : public ::testing::Test {
protected:
    DeviceBurstTest() {
        fake.name = "linux";
        fake.paths["/dev/sda"].length = 4096;
        fake.paths["/dev/sdb"].openResult = err::kAccessDenied;
    }
    int OpensOf(const std::string& path) const {
        return static_cast<int>(std::count(fake.opened.begin(), fake.opened.end(), path));
    }
    FakeStorage fake;
    SelectedStorage selected{fake};
};

TEST_F(DeviceBurstTest, OutsideABurstEveryOpenIsItsOwn) {
    DeviceHandle a, b;
    ASSERT_EQ(OpenDevice("/dev/sda", a), err::kSuccess);
    ASSERT_EQ(OpenDevice("/dev/sda", b), err::kSuccess);
    EXPECT_FALSE(a.SameDevice(b));
    EXPECT_EQ(OpensOf("/dev/sda"), 2);
    EXPECT_EQ(fake.liveHandles, 2);
    a.Close();
    b.Close();
    EXPECT_EQ(fake.liveHandles, 0);
}

TEST_F(DeviceBurstTest, ABurstOpensEachPathOnceAndClosesItAtItsEnd) {
    DeviceHandle kept;
    {
        const DeviceBurst burst;
        DeviceHandle a, b, q;
        ASSERT_EQ(OpenDevice("/dev/sda", a), err::kSuccess);
        ASSERT_EQ(OpenDevice("/dev/sda", b), err::kSuccess);
        ASSERT_EQ(OpenDeviceForQuery("/dev/sda", q), err::kSuccess);
        EXPECT_TRUE(a.SameDevice(b));
        EXPECT_TRUE(a.SameDevice(q));
        EXPECT_TRUE(a.Writable());
        std::uint64_t bytes = 0;
        EXPECT_EQ(Storage().GetLength(q, bytes), err::kSuccess);
        EXPECT_EQ(bytes, 4096u);
        a.Close(); // one user letting go leaves the others their device
        EXPECT_EQ(Storage().GetLength(b, bytes), err::kSuccess);
        {
            const DeviceBurst nested; // only the outermost burst owns the handles
        }
        DeviceHandle c;
        ASSERT_EQ(OpenDevice("/dev/sda", c), err::kSuccess);
        EXPECT_TRUE(c.SameDevice(b));
        kept.Share(c);
        EXPECT_EQ(OpensOf("/dev/sda"), 1);
        EXPECT_EQ(fake.liveHandles, 1);
    }
    // A user that holds on past the burst keeps the device until it lets go.
    EXPECT_EQ(fake.liveHandles, 1);
    kept.Close();
    EXPECT_EQ(fake.liveHandles, 0);
    const DeviceBurst next;
    DeviceHandle d;
    ASSERT_EQ(OpenDevice("/dev/sda", d), err::kSuccess);
    EXPECT_EQ(OpensOf("/dev/sda"), 2);
}

TEST_F(DeviceBurstTest, CloseDeviceLetsTheNextOpenOpenAgain) {
    const DeviceBurst burst;
    DeviceHandle a;
    ASSERT_EQ(OpenDevice("/dev/sda", a), err::kSuccess);
    a.Close();
    CloseDevice("/dev/sda");
    EXPECT_EQ(fake.liveHandles, 0);
    DeviceHandle b;
    ASSERT_EQ(OpenDevice("/dev/sda", b), err::kSuccess);
    EXPECT_EQ(OpensOf("/dev/sda"), 2);
}

TEST_F(DeviceBurstTest, ARefusalIsAnsweredOncePerBurst) {
    const DeviceBurst burst;
    for (int i = 0; i < 3; ++i) {
        DeviceHandle h;
        EXPECT_EQ(OpenDevice("/dev/sdb", h), err::kAccessDenied);
        EXPECT_FALSE(h.IsOpen());
        EXPECT_EQ(OpenDevice("/dev/none", h), err::kFileNotFound);
    }
    EXPECT_EQ(OpensOf("/dev/sdb"), 1);
    EXPECT_EQ(OpensOf("/dev/none"), 1);
}

TEST_F(DeviceBurstTest, AnotherThreadOpensItsOwn) {
    const DeviceBurst burst;
    DeviceHandle mine;
    ASSERT_EQ(OpenDevice("/dev/sda", mine), err::kSuccess);
    bool separate = false;
    std::thread worker([&] {
        DeviceHandle theirs;
        separate = OpenDevice("/dev/sda", theirs) == err::kSuccess && !theirs.SameDevice(mine);
    });
    worker.join();
    EXPECT_TRUE(separate);
    EXPECT_EQ(OpensOf("/dev/sda"), 2);
}

TEST_F(DeviceBurstTest, AnotherBackEndIsNeverHandedTheFirstOnesHandle) {
    const DeviceBurst burst;
    DeviceHandle a;
    ASSERT_EQ(OpenDevice("/dev/sda", a), err::kSuccess);
    FakeStorage other;
    other.name = "linux";
    other.paths["/dev/sda"];
    SelectStorage(&other);
    DeviceHandle b;
    EXPECT_EQ(OpenDevice("/dev/sda", b), err::kSuccess);
    EXPECT_FALSE(a.SameDevice(b));
    EXPECT_EQ(other.opened.size(), 1u);
    b.Close();
    CloseDevice("/dev/sda");
    SelectStorage(&fake);
}

// A drive that arrives where one left, within the same burst, is opened afresh.
TEST_F(DeviceBurstTest, ARemovedDeviceTakesItsHandleAlong) {
    const DeviceBurst burst;
    clNtDisk gone;
    gone.SetPath("/dev/sda");
    DeviceHandle a;
    ASSERT_EQ(OpenDevice("/dev/sda", a), err::kSuccess);
    a.Close();
    gone.MarkRemoved();
    EXPECT_EQ(fake.liveHandles, 0);
    DeviceHandle b;
    ASSERT_EQ(OpenDevice("/dev/sda", b), err::kSuccess);
    EXPECT_EQ(OpensOf("/dev/sda"), 2);
}

// The disk object's queries within a burst share the registry's open of the disk.
TEST_F(DeviceBurstTest, DiskQueriesShareTheBurstsOpen) {
    fake.paths["/dev/sda"].geometry = DiskGeometry{1, 12, 1, 1, 512};
    fake.paths["/dev/sda"].descriptor = StorageDeviceDescriptor{};
    clNtDisk disk;
    disk.SetPath("/dev/sda");
    {
        const DeviceBurst burst;
        EXPECT_EQ(disk.GetSectorSize(), 512u);
        EXPECT_TRUE(disk.HasMedia());
        EXPECT_EQ(disk.GetCapacity(), 4096u);
        disk.GetBusType();
    }
    EXPECT_EQ(OpensOf("/dev/sda"), 1);
    EXPECT_EQ(fake.liveHandles, 0);
}

} // namespace
} // namespace tvd
