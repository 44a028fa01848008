// The Linux back end on loop devices the tests create over their own image files: enumeration,
// volumes and their extents, layouts against sfdisk, mount points, sector access, TRIM, and the
// hot-plug monitor. Nothing here writes anywhere but to those images.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "storage/linux/linuxstorage.h"
#include "storage/linux/linuxsysfs.h"
#include "storage/linux/linuxtesttools.h"
#include "storage/partitiontableutil.h"

namespace tvd {
namespace {

using test::RunTool;

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

const PresentDevice* Find(const std::vector<PresentDevice>& devices, const std::string& path) {
    for (const PresentDevice& d : devices)
        if (d.interfacePath == path) return &d;
    return nullptr;
}

std::int64_t DeviceNumberOfNode(const std::string& node) {
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0) return -1;
    return (std::int64_t(major(st.st_rdev)) << 20) | minor(st.st_rdev);
}

template <class Pred> bool WaitUntil(Pred pred, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return pred();
}

class LinuxLoop : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
        if (::access("/dev/loop-control", F_OK) != 0)
            GTEST_SKIP() << "no /dev/loop-control: this system has no loop devices";
        for (const char* tool : {"sfdisk", "losetup", "partx", "truncate"})
            if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed (setup.sh)";
        ASSERT_FALSE(tmp_.Path().empty());
        storage_.SetIncludeLoop(true);
    }

    void TearDown() override {
        for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it)
            RunTool("umount '" + *it + "' 2>/dev/null");
        for (const std::string& loop : loops_)
            RunTool("losetup -d " + loop + " 2>/dev/null");
    }

    // An image file of `size` with the table of an sfdisk script (none when empty).
    std::string MakeImage(const std::string& name, const char* size, const std::string& script) {
        const std::string path = tmp_ / name;
        EXPECT_EQ(RunTool("truncate -s " + std::string(size) + " '" + path + "'").status, 0);
        if (!script.empty()) {
            EXPECT_EQ(
                RunTool("sfdisk -q '" + path + "' >/dev/null 2>&1 <<'EOF'\n" + script + "EOF\n")
                    .status,
                0);
        }
        return path;
    }

    // Binds an image to a free loop device; "" on failure.
    std::string Attach(const std::string& image, const std::string& options = "") {
        const auto r = RunTool("losetup --find --show " + options + " '" + image + "'");
        const std::string node = Trimmed(r.output);
        if (r.status != 0 || node.empty()) return {};
        loops_.push_back(node);
        return node;
    }

    void Detach(const std::string& node) {
        EXPECT_EQ(RunTool("losetup -d " + node).status, 0);
        loops_.erase(std::remove(loops_.begin(), loops_.end(), node), loops_.end());
    }

    // The partition nodes of a loop device. A kernel without partition-table parsers (this
    // sandbox's) leaves them to partx, which reads the table in user space.
    test::SfdiskTable ExposePartitions(const std::string& node) {
        const auto dump = RunTool("sfdisk -d " + node + " 2>/dev/null");
        test::SfdiskTable table = test::ParseSfdiskDump(dump.output, node);
        if (table.parts.empty()) return table;
        const std::string first = node + "p" + std::to_string(table.parts[0].number);
        if (!WaitUntil([&] { return ::access(first.c_str(), F_OK) == 0; }, 500))
            RunTool("partx -a " + node + " 2>/dev/null");
        for (const auto& p : table.parts) {
            const std::string part = node + "p" + std::to_string(p.number);
            EXPECT_TRUE(WaitUntil([&] { return ::access(part.c_str(), F_OK) == 0; })) << part;
        }
        return table;
    }

    test::TempDir tmp_;
    LinuxStorage storage_;
    std::vector<std::string> loops_, mounts_;
};

const char* kMbrScript = "label: dos\n"
                         "label-id: 0x0badcafe\n"
                         "start=2048, size=20480, type=83, bootable\n"
                         "start=22528, size=90112, type=5\n"
                         "start=24576, size=16384, type=c\n"
                         "start=43008, size=8192, type=83\n"
                         "start=53248, size=8192, type=7\n";

