// Target layout planning as tables: where each partition goes and how large it becomes for
// MBR, extended and GPT sources on larger, equal and smaller targets, the tables built from the
// plan, and the arithmetic faults (underflow, wrap, a shrink loop that never ends).
#include <gtest/gtest.h>

#include <cstring>

#include "clone/clonelayoututil.h"
#include "foundation/crc32util.h"
#include "storage/fsrecognizeutil.h"
#include "storage/partitiontableutil.h"

namespace tvd {
namespace {

constexpr std::uint64_t kMiB = 1ull << 20;

struct P {
    std::uint64_t startMiB, sizeMiB;
    std::uint8_t mbrType = 0x83;
    std::uint64_t attributes = 0;
    const char16_t* name = u"";
};

std::vector<LayoutPart> Parts(const std::vector<P>& ps, std::uint32_t bps, bool gpt,
                              bool fullNeeded = true) {
    std::vector<LayoutPart> out;
    std::uint32_t n = 1;
    for (const P& p : ps) {
        LayoutPart l;
        l.entry.style = gpt ? layoutstyle::kGpt : layoutstyle::kMbr;
        l.entry.mbrType = p.mbrType;
        l.entry.number = n++;
        l.entry.gptAttributes = p.attributes;
        l.entry.gptName = p.name;
        l.entry.gptType[0] = 0xA2; // anything but zero
        l.sourceStart = p.startMiB * kMiB / bps;
        l.sourceSize = p.sizeMiB * kMiB / bps;
        l.fsKind = fskind::kNone;
        const bool resizable = !gpt || GptPartitionResizable(l.entry);
        l.neededBytes = resizable && fullNeeded ? p.sizeMiB * kMiB : (resizable ? 1 : 0);
        out.push_back(l);
    }
    return out;
}

void ExpectAlignedAndInside(const LayoutPlan& plan) {
    const std::uint64_t align = kMiB / plan.bytesPerSector;
    std::uint64_t end = 0;
    for (const LayoutPart& p : plan.parts) {
        EXPECT_EQ(p.start % align, 0u) << "start " << p.start;
        EXPECT_GE(p.start, end);
        end = p.start + p.size;
        EXPECT_GE(p.size * plan.bytesPerSector, p.neededBytes);
    }
    EXPECT_LE(end, plan.targetSectors);
}

struct PlanCase {
    const char* what;
    std::uint8_t style;
    std::uint32_t bps;
    std::uint64_t sourceMiB, targetMiB;
    std::vector<P> parts;
    bool fits;
    std::uint8_t targetStyle;
    std::vector<std::uint64_t> startsMiB; // expected target starts (empty: not checked)
};

TEST(CloneLayoutPlan, SourcesOnLargerEqualAndSmallerTargets) {
    const std::vector<PlanCase> cases = {
        // Three MBR partitions packed from 1 MiB to the end: an equal target has no room for the
        // 1 MiB gaps (a sector-copied partition never shrinks).
        {"mbr_equal_full",
         diskstyle::kMbr,
         512,
         100,
         100,
         {{1, 30}, {31, 30}, {61, 39}},
         false,
         diskstyle::kMbr,
         {}},
        // The same with room left at the end: re-placed from 2 MiB with 1 MiB gaps.
        {"mbr_equal_room",
         diskstyle::kMbr,
         512,
         100,
         100,
         {{1, 20}, {21, 20}, {41, 20}},
         true,
         diskstyle::kMbr,
         {}},
        {"mbr_larger",
         diskstyle::kMbr,
         512,
         100,
         200,
         {{1, 30}, {31, 30}, {61, 39}},
         true,
         diskstyle::kMbr,
         {2}},
        {"mbr_smaller_fits",
         diskstyle::kMbr,
         512,
         200,
         100,
         {{1, 20}, {21, 20}, {41, 20}},
         true,
         diskstyle::kMbr,
         {2}},
        {"mbr_smaller_short",
         diskstyle::kMbr,
         512,
         200,
         60,
         {{1, 20}, {21, 20}, {41, 20}},
         false,
         diskstyle::kMbr,
         {}},
        {"mbr_logicals_4k",
         diskstyle::kMbr,
         4096,
         100,
         150,
         {{1, 10}, {12, 10}, {23, 10}, {35, 10}, {46, 10}},
         true,
         diskstyle::kMbr,
         {2}},
        {"gpt_larger",
         diskstyle::kGpt,
         512,
         100,
         300,
         {{1, 30}, {31, 30}, {61, 38}},
         true,
         diskstyle::kGpt,
         {1}},
        {"gpt_smaller_fits",
         diskstyle::kGpt,
         4096,
         300,
         100,
         {{1, 30}, {31, 30}},
         true,
         diskstyle::kGpt,
         {1}},
        {"gpt_smaller_short",
         diskstyle::kGpt,
         512,
         300,
         50,
         {{1, 30}, {31, 30}},
         false,
         diskstyle::kGpt,
         {}},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.what);
        LayoutPlan plan;
        const bool fits =
            PlanParts(c.style, false, c.bps, c.sourceMiB * kMiB / c.bps, c.targetMiB * kMiB / c.bps,
                      Parts(c.parts, c.bps, c.style == diskstyle::kGpt), plan);
        EXPECT_EQ(fits, c.fits) << plan.failure;
        EXPECT_EQ(plan.targetStyle, c.targetStyle);
        if (!fits) {
            EXPECT_FALSE(plan.failure.empty());
            continue;
        }
        ExpectAlignedAndInside(plan);
        for (std::size_t i = 0; i < c.startsMiB.size(); ++i)
            EXPECT_EQ(plan.parts[i].start, c.startsMiB[i] * kMiB / c.bps);
        // A larger target gives the partitions the room, in proportion.
        if (c.targetMiB > c.sourceMiB) {
            for (const LayoutPart& p : plan.parts)
                EXPECT_GT(p.size, p.sourceSize);
        }
    }
}

TEST(CloneLayoutPlan, TooSmallTellsTheShortfall) {
    LayoutPlan plan;
    EXPECT_FALSE(PlanParts(diskstyle::kMbr, false, 512, 200 * kMiB / 512, 50 * kMiB / 512,
                           Parts({{1, 20}, {21, 20}, {41, 20}}, 512, false), plan));
    // 60 MiB of partitions, 7 MiB of gaps, 50 MiB of disk.
    EXPECT_GE(plan.shortfallBytes, 10 * kMiB);
    EXPECT_LE(plan.shortfallBytes, 20 * kMiB);
}

TEST(CloneLayoutPlan, EspAndRequiredPartitionsKeepTheirSize) {
    // ESP by name, a recovery partition with the required attribute, a data partition that may
    // shrink to what it needs.
    std::vector<LayoutPart> parts =
        Parts({{1, 100, 0, 0, u"EFI system partition"}, {101, 16, 0, 1}, {117, 500}}, 512, true);
    parts[2].neededBytes = 100 * kMiB;
    LayoutPlan plan;
    ASSERT_TRUE(PlanParts(diskstyle::kGpt, false, 512, 1024 * kMiB / 512, 400 * kMiB / 512,
                          std::move(parts), plan))
        << plan.failure;
    EXPECT_EQ(plan.parts[0].size, 100 * kMiB / 512);
    EXPECT_EQ(plan.parts[1].size, 16 * kMiB / 512);
    EXPECT_LT(plan.parts[2].size, 500 * kMiB / 512);
    EXPECT_GE(plan.parts[2].size, 100 * kMiB / 512);
    ExpectAlignedAndInside(plan);
}

TEST(CloneLayoutPlan, SlackCascadeTakesTheExcessFromTheMostSlackFirst) {
    // Three resizable partitions of 100, 100 and 400 MiB needing 90, 10 and 390: the target's
    // proportional size of the first falls below its need; the excess comes from the second,
    // the only one with slack left.
    std::vector<LayoutPart> parts = Parts({{1, 100}, {101, 100}, {201, 400}}, 512, false);
    parts[0].neededBytes = 90 * kMiB;
    parts[1].neededBytes = 10 * kMiB;
    parts[2].neededBytes = 390 * kMiB;
    LayoutPlan plan;
    ASSERT_TRUE(PlanParts(diskstyle::kMbr, false, 512, 700 * kMiB / 512, 520 * kMiB / 512,
                          std::move(parts), plan))
        << plan.failure;
    ExpectAlignedAndInside(plan);
    EXPECT_GE(plan.parts[0].size, 90 * kMiB / 512);
    EXPECT_LT(plan.parts[1].size, 100 * kMiB / 512);
    EXPECT_GE(plan.parts[2].size, 390 * kMiB / 512);
}

TEST(CloneLayoutPlan, FitSizesEndsWithSlackUnderASector) {
    // Needs that are not whole sectors: the minimum rounds up, the slack is counted in sectors,
    // and a partition with none left is never picked (the old loop never ended here).
    LayoutPlan plan;
    plan.bytesPerSector = 512;
    for (std::uint64_t needed : {1000ull, 700ull, 513ull}) {
        LayoutPart p;
        p.start = 2048;
        p.size = (needed + 511) / 512;
        p.neededBytes = needed;
        plan.parts.push_back(p);
    }
    EXPECT_FALSE(FitSizes(plan, 3, 5));
    for (const LayoutPart& p : plan.parts)
        EXPECT_GE(p.size * 512, p.neededBytes);
    EXPECT_EQ(PickShrinkCandidate(plan), -1);
}

TEST(CloneLayoutPlan, FixedPartitionsLargerThanTheTargetDoNotWrap) {
    // A fixed (required) partition larger than the whole target: nothing is available, the plan
    // fails instead of computing a huge room from an unsigned underflow.
    std::vector<LayoutPart> parts = Parts({{1, 500, 0, 1}, {501, 10}}, 512, true);
    LayoutPlan plan;
    EXPECT_FALSE(PlanParts(diskstyle::kGpt, false, 512, 1024 * kMiB / 512, 100 * kMiB / 512,
                           std::move(parts), plan));
    // A start near the top of the range: start + size would wrap.
    LayoutPlan wrap;
    wrap.bytesPerSector = 512;
    LayoutPart p;
    p.start = ~0ull - 10;
    p.size = 100;
    wrap.parts.push_back(p);
    EXPECT_FALSE(FitsTarget(wrap, 1000));
}

TEST(CloneLayoutPlan, NothingResizableIsCopiedInPlaceAndStillChecked) {
    const auto parts = [] {
        return Parts({{1, 100, 0, 1}, {101, 100, 0, 0, u"EFI system partition"}}, 512, true);
    };
    LayoutPlan plan;
    ASSERT_TRUE(
        PlanParts(diskstyle::kGpt, false, 512, 300 * kMiB / 512, 400 * kMiB / 512, parts(), plan));
    EXPECT_FALSE(plan.resized);
    EXPECT_EQ(plan.parts[0].start, 1 * kMiB / 512);
    EXPECT_EQ(plan.parts[1].start, 101 * kMiB / 512);
    EXPECT_FALSE(
        PlanParts(diskstyle::kGpt, false, 512, 300 * kMiB / 512, 150 * kMiB / 512, parts(), plan));
}

TEST(CloneLayoutPlan, SourceTableFaultsAreRefused) {
    LayoutPlan plan;
    EXPECT_FALSE(PlanParts(diskstyle::kMbr, false, 512, 100 * kMiB / 512, 200 * kMiB / 512,
                           Parts({{1, 50}, {40, 20}}, 512, false), plan));
    EXPECT_EQ(plan.failure, "two source partitions overlap");
    EXPECT_FALSE(PlanParts(diskstyle::kMbr, false, 512, 100 * kMiB / 512, 200 * kMiB / 512,
                           Parts({{1, 50}, {60, 50}}, 512, false), plan));
    EXPECT_EQ(plan.failure, "a source partition lies outside its disk");
}

TEST(CloneLayoutPlan, MbrAbove2TiBBecomesGptUnlessItHoldsWindows) {
    const std::uint64_t big = (1ull << 32) + 1000;
    LayoutPlan plan;
    ASSERT_TRUE(PlanParts(diskstyle::kMbr, false, 512, 100 * kMiB / 512, big,
                          Parts({{1, 50}, {51, 49}}, 512, false), plan));
    EXPECT_EQ(plan.targetStyle, diskstyle::kGpt);
    const LayoutInfo gpt = BuildGptFromMbr(plan);
    EXPECT_EQ(gpt.style, diskstyle::kGpt);
    ASSERT_TRUE(PlanParts(diskstyle::kMbr, true, 512, 100 * kMiB / 512, big,
                          Parts({{1, 50}, {51, 49}}, 512, false), plan));
    EXPECT_EQ(plan.targetStyle, diskstyle::kMbr);
    EXPECT_EQ(plan.limit, 0xFFFFFFFFull);
    for (const LayoutPart& p : plan.parts)
        EXPECT_LE(p.start + p.size, 0xFFFFFFFFull);
}

TEST(CloneLayoutTables, FifthMbrPartitionGivesTwelveEntries) {
    LayoutPlan plan;
    ASSERT_TRUE(PlanParts(diskstyle::kMbr, false, 512, 100 * kMiB / 512, 200 * kMiB / 512,
                          Parts({{1, 10}, {12, 10}, {23, 10}, {35, 10}, {46, 10}}, 512, false),
                          plan));
    const LayoutInfo list = BuildMbrList(plan);
    ASSERT_EQ(list.count, 12u);
    auto type = [&](int i) { return list.buffer[16 * i + 4]; };
    EXPECT_EQ(type(3), 0x0F);
    EXPECT_EQ(type(4), 0x83);
    EXPECT_EQ(type(5), 0x05);
    EXPECT_EQ(type(8), 0x83);
    // The sectors: the MBR's container at entry 3, two records; the first links to the second.
    MbrSectors sectors;
    ASSERT_EQ(BuildMbrSectors(list.buffer.data(), list.count, 512, 255, 200 * kMiB / 512, sectors),
              0u);
    ASSERT_EQ(sectors.ebrs.size(), 2u);
    const std::uint32_t container = Le<std::uint32_t>(ByteView(sectors.table, 64), 48 + 8);
    EXPECT_EQ(sectors.ebrs[0].lba, container);
    const ByteView first(sectors.ebrs[0].sector);
    EXPECT_EQ(Le<std::uint32_t>(first, 446 + 8), plan.parts[3].start - container);
    EXPECT_EQ(Le<std::uint32_t>(first, 462 + 8), sectors.ebrs[1].lba - container);
    EXPECT_EQ(Le<std::uint32_t>(ByteView(sectors.ebrs[1].sector), 446 + 8),
              plan.parts[4].start - sectors.ebrs[1].lba);
    EXPECT_EQ(Le<std::uint16_t>(first, 510), 0xAA55);
}

TEST(CloneLayoutTables, MbrListsThatLoopOrLeaveTheDiskAreRefused) {
    std::uint8_t entries[64] = {};
    entries[4] = 0x83;
    StoreLe<std::uint32_t>(entries, 8, 2048);
    StoreLe<std::uint32_t>(entries, 12, 4096);
    MbrSectors out;
    EXPECT_EQ(BuildMbrSectors(entries, 4, 512, 255, 8192, out), 0u);
    EXPECT_NE(BuildMbrSectors(entries, 4, 512, 255, 4096, out), 0u); // past the end
    // A group without a container.
    std::uint8_t eight[128] = {};
    std::memcpy(eight, entries, 16);
    std::memcpy(eight + 64, entries, 16);
    EXPECT_NE(BuildMbrSectors(eight, 8, 512, 255, 1 << 20, out), 0u);
}

TEST(CloneLayoutTables, GptMapsKnownMbrTypes) {
    struct {
        std::uint8_t mbr;
        const char* firstBytes; // of the GPT type as stored
    } const table[] = {
        {0x07, "\xA2\xA0\xD0\xEB"}, {0x0C, "\xA2\xA0\xD0\xEB"}, {0xEF, "\x28\x73\x2A\xC1"},
        {0x27, "\xA4\xBB\x94\xDE"}, {0x82, "\x6D\xFD\x57\x06"}, {0x83, "\xAF\x3D\xC6\x0F"},
        {0x8E, "\x79\xD3\xD6\xE6"}, {0xFD, "\x0F\x88\x9D\xA1"}, {0x42, "\xA2\xA0\xD0\xEB"}};
    for (const auto& c : table) {
        std::uint8_t type[16];
        GptTypeForMbrType(c.mbr, type);
        EXPECT_EQ(std::memcmp(type, c.firstBytes, 4), 0) << int(c.mbr);
    }
}

TEST(CloneLayoutTables, FinalizedGptReadsBackOnTheTargetsOwnSize) {
    // A GPT planned from a source of 60 MiB onto 120 MiB: the backup lies at the target's end.
    for (std::uint32_t bps : {512u, 4096u}) {
        SCOPED_TRACE(bps);
        LayoutPlan plan;
        ASSERT_TRUE(PlanParts(diskstyle::kGpt, false, bps, 60 * kMiB / bps, 120 * kMiB / bps,
                              Parts({{1, 20}, {21, 30}}, bps, true), plan));
        LayoutInfo info = BuildGptFromGpt(plan);
        const std::uint64_t n = 120 * kMiB / bps;
        const std::uint8_t guid[16] = {1, 2, 3};
        ASSERT_TRUE(FinalizeGpt(info.buffer, bps, n, guid));
        // Lay it out as a disk image and read it with the reader.
        std::vector<std::uint8_t> disk(n * bps, 0);
        const std::size_t array = info.buffer.size() - kGptHeaderArea;
        std::memcpy(&disk[bps], info.buffer.data(), 512);
        std::memcpy(&disk[2 * bps], info.buffer.data() + kGptHeaderArea, array);
        const std::uint64_t backupArray = Le<std::uint64_t>(ByteView(info.buffer), 512 + 72);
        std::memcpy(&disk[backupArray * bps], info.buffer.data() + kGptHeaderArea, array);
        std::memcpy(&disk[(n - 1) * bps], info.buffer.data() + 512, 512);
        std::uint8_t pmbr[16];
        ProtectiveMbrEntry(n, pmbr);
        std::memcpy(&disk[446], pmbr, 16);
        disk[510] = 0x55;
        disk[511] = 0xAA;
        DriveLayout read;
        ASSERT_EQ(ReadDriveLayout(
                      [&](std::uint64_t off, MutableByteView d) {
                          std::memcpy(d.data(), &disk[off], d.size());
                          return ErrorCode(0);
                      },
                      bps, disk.size(), read),
                  0u);
        ASSERT_EQ(read.style, layoutstyle::kGpt);
        ASSERT_EQ(read.partitions.size(), 2u);
        EXPECT_EQ(read.partitions[0].startingOffset, kMiB);
        EXPECT_EQ(read.partitions[1].startingOffset / bps, plan.parts[1].start);
        EXPECT_EQ(std::memcmp(read.gptDiskId, guid, 16), 0);
        // The primary backup LBA is the target's last sector, not the source's.
        EXPECT_EQ(Le<std::uint64_t>(ByteView(info.buffer), 32), n - 1);
    }
}

TEST(CloneLayoutRead, WholeDiskVolumeAndTablesFromTheReader) {
    // mkfs.fat on a whole disk: zeros where a table would be, so the reader sees an empty MBR.
    DriveLayout empty;
    empty.style = layoutstyle::kMbr;
    empty.partitions.resize(4);
    LayoutInfo info = LayoutFromDrive(empty, fskind::kFat32, 512, 1000);
    EXPECT_EQ(info.style, diskstyle::kRaw);
    EXPECT_EQ(info.count, 1u);
    EXPECT_EQ(Le<std::uint32_t>(ByteView(info.buffer), 12), 1000u);
    // No volume and no partition: an empty MBR, nothing to copy.
    EXPECT_TRUE(LayoutExtents(LayoutFromDrive(empty, fskind::kNone, 512, 1000), 512).empty());
    // A real MBR whose sector 0 also looks like FAT keeps its table.
    DriveLayout mbr = empty;
    mbr.partitions[0].length = 100 * 512;
    mbr.partitions[0].startingOffset = 2048 * 512;
    mbr.partitions[0].mbrType = 0x0C;
    info = LayoutFromDrive(mbr, fskind::kFat32, 512, 10000);
    EXPECT_EQ(info.style, diskstyle::kMbr);
    ASSERT_EQ(info.count, 4u);
    EXPECT_EQ(Le<std::uint32_t>(ByteView(info.buffer), 8), 2048u);
    EXPECT_EQ(info.buffer[4], 0x0C);
}

} // namespace
} // namespace tvd
