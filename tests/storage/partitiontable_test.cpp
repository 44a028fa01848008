#include "storage/partitiontableutil.h"

#include <gtest/gtest.h>

#include <cstring>

#include "storage/partitionimage.h"

namespace tvd {
namespace {

using test::GptPartSpec;
using test::GptSpec;
using test::LogicalSpec;
using test::MbrSlotSpec;
using test::SparseDisk;

ErrorCode Read(const SparseDisk& disk, DriveLayout& layout, bool sizeKnown = true) {
    return ReadDriveLayout(disk.Reader(), disk.SectorSize(), sizeKnown ? disk.Bytes() : 0, layout);
}

// The used partitions of a layout as (number, start sector, sectors, type byte).
struct Part {
    std::uint32_t number;
    std::uint64_t start, sectors;
    std::uint8_t type;
    bool operator==(const Part&) const = default;
};
std::vector<Part> Used(const DriveLayout& l, std::uint32_t ss) {
    std::vector<Part> out;
    for (const auto& p : l.partitions)
        if (p.number != 0 && p.length != 0)
            out.push_back({p.number, p.startingOffset / ss, p.length / ss, p.mbrType});
    return out;
}

TEST(PartitionTable, PrimarySlotsKeepTheirPlacesAndNumbers) {
    for (std::uint32_t ss : {512u, 4096u}) {
        SCOPED_TRACE(ss);
        SparseDisk disk(ss, 100000);
        test::WriteMbrSector(disk, 0, 0xA1B2C3D4,
                             {{0x07, 2048, 4096, true}, {}, {0x83, 8192, 1000}, {0x0C, 9192, 50}});
        DriveLayout l;
        ASSERT_EQ(Read(disk, l), err::kSuccess);
        EXPECT_EQ(l.style, layoutstyle::kMbr);
        EXPECT_EQ(l.mbrSignature, 0xA1B2C3D4u);
        ASSERT_EQ(l.partitions.size(), 4u);
        EXPECT_EQ(
            Used(l, ss),
            (std::vector<Part>{{1, 2048, 4096, 0x07}, {3, 8192, 1000, 0x83}, {4, 9192, 50, 0x0C}}));
        EXPECT_TRUE(l.partitions[0].bootIndicator);
        EXPECT_FALSE(l.partitions[2].bootIndicator);
        EXPECT_EQ(l.partitions[0].hiddenSectors, 2048u);
        EXPECT_EQ(l.partitions[1].length, 0u); // the empty slot stays in its place
        EXPECT_EQ(l.partitions[0].startingOffset, 2048ull * ss);
        EXPECT_EQ(disk.OutsideReads(), 0);
    }
}

TEST(PartitionTable, ExtendedChainGivesLogicalPartitionsFromFive) {
    SparseDisk disk(512, 200000);
    test::WriteMbrSector(disk, 0, 1, {{0x83, 2048, 8192}, {0x0F, 20480, 100000}});
    test::WriteEbrChain(
        disk, 20480,
        {{20480, 22528, 4096, 0x83}, {30720, 32768, 8192, 0x07}, {45056, 47104, 2048, 0x0B}});
    DriveLayout l;
    ASSERT_EQ(Read(disk, l), err::kSuccess);
    ASSERT_EQ(l.partitions.size(), 4u + 3 * 4);
    EXPECT_EQ(Used(l, 512), (std::vector<Part>{{1, 2048, 8192, 0x83},
                                               {5, 22528, 4096, 0x83},
                                               {6, 32768, 8192, 0x07},
                                               {7, 47104, 2048, 0x0B}}));
    // The container and the links between EBRs are listed unnumbered, as containers.
    const PartitionEntry& container = l.partitions[1];
    EXPECT_EQ(container.number, 0u);
    EXPECT_FALSE(container.recognized);
    EXPECT_EQ(container.startingOffset, 20480ull * 512);
    const PartitionEntry& link = l.partitions[5];
    EXPECT_EQ(link.mbrType, 0x05);
    EXPECT_EQ(link.startingOffset, 30720ull * 512);
    // Logical entries count their hidden sectors from their own EBR.
    EXPECT_EQ(l.partitions[4].hiddenSectors, 2048u);
    ASSERT_NE(FindLayoutPartition(l, 32768ull * 512), nullptr);
    EXPECT_EQ(FindLayoutPartition(l, 32768ull * 512)->number, 6u);
    EXPECT_EQ(FindLayoutPartition(l, 20480ull * 512), nullptr); // the container is no partition
}

// Damaged EBR chains: the reader ends the chain where it stops making sense and never leaves
// the disk.
TEST(PartitionTable, DamagedChainsEnd) {
    struct Case {
        const char* name;
        void (*damage)(SparseDisk&);
        std::size_t logicals;
    };
    const Case cases[] = {
        {"link back to an earlier EBR",
         [](SparseDisk& d) {
             test::WriteMbrSector(d, 30000, 0, {{0x83, 10, 50}, {0x05, 100, 100}});
             test::WriteMbrSector(d, 30100, 0, {{0x83, 10, 50}, {0x05, 200, 100}});
             test::WriteMbrSector(d, 30200, 0, {{0x83, 10, 50}, {0x05, 100, 100}});
         },
         3},
        {"link to itself",
         [](SparseDisk& d) {
             test::WriteMbrSector(d, 30000, 0, {{0x83, 10, 50}, {0x05, 100, 100}});
             test::WriteMbrSector(d, 30100, 0, {{0x83, 10, 50}, {0x05, 100, 100}});
         },
         2},
        {"link to the container's own start",
         [](SparseDisk& d) {
             test::WriteMbrSector(d, 30000, 0, {{0x83, 10, 100}, {0x05, 0, 9}});
         },
         1},
        {"link outside the container",
         [](SparseDisk& d) {
             test::WriteMbrSector(d, 30000, 0, {{0x83, 10, 100}, {0x05, 60000, 100}});
         },
         1},
        {"logical partition outside the container",
         [](SparseDisk& d) {
             test::WriteMbrSector(d, 30000, 0, {{0x83, 10, 50000}});
         },
         0},
        {"EBR without boot mark",
         [](SparseDisk& d) {
             test::WriteMbrSector(d, 30000, 0, {{0x83, 10, 100}, {0x05, 1000, 200}});
         },
         1},
        {"chain far longer than the bound",
         [](SparseDisk& d) {
             for (std::uint32_t i = 0; i < 300; ++i)
                 test::WriteMbrSector(d, 30000 + 100 * i, 0,
                                      {{0x83, 10, 50}, {0x05, 100 * (i + 1), 100}});
         },
         kMaxLogicalPartitions},
        {"long chain of bare links",
         [](SparseDisk& d) {
             for (std::uint32_t i = 0; i < 2000; ++i)
                 test::WriteMbrSector(d, 30000 + i, 0, {{0x05, i + 1, 1}});
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SparseDisk disk(512, 100000);
        test::WriteMbrSector(disk, 0, 1, {{0x05, 30000, 50000}});
        c.damage(disk);
        DriveLayout l;
        ASSERT_EQ(Read(disk, l), err::kSuccess);
        EXPECT_EQ(Used(l, 512).size(), c.logicals);
        EXPECT_EQ(disk.OutsideReads(), 0);
        EXPECT_LE(disk.Reads(), int(kMaxLogicalPartitions) + 2);
    }
}

TEST(PartitionTable, SectorsThatAreNoTableReadAsRaw) {
    struct Case {
        const char* name;
        void (*write)(SparseDisk&);
    };
    const Case cases[] = {
        {"blank disk", [](SparseDisk&) {}},
        {"slots without boot mark",
         [](SparseDisk& d) {
             test::WriteMbrSector(d, 0, 1, {{0x83, 2048, 100}});
             d.Sector(0)[510] = 0;
         }},
        {"boot code where the slots are",
         [](SparseDisk& d) {
             test::WriteMbrSector(d, 0, 1, {{0x83, 2048, 100}});
             d.Sector(0)[446 + 16] = 0x4E; // a boot indicator that is code, not 00h/80h
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SparseDisk disk(512, 10000);
        c.write(disk);
        DriveLayout l;
        ASSERT_EQ(Read(disk, l), err::kSuccess);
        EXPECT_EQ(l.style, layoutstyle::kRaw);
        EXPECT_TRUE(l.partitions.empty());
    }
}

GptSpec ThreePartitions() {
    GptSpec spec;
    spec.parts = {
        {test::kEspType, test::GuidFromText("AAAAAAAA-0000-0000-0000-000000000001"), 2048, 206847,
         0, u"EFI system partition", 0},
        {test::kMsrType, test::GuidFromText("AAAAAAAA-0000-0000-0000-000000000002"), 206848, 239615,
         0x8000000000000000ull, u"Microsoft reserved partition", 1},
        {test::kBasicDataType, test::GuidFromText("AAAAAAAA-0000-0000-0000-000000000003"), 239616,
         400000, 0, u"Basic data partition with a name of thirty-six units", 3},
    };
    return spec;
}

TEST(PartitionTable, GptEntriesWithTypesIdsAndNames) {
    for (std::uint32_t ss : {512u, 4096u}) {
        SCOPED_TRACE(ss);
        SparseDisk disk(ss, 500000);
        const GptSpec spec = ThreePartitions();
        const auto at = test::WriteGpt(disk, spec);
        DriveLayout l;
        ASSERT_EQ(Read(disk, l), err::kSuccess);
        ASSERT_EQ(l.style, layoutstyle::kGpt);
        EXPECT_EQ(0, std::memcmp(l.gptDiskId, spec.diskId.data(), 16));
        EXPECT_EQ(l.gptMaxPartitionCount, 128u);
        EXPECT_EQ(l.gptStartingUsableOffset, (2 + at.arraySectors) * ss);
        EXPECT_EQ(l.gptUsableLength, (at.backupArray - 1 - (2 + at.arraySectors) + 1) * ss);
        ASSERT_EQ(l.partitions.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            const PartitionEntry& p = l.partitions[i];
            const GptPartSpec& s = spec.parts[i];
            EXPECT_EQ(p.style, layoutstyle::kGpt);
            EXPECT_EQ(p.number, s.index + 1);
            EXPECT_EQ(p.startingOffset, s.firstLba * ss);
            EXPECT_EQ(p.length, (s.lastLba - s.firstLba + 1) * ss);
            EXPECT_EQ(0, std::memcmp(p.gptType, s.type.data(), 16));
            EXPECT_EQ(0, std::memcmp(p.gptId, s.id.data(), 16));
            EXPECT_EQ(p.gptAttributes, s.attributes);
            EXPECT_EQ(p.gptName, s.name.substr(0, 36));
        }
        EXPECT_EQ(disk.OutsideReads(), 0);
    }
}

// Damage to the primary GPT falls back to the backup; damage to both leaves the protective MBR.
TEST(PartitionTable, GptDamage) {
    enum Expect { kGptFull, kMbrProtective };
    struct Case {
        const char* name;
        void (*damage)(SparseDisk&, const test::GptPlacement&);
        bool sizeKnown;
        Expect expect;
    };
    const Case cases[] = {
        {"primary header CRC",
         [](SparseDisk& d, const test::GptPlacement&) { d.Sector(1)[40] ^= 1; }, true, kGptFull},
        {"primary header moved off LBA 1",
         [](SparseDisk& d, const test::GptPlacement&) {
             StoreLe<std::uint64_t>(d.Sector(1), 24, 7);
             test::SealGptHeader(d.Sector(1));
         },
         true, kGptFull},
        {"primary entry array",
         [](SparseDisk& d, const test::GptPlacement& at) { d.Sector(at.primaryArray)[0] ^= 1; },
         true, kGptFull},
        {"primary entry array, size unknown: the header's backup LBA leads on",
         [](SparseDisk& d, const test::GptPlacement& at) { d.Sector(at.primaryArray)[0] ^= 1; },
         false, kGptFull},
        {"primary entry count beyond the bound",
         [](SparseDisk& d, const test::GptPlacement&) {
             StoreLe<std::uint32_t>(d.Sector(1), 80, 1u << 30);
             test::SealGptHeader(d.Sector(1));
         },
         true, kGptFull},
        {"primary entry size below 128",
         [](SparseDisk& d, const test::GptPlacement&) {
             StoreLe<std::uint32_t>(d.Sector(1), 84, 64);
             test::SealGptHeader(d.Sector(1));
         },
         true, kGptFull},
        {"primary header size beyond the sector",
         [](SparseDisk& d, const test::GptPlacement&) {
             StoreLe<std::uint32_t>(d.Sector(1), 12, 0x10000);
         },
         true, kGptFull},
        {"both headers",
         [](SparseDisk& d, const test::GptPlacement& at) {
             d.Sector(1)[0] = 'X';
             d.Sector(at.backupHeader)[0] = 'X';
         },
         true, kMbrProtective},
        {"primary header, size unknown",
         [](SparseDisk& d, const test::GptPlacement&) { d.Sector(1)[0] = 'X'; }, false,
         kMbrProtective},
        {"both entry arrays",
         [](SparseDisk& d, const test::GptPlacement& at) {
             d.Sector(at.primaryArray)[3] ^= 1;
             d.Sector(at.backupArray)[3] ^= 1;
         },
         true, kMbrProtective},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SparseDisk disk(512, 500000);
        const auto at = test::WriteGpt(disk, ThreePartitions());
        c.damage(disk, at);
        DriveLayout l;
        ASSERT_EQ(Read(disk, l, c.sizeKnown), err::kSuccess);
        if (c.expect == kGptFull) {
            EXPECT_EQ(l.style, layoutstyle::kGpt);
            EXPECT_EQ(l.partitions.size(), 3u);
        } else {
            EXPECT_EQ(l.style, layoutstyle::kMbr);
            EXPECT_EQ(Used(l, 512), (std::vector<Part>{{1, 1, 499999, 0xEE}}));
        }
        EXPECT_EQ(disk.OutsideReads(), 0);
    }
}

TEST(PartitionTable, GrownDiskFindsTheBackupWhereThePrimaryNamesIt) {
    SparseDisk disk(512, 500000);
    const auto at = test::WriteGpt(disk, ThreePartitions());
    disk.Sector(at.primaryArray)[0] ^= 1;
    disk.Grow(800000);
    DriveLayout l;
    ASSERT_EQ(Read(disk, l), err::kSuccess);
    EXPECT_EQ(l.style, layoutstyle::kGpt);
    EXPECT_EQ(l.partitions.size(), 3u);
    EXPECT_EQ(disk.OutsideReads(), 0);
}

TEST(PartitionTable, GptEntriesOutsideTheDiskOrReversedAreLeftOut) {
    SparseDisk disk(512, 100000);
    GptSpec spec;
    spec.parts = {{test::kLinuxDataType, {}, 2048, 4095, 0, u"good", 0},
                  {test::kLinuxDataType, {}, 5000, 4999, 0, u"reversed", 1},
                  {test::kLinuxDataType, {}, 6000, 100000, 0, u"past the end", 2},
                  {test::kLinuxDataType, {}, ~0ull - 10, ~0ull, 0, u"beyond 64 bits", 3},
                  {{}, {}, 8000, 9000, 0, u"unused type", 4}};
    test::WriteGpt(disk, spec);
    DriveLayout l;
    ASSERT_EQ(Read(disk, l), err::kSuccess);
    ASSERT_EQ(l.style, layoutstyle::kGpt);
    ASSERT_EQ(l.partitions.size(), 1u);
    EXPECT_EQ(l.partitions[0].gptName, u"good");
}

TEST(PartitionTable, ReadErrorsAndBadArgumentsAreReported) {
    SparseDisk disk(512, 200000);
    test::WriteMbrSector(disk, 0, 1, {{0x0F, 20480, 100000}});
    test::WriteEbrChain(disk, 20480, {{20480, 22528, 4096, 0x83}, {30720, 32768, 8192, 0x07}});
    disk.FailSector(30720);
    DriveLayout l;
    EXPECT_EQ(Read(disk, l), err::kIoDevice);
    EXPECT_EQ(l.style, layoutstyle::kRaw);
    EXPECT_TRUE(l.partitions.empty());
    disk.FailSector(0);
    EXPECT_EQ(Read(disk, l), err::kIoDevice);

    const auto reader = disk.Reader();
    for (std::uint32_t ss : {0u, 256u, 513u, 8192u})
        EXPECT_EQ(ReadDriveLayout(reader, ss, 0, l), err::kInvalidParameter) << ss;
    EXPECT_EQ(ReadDriveLayout(nullptr, 512, 0, l), err::kInvalidParameter);
    EXPECT_EQ(ReadDriveLayout(reader, 4096, 512, l), err::kInvalidParameter);
}

TEST(PartitionTable, GptHeaderDecoding) {
    SparseDisk disk(4096, 10000);
    test::WriteGpt(disk, GptSpec{});
    GptHeader h;
    ASSERT_TRUE(DecodeGptHeader(disk.Sector(1), h));
    EXPECT_EQ(h.currentLba, 1u);
    EXPECT_EQ(h.backupLba, 9999u);
    EXPECT_EQ(h.entryCount, 128u);
    EXPECT_EQ(h.entrySize, 128u);
    EXPECT_FALSE(DecodeGptHeader(ByteView(disk.Sector(1)).first(91), h));
    EXPECT_FALSE(DecodeGptHeader(ByteView(), h));
}

} // namespace
} // namespace tvd