TEST_F(LinuxLoop, DiskVolumesExtentsAndLayout) {
    const std::string node = Attach(MakeImage("mbr.img", "64M", kMbrScript), "-P");
    ASSERT_FALSE(node.empty());
    const test::SfdiskTable table = ExposePartitions(node);
    ASSERT_EQ(table.parts.size(), 5u);
    const std::int64_t diskNumber = DeviceNumberOfNode(node);

    std::vector<PresentDevice> disks;
    ASSERT_EQ(storage_.EnumerateClass(DeviceClass::kDiskInterface, disks), err::kSuccess);
    const PresentDevice* disk = Find(disks, node);
    ASSERT_NE(disk, nullptr);
    EXPECT_TRUE(disk->started);
    EXPECT_TRUE(disk->hasInterface);
    EXPECT_NE(disk->devInst, 0u);
    std::vector<PresentDevice> again;
    ASSERT_EQ(storage_.EnumerateClass(DeviceClass::kDiskInterface, again), err::kSuccess);
    ASSERT_NE(Find(again, node), nullptr);
    EXPECT_EQ(Find(again, node)->devInst, disk->devInst);
    storage_.SetIncludeLoop(false);
    ASSERT_EQ(storage_.EnumerateClass(DeviceClass::kDiskInterface, again), err::kSuccess);
    EXPECT_EQ(Find(again, node), nullptr);
    ASSERT_EQ(storage_.EnumerateClass(DeviceClass::kVolumeInterface, again), err::kSuccess);
    EXPECT_EQ(Find(again, node + "p1"), nullptr);
    storage_.SetIncludeLoop(true);

    DeviceHandle h;
    ASSERT_EQ(storage_.Open(node, h), err::kSuccess);
    EXPECT_TRUE(h.Writable());
    StorageDeviceNumber number;
    ASSERT_EQ(storage_.GetDeviceNumber(h, number), err::kSuccess);
    EXPECT_EQ(number.deviceType, filedevice::kDisk);
    EXPECT_EQ(number.deviceNumber, diskNumber);
    EXPECT_EQ(number.partitionNumber, 0u);
    StorageDeviceDescriptor desc;
    ASSERT_EQ(storage_.QueryDeviceDescriptor(h, desc), err::kSuccess);
    EXPECT_EQ(desc.busType, bustype::kFileBackedVirtual);
    EXPECT_TRUE(desc.raw.empty());
    std::uint64_t length = 0;
    ASSERT_EQ(storage_.GetLength(h, length), err::kSuccess);
    EXPECT_EQ(length, 64ull << 20);
    DiskGeometry geo;
    ASSERT_EQ(storage_.GetGeometry(h, geo), err::kSuccess);
    EXPECT_EQ(geo.bytesPerSector, 512u);
    EXPECT_EQ(geo.cylinders, std::int64_t((64ull << 20) / (255 * 63 * 512)));
    ScsiAddress address;
    EXPECT_EQ(storage_.GetScsiAddress(h, address), err::kNotSupported);
    DriveLayout layout;
    ASSERT_EQ(storage_.GetDriveLayout(h, layout), err::kSuccess);
    test::ExpectLayoutMatches(layout, table, 512);
    std::vector<DiskExtent> extents;
    EXPECT_EQ(storage_.GetVolumeExtents(h, extents), err::kInvalidFunction); // a disk
    PartitionEntry whole;
    ASSERT_EQ(storage_.GetPartitionInfo(h, whole), err::kSuccess);
    EXPECT_EQ(whole.style, layoutstyle::kMbr);
    EXPECT_EQ(whole.length, 64ull << 20);

    std::vector<PresentDevice> volumes;
    ASSERT_EQ(storage_.EnumerateClass(DeviceClass::kVolumeInterface, volumes), err::kSuccess);
    for (const test::SfdiskPart& p : table.parts) {
        const std::string path = node + "p" + std::to_string(p.number);
        SCOPED_TRACE(path);
        const PresentDevice* v = Find(volumes, path);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(storage_.ParentOf(v->devInst), disk->devInst);
        if (p.type == "5") continue; // the container's node covers only its EBR
        DeviceHandle vh;
        ASSERT_EQ(storage_.Open(path, vh), err::kSuccess);
        ASSERT_EQ(storage_.GetVolumeExtents(vh, extents), err::kSuccess);
        ASSERT_EQ(extents.size(), 1u);
        EXPECT_EQ(extents[0].diskNumber, diskNumber);
        EXPECT_EQ(extents[0].startingOffset, p.start * 512);
        EXPECT_EQ(extents[0].length, p.size * 512);
        StorageDeviceNumber vn;
        ASSERT_EQ(storage_.GetDeviceNumber(vh, vn), err::kSuccess);
        EXPECT_EQ(vn.deviceNumber, diskNumber);
        EXPECT_EQ(vn.partitionNumber, p.number);
        PartitionEntry info;
        ASSERT_EQ(storage_.GetPartitionInfo(vh, info), err::kSuccess);
        EXPECT_EQ(info.style, layoutstyle::kMbr);
        EXPECT_EQ(info.number, p.number);
        EXPECT_EQ(info.startingOffset, p.start * 512);
        EXPECT_EQ(info.mbrType, std::stoul(p.type, nullptr, 16));
        EXPECT_EQ(info.bootIndicator, p.bootable);
    }
}

