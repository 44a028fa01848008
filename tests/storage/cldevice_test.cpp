#include "storage/cldevice.h"

#include <gtest/gtest.h>

#include <optional>

#include "storage/fakestorage.h"

namespace tvd {
namespace {

using test::FakeStorage;
using test::SelectedStorage;

class DeviceObjectTest : public ::testing::Test {
protected:
    DeviceObjectTest() {
        disk.SetPath("DISK0");
        disk.SetDevInst(11);
        fake.paths["DISK0"]; // opens, answers nothing yet
    }
    FakeStorage fake;
    SelectedStorage selected{fake};
    clNtDisk disk;
};

TEST_F(DeviceObjectTest, DeviceNumberIsCachedOnlyForADisk) {
    struct Row {
        const char* what;
        std::optional<StorageDeviceNumber> answer;
        std::int64_t want;
        bool cached;
    } rows[] = {
        {"disk", StorageDeviceNumber{filedevice::kDisk, 3, 0}, 3, true},
        {"beyond 32 bits", StorageDeviceNumber{filedevice::kDisk, 0x1'2345'6789ll, 0},
         0x1'2345'6789ll, true},
        {"optical drive", StorageDeviceNumber{filedevice::kCdRom, 0, 0}, -1, false},
        {"request fails", std::nullopt, -1, false},
    };
    for (const Row& r : rows) {
        clNtDisk d;
        d.SetPath("DISK0");
        fake.paths["DISK0"].number = r.answer;
        fake.numberQueries = 0;
        EXPECT_EQ(d.GetDeviceNumber(), r.want) << r.what;
        EXPECT_EQ(d.GetDeviceNumber(), r.want) << r.what;
        EXPECT_EQ(fake.numberQueries, r.cached ? 1 : 2) << r.what;
        EXPECT_EQ(fake.liveHandles, 0) << r.what; // opened for the query only
    }
    // A non-disk answer is asked again, so a later disk answer is taken.
    clNtDisk d;
    d.SetPath("DISK0");
    fake.paths["DISK0"].number = StorageDeviceNumber{filedevice::kCdRom, 0, 0};
    EXPECT_EQ(d.GetDeviceNumber(), -1);
    fake.paths["DISK0"].number = StorageDeviceNumber{filedevice::kDisk, 4, 0};
    EXPECT_EQ(d.GetDeviceNumber(), 4);
    // No path (the device could not be opened at enumeration): nothing is opened.
    clNtDisk pathless;
    fake.opened.clear();
    EXPECT_EQ(pathless.GetDeviceNumber(), -1);
    EXPECT_EQ(pathless.GetCapacity(), 0u);
    EXPECT_FALSE(pathless.HasMedia());
    EXPECT_TRUE(fake.opened.empty());
}

TEST_F(DeviceObjectTest, DescriptorIsQueriedOnceAndRetriedAfterAFailure) {
    EXPECT_EQ(disk.GetBusType(), bustype::kUnknown); // no descriptor yet
    EXPECT_FALSE(disk.IsUsb());
    EXPECT_EQ(fake.descriptorQueries, 2);

    StorageDeviceDescriptor d;
    d.busType = bustype::kUsb;
    d.removableMedia = true;
    fake.paths["DISK0"].descriptor = d;
    EXPECT_TRUE(disk.IsUsb());
    EXPECT_TRUE(disk.IsRemovable());
    EXPECT_EQ(disk.GetBusType(), bustype::kUsb);
    EXPECT_EQ(fake.descriptorQueries, 3);
    fake.paths["DISK0"].descriptor->busType = bustype::kSata; // the cache holds
    EXPECT_EQ(disk.GetBusType(), bustype::kUsb);
    EXPECT_EQ(fake.liveHandles, 0);
}

TEST_F(DeviceObjectTest, MediaSectorSizeAndCapacity) {
    struct Row {
        std::optional<DiskGeometry> geometry;
        bool media;
        std::uint32_t sector;
    } rows[] = {
        {DiskGeometry{1000, 12, 255, 63, 512}, true, 512},
        {DiskGeometry{1000, 12, 255, 63, 4096}, true, 4096},
        {DiskGeometry{0, 11, 0, 0, 512}, false, 512}, // card reader without a card
        {DiskGeometry{1000, 12, 255, 63, 0}, false, 0},
        {std::nullopt, false, 0},
    };
    for (const Row& r : rows) {
        fake.paths["DISK0"].geometry = r.geometry;
        EXPECT_EQ(disk.HasMedia(), r.media);
        EXPECT_EQ(disk.GetSectorSize(), r.sector);
    }
    EXPECT_EQ(disk.GetCapacity(), 0u);
    fake.paths["DISK0"].length = 0x3A3'8120'0000ull;
    EXPECT_EQ(disk.GetCapacity(), 0x3A3'8120'0000ull);
    fake.paths["DISK0"].openResult = err::kAccessDenied;
    EXPECT_EQ(disk.GetCapacity(), 0u);
    EXPECT_EQ(fake.liveHandles, 0);
}

TEST_F(DeviceObjectTest, DescriptionsAreCachedUntilDropped) {
    clWinUsb usb(usbkind::kDevice);
    usb.SetDevInst(20);
    clWinDrive drive('E');
    EXPECT_EQ(disk.GetDescription(), nullptr); // failure: asked again next time
    EXPECT_EQ(usb.GetDescription(), nullptr);
    EXPECT_EQ(drive.GetDescription(), nullptr);

    fake.properties[{11, DeviceProperty::kFriendlyName}] = "Vendor Disk";
    fake.properties[{20, DeviceProperty::kFriendlyName}] = "wrong property";
    fake.properties[{20, DeviceProperty::kDeviceDesc}] = "USB Mass Storage Device";
    fake.displayNames['E'] = "Stick (E:)";
    EXPECT_STREQ(disk.GetDescription(), "Vendor Disk");
    EXPECT_STREQ(usb.GetDescription(), "USB Mass Storage Device");
    EXPECT_STREQ(drive.GetDescription(), "Stick (E:)");

    fake.displayNames['E'] = "Other (E:)";
    const int before = fake.displayNameQueries;
    EXPECT_STREQ(drive.GetDescription(), "Stick (E:)");
    EXPECT_EQ(fake.displayNameQueries, before);
    drive.DropDescription();
    EXPECT_STREQ(drive.GetDescription(), "Other (E:)");
}

TEST_F(DeviceObjectTest, ChangedOnlyFromCurrent) {
    struct Row {
        std::uint16_t from, to;
    } rows[] = {{devstate::kCurrent, devstate::kChanged},
                {devstate::kNew, devstate::kNew},
                {devstate::kChanged, devstate::kChanged},
                {devstate::kRemoved, devstate::kRemoved}};
    fake.displayNames['F'] = "F";
    for (const Row& r : rows) {
        clWinDrive d('F');
        ASSERT_NE(d.GetDescription(), nullptr);
        d.SetState(r.from);
        const int before = fake.displayNameQueries;
        d.MarkChanged();
        EXPECT_EQ(d.State(), r.to) << r.from;
        d.GetDescription();
        EXPECT_EQ(fake.displayNameQueries, before + 1) << r.from; // description dropped
    }
}

TEST_F(DeviceObjectTest, PathsAndMountPoints) {
    clNtVolume vol;
    EXPECT_EQ(vol.GetPath(), nullptr);
    EXPECT_TRUE(vol.MountPoints().empty());
    vol.SetPath("/dev/sdb1");
    fake.mountPoints["/dev/sdb1"] = {"/media/stick", "/mnt"};
    EXPECT_STREQ(vol.GetPath(), "/dev/sdb1");
    EXPECT_EQ(vol.MountPoints(), (std::vector<std::string>{"/media/stick", "/mnt"}));
    EXPECT_STREQ(disk.GetPath(), "DISK0");
    clWinDrive drive('C');
    EXPECT_EQ(drive.GetPath(), nullptr);
    EXPECT_EQ(drive.GetDeviceNumber(), -1);

    EXPECT_EQ(StripDevicePrefix("\\\\?\\usb#x"), "usb#x");
    EXPECT_EQ(StripDevicePrefix("\\\\.\\PhysicalDrive0"), "PhysicalDrive0");
    EXPECT_EQ(StripDevicePrefix("\\\\x\\y"), "\\\\x\\y");
    EXPECT_EQ(StripDevicePrefix("/dev/sda"), "/dev/sda");
    EXPECT_TRUE(PathEqualsNoCase("Ide#Disk", "IDE#DISK"));
    EXPECT_FALSE(PathEqualsNoCase("IDE#DISK", "IDE#DIS"));
}

} // namespace
} // namespace tvd
