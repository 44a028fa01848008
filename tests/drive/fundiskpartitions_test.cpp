#include "drive/fundiskpartitionsutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "storage/partitionimage.h"
#include "storage/partitiontableutil.h"
#include "storage/storageplatform.h"

namespace tvd {
namespace {

constexpr std::uint64_t kMiB = 1ull << 20;

PartitionEntry Mbr(std::uint32_t number, std::uint64_t startMiB, std::uint64_t lengthMiB,
                   std::uint8_t type = 0x07, bool boot = false) {
    PartitionEntry p;
    p.style = layoutstyle::kMbr;
    p.number = number;
    p.startingOffset = startMiB * kMiB;
    p.length = lengthMiB * kMiB;
    p.mbrType = type;
    p.bootIndicator = boot;
    return p;
}

PartitionEntry Gpt(std::uint32_t number, std::uint64_t startMiB, std::uint64_t lengthMiB,
                   const test::GuidBytes& type = test::kBasicDataType) {
    PartitionEntry p;
    p.style = layoutstyle::kGpt;
    p.number = number;
    p.startingOffset = startMiB * kMiB;
    p.length = lengthMiB * kMiB;
    std::memcpy(p.gptType, type.data(), 16);
    return p;
}

DriveLayout MbrLayout(std::vector<PartitionEntry> parts) {
    DriveLayout l;
    l.style = layoutstyle::kMbr;
    l.partitions = std::move(parts);
    return l;
}

DriveLayout GptLayout(std::uint64_t firstByte, std::uint64_t usableBytes,
                      std::vector<PartitionEntry> parts) {
    DriveLayout l;
    l.style = layoutstyle::kGpt;
    l.gptStartingUsableOffset = firstByte;
    l.gptUsableLength = usableBytes;
    l.partitions = std::move(parts);
    return l;
}

// An entry as (number, start, length, kind); gaps have number -1.
struct Row {
    std::int32_t number;
    std::uint64_t start, length;
    std::uint8_t kind;
    bool operator==(const Row&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << "{" << r.number << ", " << r.start << ", " << r.length << ", " << int(r.kind)
              << "}";
}
Row Gap(std::uint64_t start, std::uint64_t end) {
    return {-1, start, end - start, partkind::kGap};
}
Row Part(std::int32_t n, std::uint64_t start, std::uint64_t length, std::uint8_t kind = 2) {
    return {n, start, length, kind};
}

std::vector<Row> Rows(const PartitionSnapshot& s) {
    std::vector<Row> out;
    for (const auto& e : s.entries)
        out.push_back({e.partitionNumber, e.start, e.length, e.kind});
    return out;
}

PartitionSnapshot Build(const DriveLayout* layout, std::uint64_t diskBytes,
                        const VolumeLookup& volumes = NoVolumeLookup()) {
    PartitionSnapshot s;
    BuildPartitionSnapshot(layout, diskBytes, volumes, s);
    return s;
}

constexpr std::uint64_t M = kMiB;

TEST(PartitionSnapshot, EntriesAndGapsFollowTheDisk) {
    struct Case {
        const char* name;
        std::optional<DriveLayout> layout;
        std::uint64_t diskBytes;
        std::vector<Row> expected;
    };
    const std::uint64_t gptEnd = 1000 * M - 34 * 512;
    const Case cases[] = {
        {"active primary, alignment gap hidden, free end shown",
         MbrLayout({Mbr(1, 1, 500, 0x07, true), Mbr(2, 501, 399), {}, {}}),
         1000 * M,
         {Part(1, M, 500 * M, partkind::kBoot), Part(2, 501 * M, 399 * M), Gap(900 * M, 1000 * M)}},
        {"slots listed out of disk order",
         MbrLayout({Mbr(1, 600, 100), Mbr(2, 1, 300), {}, {}}),
         1000 * M,
         {Part(2, M, 300 * M), Gap(301 * M, 600 * M), Part(1, 600 * M, 100 * M),
          Gap(700 * M, 1000 * M)}},
        {"logical partitions without their containers",
         MbrLayout({Mbr(1, 1, 100),
                    Mbr(2, 101, 800, 0x0F),
                    {},
                    {}, //
                    Mbr(5, 102, 200, 0x83),
                    Mbr(0, 350, 101, 0x05),
                    {},
                    {}, // first EBR
                    Mbr(6, 351, 100, 0x83),
                    {},
                    {},
                    {}}),
         1000 * M,
         {Part(1, M, 100 * M), Part(5, 102 * M, 200 * M), Gap(302 * M, 350 * M),
          Part(6, 351 * M, 100 * M), Gap(451 * M, 1000 * M)}},
        {"partitions past the disk's end are cut or left out",
         MbrLayout({Mbr(1, 1, 500), Mbr(2, 600, 5000), Mbr(3, 2000, 100), {}}),
         1000 * M,
         {Part(1, M, 500 * M), Gap(501 * M, 600 * M), Part(2, 600 * M, 400 * M)}},
        {"a partition starting inside another is left out",
         MbrLayout({Mbr(1, 1, 500), Mbr(2, 400, 300), Mbr(3, 501, 100), {}}),
         1000 * M,
         {Part(1, M, 500 * M), Part(3, 501 * M, 100 * M), Gap(601 * M, 1000 * M)}},
        {"GPT: EFI kind, free end bounded by the usable area",
         GptLayout(
             17408, gptEnd - 17408,
             {Gpt(1, 1, 100, test::kEspType), Gpt(2, 101, 16, test::kMsrType), Gpt(3, 117, 700)}),
         1000 * M,
         {Part(1, M, 100 * M, partkind::kEfi), Part(2, 101 * M, 16 * M), Part(3, 117 * M, 700 * M),
          Gap(817 * M, gptEnd)}},
        {"GPT with only a small reserved partition is blank",
         GptLayout(17408, gptEnd - 17408, {Gpt(1, 1, 16, test::kMsrType)}),
         1000 * M,
         {Gap(0, 1000 * M)}},
        {"GPT with only a larger reserved partition is not",
         GptLayout(17408, gptEnd - 17408, {Gpt(1, 1, 32, test::kMsrType)}),
         1000 * M,
         {Part(1, M, 32 * M), Gap(33 * M, gptEnd)}},
        {"MBR of empty slots is blank", MbrLayout({{}, {}, {}, {}}), 1000 * M, {Gap(0, 1000 * M)}},
        {"no layout", std::nullopt, 1000 * M, {Gap(0, 1000 * M)}},
        {"no layout on a disk under 8 MiB", std::nullopt, 8 * M - 512, {}},
        {"size unknown: the disk ends with its last partition",
         MbrLayout({Mbr(1, 1, 500), Mbr(2, 600, 100), {}, {}}),
         0,
         {Part(1, M, 500 * M), Gap(501 * M, 600 * M), Part(2, 600 * M, 100 * M)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PartitionSnapshot s = Build(c.layout ? &*c.layout : nullptr, c.diskBytes);
        EXPECT_EQ(Rows(s), c.expected);
        for (std::size_t i = 0; i < s.entries.size(); ++i)
            EXPECT_EQ(s.entries[i].index, i);
        EXPECT_EQ(s.hasLayout, c.layout.has_value());
    }
}

TEST(PartitionSnapshot, KeepsTheFirst32Entries) {
    // 40 partitions of 10 MiB with 10 MiB gaps between them.
    std::vector<PartitionEntry> parts;
    for (std::uint32_t i = 0; i < 40; ++i)
        parts.push_back(Gpt(i + 1, 1 + 20 * i, 10));
    const DriveLayout l = GptLayout(M, 1000 * M, parts);
    const PartitionSnapshot s = Build(&l, 1001 * M);
    ASSERT_EQ(s.entries.size(), kMaxSnapshotEntries);
    EXPECT_EQ(Rows(s).front(), Part(1, M, 10 * M));
    EXPECT_EQ(Rows(s).back(), Gap(311 * M, 321 * M));
}

TEST(PartitionSnapshot, WeightsAreLogMegabytesAndSharesSumToOne) {
    struct Case {
        const char* name;
        std::vector<std::uint64_t> lengths; // bytes; consecutive partitions filling the disk
    };
    const Case cases[] = {
        {"ordinary sizes", {1000 * 1000 * 1000ull, 100 * 1000 * 1000ull, 10 * 1000 * 1000ull}},
        {"tiny partitions", {512, 4096, 999 * 1000, 1000 * 1000, 10 * 1000 * 1000ull}},
        {"only tiny partitions", {512, 512}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DriveLayout l = MbrLayout({});
        std::uint64_t at = 0;
        for (std::uint64_t len : c.lengths) {
            PartitionEntry p = Mbr(std::uint32_t(l.partitions.size() + 1), 0, 0);
            p.startingOffset = at;
            p.length = len;
            l.partitions.push_back(p);
            at += len;
        }
        const PartitionSnapshot s = Build(&l, at);
        ASSERT_EQ(s.entries.size(), c.lengths.size());
        double weights = 0, shares = 0;
        for (const auto& e : s.entries) {
            EXPECT_TRUE(std::isfinite(e.weight) && e.weight > 0);
            if (const double mb = double(e.length) / 1e6; mb >= 10) {
                EXPECT_NEAR(e.weight, std::log10(mb), 1e-5);
            }
            weights += e.weight;
            shares += e.share;
        }
        EXPECT_NEAR(shares, 1.0, 1e-5);
        for (const auto& e : s.entries)
            EXPECT_NEAR(e.share, e.weight / weights, 1e-6);
        for (std::size_t i = 1; i < s.entries.size(); ++i)
            if (s.entries[i].length >= s.entries[i - 1].length) {
                EXPECT_GE(s.entries[i].share, s.entries[i - 1].share);
            }
    }
}

class FakeVolumes : public VolumeLookup {
public:
    std::map<std::uint64_t, VolumeMatch> at;
    std::set<std::u16string> files; // root + relative
    char windows = 0;

    bool Find(std::uint64_t offset, VolumeMatch& out) const override {
        const auto it = at.find(offset);
        if (it == at.end()) return false;
        out = it->second;
        return true;
    }
    bool FileExists(const std::u16string& root, std::u16string_view relative) const override {
        return files.count(root + std::u16string(relative)) != 0;
    }
    char WindowsLetter() const override { return windows; }
};

TEST(PartitionSnapshot, VolumesDecideWindowsAndRecoveryKinds) {
    struct Case {
        const char* name;
        VolumeMatch volume;
        std::u16string file; // present under the root
        std::uint8_t expectedKind;
    };
    const Case cases[] = {
        {"the Windows drive", {'C', u"\\\\?\\Volume{1}\\", u"C:\\", u"", u"NTFS"}, u"", 5},
        {"Windows without a letter",
         {0, u"\\\\?\\Volume{2}\\", u"\\\\?\\Volume{2}\\", u"", u"NTFS"},
         u"Windows\\System32\\Config\\System",
         5},
        {"recovery tools",
         {'E', u"\\\\?\\Volume{3}\\", u"E:\\", u"", u"NTFS"},
         u"Recovery\\WindowsRE\\Winre.wim",
         6},
        {"another lettered volume", {'D', u"v", u"D:\\", u"Data", u"NTFS"}, u"", 4},
        {"a volume without a root is not looked into",
         {0, u"/dev/sdb1", u"", u"", u"vfat"},
         u"Windows\\System32\\Config\\System",
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeVolumes v;
        v.windows = 'C';
        v.at[M] = c.volume;
        v.at[101 * M] = c.volume; // a volume at a gap's start gives it no kind
        if (!c.file.empty()) v.files.insert(c.volume.root + c.file);
        const DriveLayout l =
            GptLayout(17408, 999 * M, {Gpt(1, 1, 100, test::kEspType), Gpt(2, 300, 100)});
        const PartitionSnapshot s = Build(&l, 1000 * M, v);
        ASSERT_EQ(s.entries.size(), 4u);
        EXPECT_EQ(s.entries[0].kind, c.expectedKind);
        EXPECT_EQ(s.entries[0].letter, c.volume.letter);
        EXPECT_EQ(s.entries[0].root, c.volume.root);
        EXPECT_EQ(s.entries[0].label, c.volume.label);
        EXPECT_EQ(s.entries[1].kind, partkind::kGap);
        EXPECT_EQ(s.entries[1].root, c.volume.root);
        EXPECT_FALSE(s.entries[2].hasVolume);
        EXPECT_EQ(s.entries[2].kind, partkind::kOrdinary);
    }
}

TEST(PartitionSnapshot, FileSystemNameIsCutToTenCharacters) {
    FakeVolumes v;
    v.at[M] = {'D', u"v", u"D:\\", u"", u"averylongfsname"};
    const DriveLayout l = MbrLayout({Mbr(1, 1, 100), {}, {}, {}});
    const PartitionSnapshot s = Build(&l, 200 * M, v);
    ASSERT_FALSE(s.entries.empty());
    EXPECT_EQ(s.entries[0].fileSystem, u"averylongf");
}

// The layout of a disk comes through the storage back end in use, so simulated drives work.
TEST(PartitionSnapshot, DiskLayoutIsReadThroughTheStorageBackEnd) {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(ec) /
                                      ("tvdpart-" + std::to_string(std::random_device()()));
    ASSERT_TRUE(std::filesystem::create_directory(dir, ec));
    std::ofstream(dir / "d.drive") << "[Drive]\nCapacity=64M\nLayout=mbr:16M/0c,rest\n";
    ErrorCode e = err::kSuccess;
    std::unique_ptr<StoragePlatform> sim = NewSimStorage(dir.string(), e);
    ASSERT_TRUE(sim) << e;
    SelectStorage(sim.get());
    PartitionSnapshot s, missing;
    const ErrorCode read = BuildDiskPartitionSnapshot("SIM\\d", 64 * M, NoVolumeLookup(), s);
    const ErrorCode noDisk =
        BuildDiskPartitionSnapshot("SIM\\none", 64 * M, NoVolumeLookup(), missing);
    SelectStorage(nullptr);
    sim.reset();
    std::filesystem::remove_all(dir, ec);

    EXPECT_EQ(read, err::kSuccess);
    EXPECT_EQ(Rows(s), (std::vector<Row>{Part(1, M, 16 * M), Part(2, 17 * M, 47 * M)}));
    EXPECT_NE(noDisk, err::kSuccess);
    EXPECT_FALSE(missing.hasLayout);
    EXPECT_EQ(Rows(missing), (std::vector<Row>{Gap(0, 64 * M)}));
}

} // namespace
} // namespace tvd