TEST_F(LinuxLoop, GptOnFourKilobyteSectors) {
    const std::string node = Attach(MakeImage("gpt4k.img", "64M", ""), "--sector-size 4096");
    ASSERT_FALSE(node.empty());
    // sfdisk writes the table through the device, so it uses the device's sector size.
    ASSERT_EQ(RunTool("sfdisk -q " + node +
                      " >/dev/null 2>&1 <<'EOF'\n"
                      "label: gpt\n"
                      "size=2048, type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B, name=\"EFI system\"\n"
                      "size=4096, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, name=\"Basic data\"\n"
                      "size=1024, type=DE94BBA4-06D1-4D40-A16A-BFD50179D6AC, name=\"Recovery\"\n"
                      "EOF\n")
                  .status,
              0);
    RunTool("partx -d " + node + " 2>/dev/null; partx -a " + node + " 2>/dev/null");
    const test::SfdiskTable table = ExposePartitions(node);
    ASSERT_EQ(table.parts.size(), 3u);
    ASSERT_EQ(table.header.count("sector-size"), 1u);
    ASSERT_EQ(table.header.at("sector-size"), "4096");

    DeviceHandle h;
    ASSERT_EQ(storage_.Open(node, h), err::kSuccess);
    DiskGeometry geo;
    ASSERT_EQ(storage_.GetGeometry(h, geo), err::kSuccess);
    EXPECT_EQ(geo.bytesPerSector, 4096u);
    DriveLayout layout;
    ASSERT_EQ(storage_.GetDriveLayout(h, layout), err::kSuccess);
    test::ExpectLayoutMatches(layout, table, 4096);

    // sysfs counts partitions in 512-byte units whatever the sector size.
    const test::SfdiskPart& basic = table.parts[1];
    DeviceHandle vh;
    ASSERT_EQ(storage_.Open(node + "p" + std::to_string(basic.number), vh), err::kSuccess);
    std::vector<DiskExtent> extents;
    ASSERT_EQ(storage_.GetVolumeExtents(vh, extents), err::kSuccess);
    ASSERT_EQ(extents.size(), 1u);
    EXPECT_EQ(extents[0].startingOffset, basic.start * 4096);
    EXPECT_EQ(extents[0].length, basic.size * 4096);
    PartitionEntry info;
    ASSERT_EQ(storage_.GetPartitionInfo(vh, info), err::kSuccess);
    EXPECT_EQ(info.style, layoutstyle::kGpt);
    EXPECT_EQ(info.gptName, u"Basic data");
    EXPECT_EQ(test::GuidBytesText(info.gptId), basic.uuid);
}

// The read-only open bypasses the cache, where the block layer refuses buffers that are not
// aligned; the table must still be read, on 512 and on 4096-byte sectors.
TEST_F(LinuxLoop, LayoutThroughTheUncachedReadOpen) {
    struct Case {
        const char* name;
        const char* options;
        std::uint32_t sector;
        const char* script;
    };
    for (const Case& c : {Case{"mbr512.img", "", 512, kMbrScript},
                          Case{"gpt4k.img", "--sector-size 4096", 4096,
                               "label: gpt\nsize=2048, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, "
                               "name=\"Data\"\n"}}) {
        SCOPED_TRACE(c.name);
        const std::string node = Attach(MakeImage(c.name, "64M", ""), c.options);
        ASSERT_FALSE(node.empty());
        ASSERT_EQ(RunTool("sfdisk -q " + node + " >/dev/null 2>&1 <<'EOF'\n" +
                          std::string(c.script) + "EOF\n")
                      .status,
                  0);
        RunTool("partx -d " + node + " 2>/dev/null; partx -a " + node + " 2>/dev/null");
        const test::SfdiskTable table = ExposePartitions(node);
        ASSERT_FALSE(table.parts.empty());
        DeviceHandle h;
        ASSERT_EQ(storage_.OpenRead(node, h), err::kSuccess);
        DriveLayout layout;
        ASSERT_EQ(storage_.GetDriveLayout(h, layout), err::kSuccess);
        test::ExpectLayoutMatches(layout, table, c.sector);
        h.Close();
        Detach(node);
    }
}

