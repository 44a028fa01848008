// The partition-table reader against image files written by sfdisk and sgdisk, checked against
// sfdisk's own reading of the same files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "storage/linux/linuxtesttools.h"
#include "storage/partitiontableutil.h"

namespace tvd {
namespace {

using test::RunTool;

class PartitionTools : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"sfdisk", "sgdisk", "truncate"})
            if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed (setup.sh)";
        ASSERT_FALSE(tmp_.Path().empty());
    }

    std::string Image(const std::string& name, const char* size) {
        const std::string path = tmp_ / name;
        EXPECT_EQ(RunTool("truncate -s " + std::string(size) + " '" + path + "'").status, 0);
        return path;
    }

    static ErrorCode ReadImage(const std::string& path, std::uint32_t ss, DriveLayout& layout) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return err::kFileNotFound;
        const off_t size = ::lseek(fd, 0, SEEK_END);
        const SectorReadFn read = [fd](std::uint64_t offset, MutableByteView data) {
            const ssize_t n = ::pread(fd, data.data(), data.size(), off_t(offset));
            return n == ssize_t(data.size()) ? err::kSuccess : err::kReadFault;
        };
        const ErrorCode e = ReadDriveLayout(read, ss, std::uint64_t(size), layout);
        ::close(fd);
        return e;
    }

    static test::SfdiskTable Dump(const std::string& path) {
        const auto r = RunTool("sfdisk -d '" + path + "' 2>/dev/null");
        EXPECT_EQ(r.status, 0) << r.output;
        return test::ParseSfdiskDump(r.output, path);
    }

    test::TempDir tmp_;
};

TEST_F(PartitionTools, MbrWithLogicalPartitionsFromSfdisk) {
    const std::string img = Image("mbr.img", "200M");
    const auto r = RunTool("sfdisk -q '" + img +
                           "' >/dev/null 2>&1 <<'EOF'\n"
                           "label: dos\n"
                           "label-id: 0x5eed1234\n"
                           "start=2048, size=40960, type=7, bootable\n"
                           "start=43008, size=20480, type=83\n"
                           "start=65536, size=300000, type=f\n"
                           "start=67584, size=40960, type=c\n"
                           "start=110592, size=61440, type=83\n"
                           "start=174080, size=20480, type=82\n"
                           "start=196608, size=100000, type=7\n"
                           "EOF\n");
    ASSERT_EQ(r.status, 0);
    const test::SfdiskTable table = Dump(img);
    ASSERT_EQ(table.parts.size(), 7u); // three primaries, four logical partitions
    DriveLayout layout;
    ASSERT_EQ(ReadImage(img, 512, layout), err::kSuccess);
    test::ExpectLayoutMatches(layout, table, 512);
    EXPECT_EQ(layout.partitions.size(), 4u + 4 * 4);
}

TEST_F(PartitionTools, GptWithWindowsPartitionTypesFromSgdisk) {
    const std::string img = Image("gpt.img", "300M");
    const auto r = RunTool("sgdisk -o -n 1:2048:+100M -t 1:ef00 -c 1:'EFI system partition' "
                           "-n 2:0:+16M -t 2:0c01 -c 2:'Microsoft reserved partition' "
                           "-n 3:0:+120M -t 3:0700 -c 3:'Basic data' "
                           "-n 4:0:0 -t 4:2700 -c 4:'Recovery' -A 4:set:0 '" +
                           img + "' >/dev/null 2>&1");
    ASSERT_EQ(r.status, 0);
    const test::SfdiskTable table = Dump(img);
    ASSERT_EQ(table.parts.size(), 4u);
    DriveLayout layout;
    ASSERT_EQ(ReadImage(img, 512, layout), err::kSuccess);
    test::ExpectLayoutMatches(layout, table, 512);
    EXPECT_EQ(layout.gptMaxPartitionCount, 128u);
    ASSERT_EQ(layout.partitions.size(), 4u);
    EXPECT_EQ(layout.partitions[3].gptAttributes, 1u); // "required partition", set by sgdisk

    // The primary header wiped: sgdisk's backup at the end of the image gives the same table.
    ASSERT_EQ(
        RunTool("dd if=/dev/zero of='" + img + "' bs=512 seek=1 count=1 conv=notrunc status=none")
            .status,
        0);
    DriveLayout fromBackup;
    ASSERT_EQ(ReadImage(img, 512, fromBackup), err::kSuccess);
    test::ExpectLayoutMatches(fromBackup, table, 512);
}

TEST_F(PartitionTools, GptFromSfdiskWithManyEntriesAndLongNames) {
    const std::string img = Image("gpt2.img", "64M");
    std::string script = "label: gpt\ntable-length: 256\n";
    for (int i = 0; i < 20; ++i)
        script += "size=2048, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4, name=\"" +
                  std::string("partition number ") + std::to_string(i + 1) +
                  " with a long name\"\n";
    ASSERT_EQ(
        RunTool("sfdisk -q '" + img + "' >/dev/null 2>&1 <<'EOF'\n" + script + "EOF\n").status, 0);
    const test::SfdiskTable table = Dump(img);
    ASSERT_EQ(table.parts.size(), 20u);
    DriveLayout layout;
    ASSERT_EQ(ReadImage(img, 512, layout), err::kSuccess);
    test::ExpectLayoutMatches(layout, table, 512);
    EXPECT_EQ(layout.gptMaxPartitionCount, 256u);
}

} // namespace
} // namespace tvd
