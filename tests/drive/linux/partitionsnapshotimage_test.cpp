// Snapshots of image files partitioned by sfdisk and sgdisk, checked against the tools' own
// listing of partitions and free space on the same files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "drive/fundiskpartitionsutil.h"
#include "storage/linux/linuxtesttools.h"
#include "storage/partitiontableutil.h"

namespace tvd {
namespace {

using test::RunTool;

constexpr std::uint64_t kSs = 512;

struct Area {
    std::uint64_t first = 0, last = 0; // sectors, inclusive
};

// Lines of three or more numbers at their start ("Start End Sectors ..." of sfdisk -F).
std::vector<Area> FreeAreas(const std::string& text) {
    std::vector<Area> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream l(line);
        std::uint64_t first = 0, last = 0, sectors = 0;
        if (l >> first >> last >> sectors) out.push_back({first, last});
    }
    return out;
}

class PartitionSnapshotImage : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"sfdisk", "sgdisk", "truncate"})
            if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
        ASSERT_FALSE(tmp_.Path().empty());
    }

    std::string Image(const std::string& name, const char* size) {
        const std::string path = tmp_ / name;
        EXPECT_EQ(RunTool("truncate -s " + std::string(size) + " '" + path + "'").status, 0);
        return path;
    }

    static PartitionSnapshot Snapshot(const std::string& path) {
        PartitionSnapshot s;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(fd, 0);
        if (fd < 0) return s;
        const std::uint64_t size = std::uint64_t(::lseek(fd, 0, SEEK_END));
        const SectorReadFn read = [fd](std::uint64_t offset, MutableByteView data) {
            const ssize_t n = ::pread(fd, data.data(), data.size(), off_t(offset));
            return n == ssize_t(data.size()) ? err::kSuccess : err::kReadFault;
        };
        DriveLayout layout;
        EXPECT_EQ(ReadDriveLayout(read, kSs, size, layout), err::kSuccess);
        ::close(fd);
        BuildPartitionSnapshot(&layout, size, NoVolumeLookup(), s);
        return s;
    }

    // Every gap is free space in the tool's view, and every free area the tool reports of
    // 10 MiB or more is shown, give or take the alignment and EBR room the tool holds back.
    static void ExpectGapsMatch(const PartitionSnapshot& s, const std::vector<Area>& used,
                                const std::vector<Area>& free) {
        for (const auto& e : s.entries) {
            if (e.kind != partkind::kGap) continue;
            SCOPED_TRACE("gap at sector " + std::to_string(e.start / kSs));
            EXPECT_GE(e.length, kMinShownGapBytes);
            for (const Area& u : used)
                EXPECT_TRUE(e.start + e.length <= u.first * kSs || e.start > u.last * kSs);
        }
        for (const Area& f : free) {
            const std::uint64_t begin = f.first * kSs, end = (f.last + 1) * kSs;
            if (end - begin < 10 * kMiB) continue;
            SCOPED_TRACE("free area at sector " + std::to_string(f.first));
            std::uint64_t covered = 0;
            for (const auto& e : s.entries)
                if (e.kind == partkind::kGap)
                    covered +=
                        std::max<std::int64_t>(0, std::int64_t(std::min(end, e.start + e.length)) -
                                                      std::int64_t(std::max(begin, e.start)));
            EXPECT_GE(covered + 2 * kMiB, end - begin);
        }
    }

    static constexpr std::uint64_t kMiB = 1ull << 20;
    test::TempDir tmp_;
};