TEST_F(LinuxLoop, MountPointsOfAMountedPartition) {
    if (!test::HaveTool("mount")) GTEST_SKIP() << "mount is not installed";
    const std::string node = Attach(MakeImage("fs.img", "64M", kMbrScript), "-P");
    ASSERT_FALSE(node.empty());
    ExposePartitions(node);
    const std::string part = node + "p5";
    // FAT when the kernel has it; this sandbox's kernel has only ext2/3/4 among the usual ones.
    std::ifstream fsList("/proc/filesystems");
    const std::string filesystems((std::istreambuf_iterator<char>(fsList)), {});
    std::string mkfs;
    if (filesystems.find("vfat") != std::string::npos && test::HaveTool("mkfs.fat"))
        mkfs = "mkfs.fat ";
    else if (filesystems.find("ext2") != std::string::npos && test::HaveTool("mkfs.ext2"))
        mkfs = "mkfs.ext2 -q -F ";
    else
        GTEST_SKIP() << "neither vfat nor ext2 can be mounted here";
    ASSERT_EQ(RunTool(mkfs + part + " >/dev/null 2>&1").status, 0);
    // A space and a backslash: mountinfo escapes both.
    const std::string dir = tmp_ / "mount point\\x";
    ASSERT_EQ(RunTool("mkdir -p '" + dir + "'").status, 0);
    ASSERT_EQ(RunTool("mount " + part + " '" + dir + "'").status, 0);
    mounts_.push_back(dir);

    EXPECT_EQ(storage_.MountPoints(part), std::vector<std::string>{dir});
    EXPECT_TRUE(storage_.MountPoints(node + "p1").empty());
    EXPECT_TRUE(storage_.MountPoints("").empty());
    EXPECT_TRUE(storage_.MountPoints(tmp_.Path()).empty()); // not a block device

    ASSERT_EQ(RunTool("umount '" + dir + "'").status, 0);
    mounts_.clear();
    EXPECT_TRUE(storage_.MountPoints(part).empty());
}

TEST_F(LinuxLoop, SectorAccessAndTrim) {
    const std::string image = MakeImage("rw.img", "16M", "");
    const std::string node = Attach(image);
    ASSERT_FALSE(node.empty());
    std::vector<std::uint8_t> pattern(12288);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = std::uint8_t(i * 7 + 1);
    const std::uint64_t at = (1ull << 20) + 4096;
    {
        DeviceHandle h;
        ASSERT_EQ(storage_.Open(node, h), err::kSuccess);
        bool writable = false;
        ASSERT_EQ(storage_.IsWritable(h, writable), err::kSuccess);
        EXPECT_TRUE(writable);
        ASSERT_EQ(storage_.WriteAt(h, at, pattern), err::kSuccess);
        std::vector<std::uint8_t> back(pattern.size());
        ASSERT_EQ(storage_.ReadAt(h, at, back), err::kSuccess);
        EXPECT_EQ(back, pattern);
        // A transfer that runs past the end is an error, not a short success.
        std::vector<std::uint8_t> tail(8192);
        EXPECT_EQ(storage_.ReadAt(h, (16ull << 20) - 4096, tail), err::kHandleEof);
        EXPECT_EQ(storage_.ReadAt(h, 0, MutableByteView()), err::kInvalidParameter);
        EXPECT_EQ(storage_.ReadAt(h, ~0ull - 10, tail), err::kInvalidParameter);
    }
    // The last close flushes the device: the image file holds the bytes.
    {
        std::ifstream f(image, std::ios::binary);
        f.seekg(std::streamoff(at));
        std::vector<std::uint8_t> onFile(pattern.size());
        f.read(reinterpret_cast<char*>(onFile.data()), std::streamsize(onFile.size()));
        EXPECT_EQ(onFile, pattern);
    }
    DeviceHandle h;
    ASSERT_EQ(storage_.Open(node, h), err::kSuccess);
    bool trim = false;
    ASSERT_EQ(storage_.QueryTrimEnabled(h, trim), err::kSuccess);
    const ErrorCode trimmed = storage_.TrimRange(h, at, 8192);
    if (trim) {
        ASSERT_EQ(trimmed, err::kSuccess);
        std::vector<std::uint8_t> back(pattern.size());
        ASSERT_EQ(storage_.ReadAt(h, at, back), err::kSuccess);
        EXPECT_EQ(std::vector<std::uint8_t>(back.begin(), back.begin() + 8192),
                  std::vector<std::uint8_t>(8192, 0));
        EXPECT_EQ(std::vector<std::uint8_t>(back.begin() + 8192, back.end()),
                  std::vector<std::uint8_t>(pattern.begin() + 8192, pattern.end()));
    } else {
        EXPECT_NE(trimmed, err::kSuccess);
    }
    EXPECT_EQ(storage_.TrimRange(h, at, 0), err::kInvalidParameter);
}

