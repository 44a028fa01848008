// The records handed to the system's layout requests must describe the same table that the
// portable writer puts into sectors: both are checked against the partition-table reader.
#include <gtest/gtest.h>

#include <cstring>

#include "clone/clonelayoututil.h"
#include "storage/ntstoragepropertyutil.h"
#include "storage/partitiontableutil.h"

namespace tvd {
namespace {

constexpr std::uint64_t kMiB = 1ull << 20;

std::vector<LayoutPart> Parts(std::uint32_t count, std::uint32_t bps, bool gpt) {
    std::vector<LayoutPart> out;
    for (std::uint32_t i = 0; i < count; ++i) {
        LayoutPart l;
        l.entry.style = gpt ? layoutstyle::kGpt : layoutstyle::kMbr;
        l.entry.mbrType = i == 0 ? 0x07 : 0x83;
        l.entry.bootIndicator = i == 0;
        l.entry.number = i + 1;
        l.entry.gptType[0] = std::uint8_t(0xA0 + i);
        l.entry.gptAttributes = i == 1 ? 0x8000000000000001ull : 0;
        l.entry.gptName = i == 0 ? u"Basic data partition" : u"";
        l.sourceStart = (1 + 11 * i) * kMiB / bps;
        l.sourceSize = 10 * kMiB / bps;
        l.neededBytes = 10 * kMiB;
        out.push_back(l);
    }
    return out;
}

using Disk = std::vector<std::uint8_t>;

DriveLayout ReadDisk(const Disk& disk, std::uint32_t bps) {
    DriveLayout read;
    EXPECT_EQ(ReadDriveLayout(
                  [&](std::uint64_t off, MutableByteView d) {
                      if (off > disk.size() || d.size() > disk.size() - off) return ErrorCode(38);
                      std::memcpy(d.data(), &disk[off], d.size());
                      return ErrorCode(0);
                  },
                  bps, disk.size(), read),
              0u);
    return read;
}

// One primary, then an extended container with logical partitions: the records keep the MBR
// list's order in groups of four, and their partitions are those of the sectors the portable
// writer builds.
TEST(CloneSystemLayout, MbrRecordsMatchTheSectorsOfTheSameList) {
    for (std::uint32_t parts : {2u, 5u}) {
        for (std::uint32_t bps : {512u, 4096u}) {
            SCOPED_TRACE(testing::Message() << parts << " partitions, " << bps);
            const std::uint64_t n = 200 * kMiB / bps;
            LayoutPlan plan;
            ASSERT_TRUE(PlanParts(diskstyle::kMbr, false, bps, 100 * kMiB / bps, n,
                                  Parts(parts, bps, false), plan));
            const LayoutInfo list = BuildMbrList(plan);
            std::vector<PartitionEntry> records;
            ASSERT_EQ(SystemMbrPartitions(list.buffer.data(), list.count, bps, records), 0u);
            ASSERT_EQ(records.size(), list.count);

            // The sectors of the same list, read by the reader.
            MbrSectors sectors;
            ASSERT_EQ(BuildMbrSectors(list.buffer.data(), list.count, bps, 255, n, sectors), 0u);
            Disk disk(n * bps, 0);
            std::memcpy(&disk[446], sectors.table, 64);
            disk[510] = 0x55;
            disk[511] = 0xAA;
            for (const MbrSectors::Ebr& r : sectors.ebrs)
                std::memcpy(&disk[r.lba * bps], r.sector.data(), bps);
            const DriveLayout read = ReadDisk(disk, bps);

            std::uint32_t number = 0;
            std::vector<const PartitionEntry*> data;
            for (std::uint32_t i = 0; i < records.size(); ++i) {
                const PartitionEntry& r = records[i];
                const std::uint8_t* e = list.buffer.data() + 16 * i;
                EXPECT_TRUE(r.rewrite) << i;
                EXPECT_EQ(r.style, layoutstyle::kMbr);
                if (Le<std::uint32_t>(ByteView(e, 16), 12) == 0) {
                    EXPECT_EQ(r.length, 0u) << i;
                    EXPECT_EQ(r.mbrType, 0u) << i;
                    continue;
                }
                EXPECT_EQ(r.mbrType, e[4]);
                EXPECT_EQ(r.hiddenSectors, r.startingOffset / bps);
                if (r.mbrType == 0x05 || r.mbrType == 0x0F) {
                    EXPECT_FALSE(r.recognized);
                    EXPECT_EQ(r.number, 0u);
                    EXPECT_FALSE(r.bootIndicator);
                    continue;
                }
                EXPECT_TRUE(r.recognized);
                EXPECT_EQ(r.number, ++number);
                EXPECT_EQ(r.bootIndicator, e[0] == 0x80);
                data.push_back(&r);
            }
            EXPECT_EQ(number, parts);
            // The reader's partitions (containers left out) are the records' data partitions.
            std::vector<const PartitionEntry*> found;
            for (const PartitionEntry& p : read.partitions)
                if (p.length != 0 && p.mbrType != 0x05 && p.mbrType != 0x0F) found.push_back(&p);
            ASSERT_EQ(found.size(), data.size());
            for (std::size_t i = 0; i < data.size(); ++i) {
                EXPECT_EQ(found[i]->startingOffset, data[i]->startingOffset) << i;
                EXPECT_EQ(found[i]->length, data[i]->length) << i;
                EXPECT_EQ(found[i]->mbrType, data[i]->mbrType) << i;
                EXPECT_EQ(found[i]->bootIndicator, data[i]->bootIndicator) << i;
            }
            // And the request built from them keeps the groups of four.
            DriveLayout request;
            request.style = layoutstyle::kMbr;
            request.partitions = records;
            std::vector<std::uint8_t> bytes;
            ASSERT_EQ(EncodeSetDriveLayoutEx(request, bytes), 0u);
            EXPECT_EQ(Le<std::uint32_t>(ByteView(bytes), layoutex::kCount), list.count);
        }
    }
}

TEST(CloneSystemLayout, MbrListsOutsideWholeGroupsAreRefused) {
    std::uint8_t entries[64] = {};
    std::vector<PartitionEntry> out(1);
    EXPECT_EQ(SystemMbrPartitions(entries, 3, 512, out), err::kInvalidParameter);
    EXPECT_EQ(SystemMbrPartitions(entries, 0, 512, out), err::kInvalidParameter);
    EXPECT_EQ(SystemMbrPartitions(nullptr, 4, 512, out), err::kInvalidParameter);
    EXPECT_EQ(out.size(), 1u);
}

// The GPT handed to the system: the disk GUID, the usable area and the entry count of the
// finalized header, and each used entry as the reader finds it in the sectors.
TEST(CloneSystemLayout, GptRecordsMatchTheFinalizedTable) {
    for (std::uint32_t bps : {512u, 4096u}) {
        SCOPED_TRACE(bps);
        const std::uint64_t n = 120 * kMiB / bps;
        LayoutPlan plan;
        ASSERT_TRUE(
            PlanParts(diskstyle::kGpt, false, bps, 60 * kMiB / bps, n, Parts(3, bps, true), plan));
        LayoutInfo info = BuildGptFromGpt(plan);
        for (std::size_t i = 0; i < plan.parts.size(); ++i)
            std::memcpy(info.buffer.data() + kGptHeaderArea + 128 * i + 16,
                        "\x11\x22\x33\x44\x55\x66\x77\x88\x99\xAA\xBB\xCC\xDD\xEE\xF0", 15);
        const std::uint8_t guid[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
        ASSERT_TRUE(FinalizeGpt(info.buffer, bps, n, guid));
        DriveLayout layout;
        ASSERT_EQ(SystemGptLayout(info.buffer, bps, layout), 0u);
        EXPECT_EQ(layout.style, layoutstyle::kGpt);
        EXPECT_EQ(std::memcmp(layout.gptDiskId, guid, 16), 0);
        const ByteView hdr(info.buffer.data(), 512);
        const std::uint64_t first = Le<std::uint64_t>(hdr, 40), last = Le<std::uint64_t>(hdr, 48);
        EXPECT_EQ(layout.gptStartingUsableOffset, first * bps);
        EXPECT_EQ(layout.gptUsableLength, (last - first + 1) * bps);
        EXPECT_EQ(layout.gptMaxPartitionCount, Le<std::uint32_t>(hdr, 80));

        Disk disk(n * bps, 0);
        const std::size_t array = info.buffer.size() - kGptHeaderArea;
        std::memcpy(&disk[bps], info.buffer.data(), 512);
        std::memcpy(&disk[2 * bps], info.buffer.data() + kGptHeaderArea, array);
        std::uint8_t pmbr[16];
        ProtectiveMbrEntry(n, pmbr);
        std::memcpy(&disk[446], pmbr, 16);
        disk[510] = 0x55;
        disk[511] = 0xAA;
        const DriveLayout read = ReadDisk(disk, bps);
        ASSERT_EQ(read.style, layoutstyle::kGpt);
        ASSERT_EQ(layout.partitions.size(), read.partitions.size());
        ASSERT_EQ(layout.partitions.size(), 3u);
        for (std::size_t i = 0; i < read.partitions.size(); ++i) {
            const PartitionEntry &a = layout.partitions[i], &b = read.partitions[i];
            EXPECT_EQ(a.startingOffset, b.startingOffset) << i;
            EXPECT_EQ(a.length, b.length) << i;
            EXPECT_EQ(std::memcmp(a.gptType, b.gptType, 16), 0) << i;
            EXPECT_EQ(std::memcmp(a.gptId, b.gptId, 16), 0) << i;
            EXPECT_EQ(a.gptAttributes, b.gptAttributes) << i;
            EXPECT_EQ(a.gptName, b.gptName) << i;
            EXPECT_TRUE(a.rewrite);
            EXPECT_EQ(a.number, i + 1);
        }
        EXPECT_EQ(layout.partitions[0].gptName, u"Basic data partition");
        EXPECT_EQ(layout.partitions[1].gptAttributes, 0x8000000000000001ull);
    }
}

TEST(CloneSystemLayout, UnfinalizedOrDamagedGptIsRefused) {
    LayoutPlan plan;
    ASSERT_TRUE(PlanParts(diskstyle::kGpt, false, 512, 60 * kMiB / 512, 120 * kMiB / 512,
                          Parts(2, 512, true), plan));
    LayoutInfo info = BuildGptFromGpt(plan);
    DriveLayout out;
    out.mbrSignature = 77;
    EXPECT_EQ(SystemGptLayout(info.buffer, 512, out), err::kInvalidData) << "no header yet";
    const std::uint8_t guid[16] = {1};
    ASSERT_TRUE(FinalizeGpt(info.buffer, 512, 120 * kMiB / 512, guid));
    std::vector<std::uint8_t> beyond = info.buffer;
    StoreLe<std::uint64_t>(MutableByteView(beyond), kGptHeaderArea + 40, ~0ull); // last LBA
    EXPECT_EQ(SystemGptLayout(beyond, 512, out), err::kInvalidData);
    std::vector<std::uint8_t> shortArray(info.buffer.begin(), info.buffer.end() - 128);
    EXPECT_EQ(SystemGptLayout(shortArray, 512, out), err::kInvalidData);
    EXPECT_EQ(out.mbrSignature, 77u) << "output untouched on refusal";
}

} // namespace
} // namespace tvd