TEST_F(PartitionSnapshotImage, MbrWithLogicalPartitionsAgreesWithSfdisk) {
    const std::string img = Image("mbr.img", "500M");
    ASSERT_EQ(RunTool("sfdisk -q '" + img +
                      "' >/dev/null 2>&1 <<'EOF'\n"
                      "label: dos\n"
                      "start=2048, size=40960, type=7, bootable\n"
                      "start=43008, size=20480, type=83\n"
                      "start=204800, size=614400, type=f\n"
                      "start=206848, size=40960, type=c\n"
                      "start=614400, size=61440, type=83\n"
                      "EOF\n")
                  .status,
              0);
    const auto dump = RunTool("sfdisk -d '" + img + "' 2>/dev/null");
    ASSERT_EQ(dump.status, 0);
    const test::SfdiskTable table = test::ParseSfdiskDump(dump.output, img);
    const auto freeText = RunTool("sfdisk -F '" + img + "' 2>/dev/null");
    ASSERT_EQ(freeText.status, 0);

    const PartitionSnapshot s = Snapshot(img);
    std::vector<const PartitionSnapshotEntry*> parts;
    for (const auto& e : s.entries)
        if (e.kind != partkind::kGap) parts.push_back(&e);
    std::vector<Area> used;
    std::size_t next = 0;
    for (const test::SfdiskPart& p : table.parts) {
        if (p.type == "f" || p.type == "5") continue; // the container is not shown
        used.push_back({p.start, p.start + p.size - 1});
        SCOPED_TRACE("partition " + std::to_string(p.number));
        ASSERT_LT(next, parts.size());
        const PartitionSnapshotEntry& e = *parts[next++];
        EXPECT_EQ(e.partitionNumber, std::int32_t(p.number));
        EXPECT_EQ(e.start, p.start * kSs);
        EXPECT_EQ(e.length, p.size * kSs);
        EXPECT_EQ(e.kind, p.bootable ? partkind::kBoot : partkind::kOrdinary);
    }
    EXPECT_EQ(next, parts.size());
    EXPECT_EQ(next, 4u);
    ExpectGapsMatch(s, used, FreeAreas(freeText.output));
}

// `sgdisk -p` partition lines: number, first and last sector, size, unit, code, name.
struct SgdiskPart {
    std::uint32_t number = 0;
    Area area;
    std::string code;
};

TEST_F(PartitionSnapshotImage, GptWithWindowsPartitionsAgreesWithSgdisk) {
    const std::string img = Image("gpt.img", "400M");
    ASSERT_EQ(RunTool("sgdisk -o -n 1:2048:+100M -t 1:ef00 -n 2:0:+16M -t 2:0c01 "
                      "-n 3:0:+120M -t 3:0700 -n 4:567296:+50M -t 4:2700 '" +
                      img + "' >/dev/null 2>&1")
                  .status,
              0);
    const auto listing = RunTool("sgdisk -p '" + img + "' 2>/dev/null");
    ASSERT_EQ(listing.status, 0);
    std::vector<SgdiskPart> table;
    unsigned long long firstUsable = 0, lastUsable = 0, freeSectors = 0;
    std::istringstream in(listing.output);
    for (std::string line; std::getline(in, line);) {
        std::istringstream l(line);
        SgdiskPart p;
        std::string size, unit;
        if (std::sscanf(line.c_str(), "First usable sector is %llu, last usable sector is %llu",
                        &firstUsable, &lastUsable) == 2 ||
            std::sscanf(line.c_str(), "Total free space is %llu", &freeSectors) == 1)
            continue;
        if (l >> p.number >> p.area.first >> p.area.last >> size >> unit >> p.code)
            table.push_back(p);
    }
    ASSERT_EQ(table.size(), 4u);
    ASSERT_GT(lastUsable, firstUsable);

    const PartitionSnapshot s = Snapshot(img);
    std::vector<const PartitionSnapshotEntry*> parts;
    std::uint64_t gapBytes = 0;
    for (const auto& e : s.entries) {
        if (e.kind == partkind::kGap)
            gapBytes += e.length;
        else
            parts.push_back(&e);
    }
    ASSERT_EQ(parts.size(), table.size());
    std::vector<Area> used;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const SgdiskPart& p = table[i];
        SCOPED_TRACE("partition " + std::to_string(p.number));
        used.push_back(p.area);
        EXPECT_EQ(parts[i]->partitionNumber, std::int32_t(p.number));
        EXPECT_EQ(parts[i]->start, p.area.first * kSs);
        EXPECT_EQ(parts[i]->length, (p.area.last - p.area.first + 1) * kSs);
        EXPECT_EQ(parts[i]->kind, p.code == "EF00" ? partkind::kEfi : partkind::kOrdinary);
    }
    // All free space is shown but the alignment room before the first partition.
    EXPECT_EQ(gapBytes / kSs, freeSectors - (table.front().area.first - firstUsable));
    EXPECT_EQ(s.entries.back().start + s.entries.back().length, (lastUsable + 1) * kSs);
    const auto freeText = RunTool("sfdisk -F '" + img + "' 2>/dev/null");
    ASSERT_EQ(freeText.status, 0);
    ExpectGapsMatch(s, used, FreeAreas(freeText.output));
}

} // namespace
} // namespace tvd