TEST_F(LinuxLoop, ReadOnlyDeviceRefusesWrites) {
    const std::string node = Attach(MakeImage("ro.img", "8M", ""), "--read-only");
    ASSERT_FALSE(node.empty());
    DeviceHandle h;
    // Linux, like Windows, opens a write-protected disk for writing and refuses the writes.
    ASSERT_EQ(storage_.Open(node, h), err::kSuccess);
    bool writable = true;
    ASSERT_EQ(storage_.IsWritable(h, writable), err::kSuccess);
    EXPECT_FALSE(writable);
    const std::vector<std::uint8_t> data(512, 0xAA);
    const ErrorCode refused = h.Writable() ? linuxsys::kWriteProtect : err::kAccessDenied;
    EXPECT_EQ(storage_.WriteAt(h, 0, data), refused);
    EXPECT_EQ(storage_.TrimRange(h, 0, 4096), refused);
    std::vector<std::uint8_t> back(512);
    EXPECT_EQ(storage_.ReadAt(h, 0, back), err::kSuccess);
    EXPECT_EQ(back, std::vector<std::uint8_t>(512, 0));
}

TEST_F(LinuxLoop, MonitorSeesBindingAndUnbinding) {
    void* token = nullptr;
    const ErrorCode reg =
        storage_.RegisterNotifications(nullptr, DeviceClass::kDiskInterface, token);
    if (reg != err::kSuccess) GTEST_SKIP() << "no uevent socket here (error " << reg << ")";
    ASSERT_NE(token, nullptr);
    std::vector<DeviceEvent> events;
    storage_.PollEvents(events);
    events.clear();
    auto seen = [&](DeviceEvent::Kind kind, const std::string& path, std::uint32_t devInst) {
        storage_.PollEvents(events);
        for (const DeviceEvent& e : events)
            if (e.kind == kind &&
                (kind == DeviceEvent::Kind::kNodeRemoved ? e.devInst == devInst : e.path == path))
                return true;
        return false;
    };

    const std::string node = Attach(MakeImage("hotplug.img", "8M", ""));
    ASSERT_FALSE(node.empty());
    EXPECT_TRUE(WaitUntil([&] { return seen(DeviceEvent::Kind::kInterfaceArrival, node, 0); }))
        << "no arrival of " << node;
    std::vector<PresentDevice> disks;
    ASSERT_EQ(storage_.EnumerateClass(DeviceClass::kDiskInterface, disks), err::kSuccess);
    ASSERT_NE(Find(disks, node), nullptr);
    const std::uint32_t devInst = Find(disks, node)->devInst;

    events.clear();
    Detach(node);
    EXPECT_TRUE(WaitUntil([&] { return seen(DeviceEvent::Kind::kInterfaceRemoved, node, 0); }))
        << "no removal of " << node;
    EXPECT_TRUE(seen(DeviceEvent::Kind::kNodeRemoved, "", devInst));
    ASSERT_EQ(storage_.EnumerateClass(DeviceClass::kDiskInterface, disks), err::kSuccess);
    EXPECT_EQ(Find(disks, node), nullptr);
    storage_.UnregisterNotifications(token);
}

} // namespace
} // namespace tvd
