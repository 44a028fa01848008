// The Linux volume lookup on a sysfs tree, a mount table, a udev database and mounted folders
// that the test builds.
#include "drive/linux/linuxvolumes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/textconvutil.h"
#include "storage/linux/linuxtesttools.h"

namespace tvd::linuxsys {
namespace {

namespace fs = std::filesystem;

void WriteFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}

class LinuxVolumes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(tmp_.Path().empty());
        disk_ = tmp_ / "sys/sda";
        WriteFile(disk_ + "/dev", "8:0\n");
        WriteFile(disk_ + "/queue/rotational", "1\n");
        // Partition, start (512-byte units), device number.
        for (const auto& [name, number, start, dev] :
             {std::tuple{"sda1", "1", "2048", "8:1"}, std::tuple{"sda2", "2", "206848", "8:2"},
              std::tuple{"sda3", "3", "1054720", "8:3"}}) {
            WriteFile(disk_ + "/" + name + "/partition", std::string(number) + "\n");
            WriteFile(disk_ + "/" + name + "/start", std::string(start) + "\n");
            WriteFile(disk_ + "/" + name + "/dev", std::string(dev) + "\n");
        }
        WriteFile(tmp_ / "udev/b8:2", "S:disk/by-label/Windows\n"
                                      "E:ID_FS_LABEL_ENC=Win\\x20dows\n"
                                      "E:ID_FS_LABEL=Win dows\n"
                                      "E:ID_FS_TYPE=ntfs\n");
        winRoot_ = tmp_ / "mnt/win dows";
        fs::create_directories(winRoot_);
        fs::create_directories(tmp_ / "boot/efi");
    }

    LinuxVolumeLookup Lookup() const {
        // The space in the mount point is escaped as the kernel writes it.
        std::string winPoint = winRoot_;
        winPoint.replace(winPoint.rfind(' '), 1, "\\040");
        const std::string mountinfo =
            "30 1 8:1 / " + tmp_ / "boot/efi" + " rw - vfat /dev/sda1 rw\n" + //
            "31 1 8:2 / " + winPoint + " rw shared:5 - ntfs3 /dev/sda2 rw\n";
        return LinuxVolumeLookup(disk_, ParseMountInfo(mountinfo), tmp_ / "udev", "/dev");
    }

    test::TempDir tmp_;
    std::string disk_, winRoot_;
};

TEST_F(LinuxVolumes, PartitionsAreFoundByTheirStart) {
    const LinuxVolumeLookup lookup = Lookup();
    struct Case {
        std::uint64_t offset;
        bool found;
        std::string node, root, label, fileSystem;
    };
    const Case cases[] = {
        {2048 * 512, true, "/dev/sda1", tmp_ / "boot/efi/", "", "vfat"}, // type from the mount
        {206848 * 512, true, "/dev/sda2", winRoot_ + "/", "Win dows", "ntfs"},
        {1054720 * 512, true, "/dev/sda3", "", "", ""}, // not mounted
        {0, false, "", "", "", ""},
        {2048 * 4096, false, "", "", "", ""}, // sysfs starts count 512-byte units
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        VolumeMatch v;
        ASSERT_EQ(lookup.Find(c.offset, v), c.found);
        if (!c.found) continue;
        EXPECT_EQ(Utf16ToUtf8(v.volumePath), c.node);
        EXPECT_EQ(Utf16ToUtf8(v.root), c.root);
        EXPECT_EQ(Utf16ToUtf8(v.label), c.label);
        EXPECT_EQ(Utf16ToUtf8(v.fileSystem), c.fileSystem);
        EXPECT_EQ(v.letter, 0);
    }
}

TEST_F(LinuxVolumes, WindowsFoldersAreFoundWhateverTheirCase) {
    WriteFile(winRoot_ + "/WINDOWS/system32/config/SYSTEM", "regf");
    const LinuxVolumeLookup lookup = Lookup();
    DriveLayout layout;
    layout.style = 0;
    for (const auto& [number, start, sectors] :
         {std::tuple{1u, 2048ull, 204800ull}, std::tuple{2u, 206848ull, 847872ull},
          std::tuple{3u, 1054720ull, 204800ull}}) {
        PartitionEntry p;
        p.number = number;
        p.startingOffset = start * 512;
        p.length = sectors * 512;
        p.mbrType = 0x07;
        layout.partitions.push_back(p);
    }
    PartitionSnapshot s;
    BuildPartitionSnapshot(&layout, 1259520ull * 512, lookup, s);
    ASSERT_EQ(s.entries.size(), 3u);
    EXPECT_EQ(s.entries[0].kind, partkind::kOrdinary);
    EXPECT_EQ(s.entries[1].kind, partkind::kWindows);
    EXPECT_EQ(s.entries[2].kind, partkind::kOrdinary);
    EXPECT_EQ(Utf16ToUtf8(s.entries[1].label), "Win dows");

    // A folder by the file's name, or a path that leaves the root, is no such file.
    fs::remove(winRoot_ + "/WINDOWS/system32/config/SYSTEM");
    fs::create_directories(winRoot_ + "/WINDOWS/system32/config/SYSTEM");
    EXPECT_FALSE(
        lookup.FileExists(Utf8ToUtf16(winRoot_ + "/"), u"Windows\\System32\\Config\\System"));
    WriteFile(tmp_ / "mnt/secret", "x");
    EXPECT_FALSE(lookup.FileExists(Utf8ToUtf16(winRoot_ + "/"), u"..\\secret"));
}

TEST_F(LinuxVolumes, DiskWithoutPartitionsIsItsOwnVolume) {
    const std::string disk = tmp_ / "sys/sdb";
    WriteFile(disk + "/dev", "8:16\n");
    const LinuxVolumeLookup lookup(
        disk, ParseMountInfo("40 1 8:16 / /media/stick rw - exfat /dev/sdb rw\n"), tmp_ / "udev",
        "/dev");
    VolumeMatch v;
    ASSERT_TRUE(lookup.Find(0, v));
    EXPECT_EQ(Utf16ToUtf8(v.volumePath), "/dev/sdb");
    EXPECT_EQ(Utf16ToUtf8(v.root), "/media/stick/");
    EXPECT_EQ(Utf16ToUtf8(v.fileSystem), "exfat");
}

TEST(UdevProperty, MatchesTheWholeKey) {
    const std::string record = "E:ID_FS_LABEL_ENC=a\\x20b\nE:ID_FS_LABEL=a b\nE:ID_FS_TYPE=\n";
    EXPECT_EQ(UdevProperty(record, "ID_FS_LABEL"), "a b");
    EXPECT_EQ(UdevProperty(record, "ID_FS_TYPE"), "");
    EXPECT_EQ(UdevProperty(record, "ID_FS"), "");
    EXPECT_EQ(UdevProperty("E:ID_FS_LABEL", "ID_FS_LABEL"), "");
}

} // namespace
} // namespace tvd::linuxsys
