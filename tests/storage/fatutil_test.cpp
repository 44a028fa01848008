// File-system recognition and the FAT routines on sectors, tables and directory data built
// here: the edge cases and the hostile inputs the images of real tools do not produce.
#include "storage/fatutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "storage/fsrecognizeutil.h"

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Sector(std::size_t size = 512, bool signature = true) {
    Bytes s(size, 0);
    if (signature && size >= 512) {
        s[510] = 0x55;
        s[511] = 0xAA;
    }
    return s;
}

void Put(Bytes& b, std::size_t off, const char* text) {
    std::memcpy(b.data() + off, text, std::strlen(text));
}

TEST(FsRecognize, KindsOfSectors) {
    struct Case {
        const char* what;
        std::size_t size;
        bool signature;
        std::size_t off1;
        const char* text1;
        std::size_t off2;
        const char* text2;
        std::uint8_t kind;
    };
    const Case cases[] = {
        {"zeroed", 512, false, 0, nullptr, 0, nullptr, fskind::kNone},
        {"signed, nothing else", 512, true, 0, nullptr, 0, nullptr, fskind::kOther},
        {"FAT12", 512, true, 54, "FAT12   ", 0, nullptr, fskind::kFat12},
        {"FAT16", 512, true, 54, "FAT16   ", 0, nullptr, fskind::kFat16},
        {"FAT16 without signature", 512, false, 54, "FAT16   ", 0, nullptr, fskind::kNone},
        {"FAT32", 512, true, 82, "FAT32   ", 3, "MSWIN4.1", fskind::kFat32},
        {"FAT32 BitLocker", 512, true, 82, "FAT32   ", 3, "-FVE-FS-", fskind::kOther},
        {"NTFS", 512, true, 3, "NTFS    ", 0, nullptr, fskind::kNtfs},
        {"exFAT", 512, true, 3, "EXFAT   ", 0, nullptr, fskind::kExfat},
        {"FAT text one blank short", 512, true, 54, "FAT16  X", 0, nullptr, fskind::kOther},
        {"4096-byte sector", 4096, false, 3, "NTFS    ", 0, nullptr, fskind::kNone},
        {"short buffer with FAT16 text", 300, false, 54, "FAT16   ", 0, nullptr, fskind::kNone},
    };
    for (const Case& c : cases) {
        Bytes s = Sector(c.size, c.signature);
        if (c.size == 4096 && c.signature) s[510] = 0x55, s[511] = 0xAA;
        if (c.text1) Put(s, c.off1, c.text1);
        if (c.text2) Put(s, c.off2, c.text2);
        EXPECT_EQ(RecognizeFileSystem(s), c.kind) << c.what;
    }
    // A 4096-byte sector carries its signature at 510 too.
    Bytes big = Sector(4096);
    Put(big, 3, "NTFS    ");
    EXPECT_EQ(RecognizeFileSystem(big), fskind::kNtfs);
    // Fewer than 512 bytes are never recognised, whatever they hold.
    Bytes shortSigned = Sector(512);
    Put(shortSigned, 3, "NTFS    ");
    EXPECT_EQ(RecognizeFileSystem(ByteView(shortSigned).first(511)), fskind::kNone);
    EXPECT_EQ(RecognizeFileSystem({}), fskind::kNone);
}

Bytes Bpb(std::uint16_t bps, std::uint8_t spc, std::uint16_t rsvd, std::uint8_t fats,
          std::uint16_t rootEnt, std::uint32_t total, std::uint32_t fatSize, bool fat32) {
    Bytes s = Sector();
    StoreLe<std::uint16_t>(s, bootsector::kBytsPerSec, bps);
    s[bootsector::kSecPerClus] = spc;
    StoreLe<std::uint16_t>(s, bootsector::kRsvdSecCnt, rsvd);
    s[bootsector::kNumFats] = fats;
    StoreLe<std::uint16_t>(s, bootsector::kRootEntCnt, rootEnt);
    SetFatTotalSectors(s, total);
    if (fat32)
        StoreLe<std::uint32_t>(s, bootsector::kFatSz32, fatSize);
    else
        StoreLe<std::uint16_t>(s, bootsector::kFatSz16, std::uint16_t(fatSize));
    return s;
}

TEST(FsRecognize, ClusterCountsOfOddBootSectors) {
    struct Case {
        const char* what;
        Bytes bs;
        bool fat32;
        std::uint64_t clusters;
    };
    const Case cases[] = {
        // (20000 - (4 + 2*20 + 32)) / 4 = 4981
        {"FAT16", Bpb(512, 4, 4, 2, 512, 20000, 20, false), false, 4981},
        // root of 513 entries needs 33 sectors (rounded up)
        {"root rounds up", Bpb(512, 1, 1, 2, 513, 1000, 3, false), false, 1000 - (1 + 6 + 33)},
        {"zero SecPerClus", Bpb(512, 0, 4, 2, 512, 20000, 20, false), false, 0},
        {"zero BytsPerSec", Bpb(0, 4, 4, 2, 512, 20000, 20, false), false, 0},
        {"total below overhead", Bpb(512, 4, 4, 2, 512, 60, 20, false), false, 0},
        {"total equal to overhead", Bpb(512, 4, 4, 2, 512, 76, 20, false), false, 0},
        {"FAT32", Bpb(512, 8, 32, 2, 0, 1000000, 1000, true), true, (1000000 - 2032) / 8},
        {"FAT32 zero SecPerClus", Bpb(512, 0, 32, 2, 0, 1000000, 1000, true), true, 0},
        {"FAT32 below overhead", Bpb(512, 8, 32, 2, 0, 100000, 100000, true), true, 0},
        {"FAT32 all ones", Bpb(0xFFFF, 1, 0, 255, 0, 0xFFFFFFFF, 0xFFFFFFFF, true), true, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.fat32 ? Fat32ClusterCount(c.bs) : FatClusterCount(c.bs), c.clusters) << c.what;
    }
    EXPECT_EQ(FatClusterCount(ByteView(Sector()).first(10)), 0u);
}

TEST(FsRecognize, TotalSectorsGoToOneFieldOnly) {
    Bytes s = Sector();
    StoreLe<std::uint16_t>(s, bootsector::kTotSec16, 0x1234);
    StoreLe<std::uint32_t>(s, bootsector::kTotSec32, 0x55555);
    EXPECT_EQ(FatTotalSectors(s), 0x55555u);
    ASSERT_TRUE(SetFatTotalSectors(s, 0xFFFF));
    EXPECT_EQ(Le<std::uint16_t>(s, bootsector::kTotSec16), 0xFFFF);
    EXPECT_EQ(Le<std::uint32_t>(s, bootsector::kTotSec32), 0u);
    ASSERT_TRUE(SetFatTotalSectors(s, 0x10000));
    EXPECT_EQ(Le<std::uint16_t>(s, bootsector::kTotSec16), 0u);
    EXPECT_EQ(FatTotalSectors(s), 0x10000u);
    Bytes tiny(30);
    EXPECT_FALSE(SetFatTotalSectors(tiny, 5));
}

TEST(FatEntries, PackingOfEveryVariant) {
    Bytes t12(12, 0xAB);
    ASSERT_TRUE(SetFat12Entry(t12, 2, 0x123));
    ASSERT_TRUE(SetFat12Entry(t12, 3, 0x456));
    // Entries 2 and 3 share bytes 3-5: 23 61 45.
    EXPECT_EQ(t12[3], 0x23);
    EXPECT_EQ(t12[4], 0x61);
    EXPECT_EQ(t12[5], 0x45);
    EXPECT_EQ(t12[2], 0xAB); // the neighbours keep their bits
    EXPECT_EQ(t12[6], 0xAB);
    std::uint32_t v = 0;
    EXPECT_TRUE(GetFat12Entry(t12, 2, v) && v == 0x123);
    EXPECT_TRUE(GetFat12Entry(t12, 3, v) && v == 0x456);
    EXPECT_TRUE(GetFat12Entry(t12, 7, v)); // bytes 10 and 11: the last whole entry
    EXPECT_FALSE(GetFat12Entry(t12, 8, v));
    EXPECT_FALSE(SetFat12Entry(t12, 8, 1));

    Bytes t32(16, 0);
    StoreLe<std::uint32_t>(t32, 8, 0xF0000005);
    EXPECT_TRUE(GetFatEntry(FatVariant::k32, t32, 2, v) && v == 5); // top bits ignored
    ASSERT_TRUE(SetFatEntry(FatVariant::k32, t32, 2, 0x0FFFFFFF));
    EXPECT_EQ(Le<std::uint32_t>(t32, 8), 0xFFFFFFFFu); // top bits kept
    EXPECT_FALSE(GetFatEntry(FatVariant::k32, t32, 4, v));
    EXPECT_FALSE(GetFatEntry(FatVariant::k16, t32, 8, v));

    for (FatVariant fv : {FatVariant::k12, FatVariant::k16, FatVariant::k32}) {
        Bytes t(8, 0);
        EXPECT_FALSE(HasFatInitialEntries(fv, t));
        ASSERT_TRUE(SetFatInitialEntries(fv, t));
        EXPECT_TRUE(HasFatInitialEntries(fv, t));
        EXPECT_EQ(t[0], 0xF8);
        Bytes tooShort(2, 0);
        EXPECT_FALSE(SetFatInitialEntries(fv, tooShort));
    }
    // The FAT32 check ignores bits 0-2 and 28-31 of entry 0 and the top 4 bits of entry 1.
    Bytes t(8, 0);
    StoreLe<std::uint32_t>(t, 0, 0x0FFFFFFF);
    StoreLe<std::uint32_t>(t, 4, 0x0FFFFFFF);
    EXPECT_TRUE(HasFatInitialEntries(FatVariant::k32, t));
}

// A FAT16 table with the given links (cluster → next).
Bytes Fat16(std::size_t entries, std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> l) {
    Bytes t(entries * 2, 0);
    SetFatInitialEntries(FatVariant::k16, t);
    for (auto [c, n] : l)
        SetFatEntry(FatVariant::k16, t, c, n);
    return t;
}

std::vector<FatRun> Runs(const ByteBlock& b) {
    std::vector<FatRun> runs;
    FatRun r;
    for (std::uint32_t i = 0; RunListRun(b.View(), i, r); ++i)
        runs.push_back(r);
    return runs;
}

TEST(FatChain, RunsAndBrokenChains) {
    const std::uint32_t eoc = 0xFFFF;
    struct Case {
        const char* what;
        Bytes table;
        std::uint32_t highest, first;
        ErrorCode error;
        std::vector<FatRun> runs;
    };
    const Case cases[] = {
        {"one cluster", Fat16(16, {{5, eoc}}), 15, 5, 0, {{1, 5}}},
        {"two runs",
         Fat16(16, {{2, 3}, {3, 4}, {4, 9}, {9, 10}, {10, 0xFFF8}}),
         15,
         2,
         0,
         {{3, 2}, {2, 9}}},
        {"backwards", Fat16(16, {{9, 8}, {8, 7}, {7, eoc}}), 15, 9, 0, {{1, 9}, {1, 8}, {1, 7}}},
        {"empty chain", Fat16(16, {}), 15, 0, 0, {}},
        {"points at 1", Fat16(16, {{4, 1}}), 15, 4, err::kInvalidData, {}},
        {"points at free", Fat16(16, {{4, 5}}), 15, 4, err::kInvalidData, {}},
        {"first is 1", Fat16(16, {}), 15, 1, err::kInvalidData, {}},
        {"above highest", Fat16(16, {{4, 12}, {12, eoc}}), 10, 4, err::kInvalidData, {}},
        {"loops on itself", Fat16(16, {{4, 4}}), 15, 4, err::kInvalidData, {}},
        {"loops back", Fat16(16, {{2, 3}, {3, 4}, {4, 2}}), 15, 2, err::kInvalidData, {}},
        // A highest number far beyond a small table: the loop still ends after the table's
        // entries, not after four billion steps.
        {"loops, highest huge", Fat16(16, {{2, 3}, {3, 2}}), 0xFFFFFFF0, 2, err::kInvalidData, {}},
        {"highest past the table", Fat16(8, {{6, 7}, {7, 8}}), 100, 6, err::kInvalidData, {}},
        {"first past the table", Fat16(8, {}), 0xFFF0, 40000, err::kInvalidData, {}},
        {"every cluster once", Fat16(6, {{2, 3}, {3, 4}, {4, 5}, {5, eoc}}), 5, 2, 0, {{4, 2}}},
    };
    for (const Case& c : cases) {
        ByteBlock list;
        EXPECT_EQ(LoadFatChain(FatVariant::k16, c.table, c.highest, c.first, list), c.error)
            << c.what;
        EXPECT_EQ(Runs(list), c.runs) << c.what;
        if (c.error != 0 || c.first == 0) {
            EXPECT_EQ(list.data, nullptr) << c.what;
        } else {
            std::uint64_t total = 0;
            for (const FatRun& r : c.runs)
                total += r.clusters;
            EXPECT_EQ(RunListClusters(list.View()), total) << c.what;
            EXPECT_EQ(list.size, runlist::kHeaderSize + c.runs.size() * runlist::kRunSize);
        }
    }
}

TEST(FatChain, DerivedFormsAndVariants) {
    const Bytes t = Fat16(16, {{2, 3}, {3, 0xFFFF}});
    ByteBlock list;
    ASSERT_EQ(LoadFatChain(FatVariant::k16, t, 15, 2, 4096u, list), 0u);
    EXPECT_EQ(RunListBytes(list.View()), 8192u);
    EXPECT_EQ(LoadFatChain(FatVariant::k16, t, 15, 2, 0u, list), err::kInvalidParameter);
    EXPECT_EQ(list.data, nullptr);
    // A file of 8192 bytes fits two clusters; 8193 does not.
    ASSERT_EQ(LoadFatChain(FatVariant::k16, t, 15, 2, std::uint64_t(8192), 4096u, list), 0u);
    EXPECT_EQ(RunListBytes(list.View()), 8192u);
    ASSERT_EQ(LoadFatChain(FatVariant::k16, t, 15, 2, std::uint64_t(5000), 4096u, list), 0u);
    EXPECT_EQ(RunListBytes(list.View()), 5000u);
    EXPECT_EQ(LoadFatChain(FatVariant::k16, t, 15, 2, std::uint64_t(8193), 4096u, list),
              err::kInvalidData);
    EXPECT_EQ(list.data, nullptr);
    EXPECT_EQ(LoadFatChain(FatVariant::k16, t, 15, 2, std::uint64_t(1), 0u, list),
              err::kInvalidParameter);
    // An empty file has no chain and no list; a sized file without a chain is broken.
    EXPECT_EQ(LoadFatChain(FatVariant::k16, t, 15, 0, std::uint64_t(0), 4096u, list), 0u);
    EXPECT_EQ(list.data, nullptr);
    EXPECT_EQ(LoadFatChain(FatVariant::k16, t, 15, 0, std::uint64_t(1), 4096u, list),
              err::kInvalidData);

    // FAT32 links through the low 28 bits; FAT12 ends at 0xFF8.
    Bytes t32(64, 0);
    StoreLe<std::uint32_t>(t32, 4 * 2, 0xA0000003);
    StoreLe<std::uint32_t>(t32, 4 * 3, 0xFFFFFFF8);
    ASSERT_EQ(LoadFatChain(FatVariant::k32, t32, 15, 2, list), 0u);
    EXPECT_EQ(Runs(list), (std::vector<FatRun>{{2, 2}}));
    Bytes t12(24, 0);
    SetFat12Entry(t12, 2, 3);
    SetFat12Entry(t12, 3, 0xFF8);
    ASSERT_EQ(LoadFatChain(FatVariant::k12, t12, 15, 2, list), 0u);
    EXPECT_EQ(Runs(list), (std::vector<FatRun>{{2, 2}}));
}

// Directory data builders.
Bytes ShortEntry(const char* name11, std::uint8_t attr, std::uint32_t cluster = 0,
                 std::uint32_t size = 0, std::uint8_t caseFlags = 0) {
    Bytes e(32, 0);
    std::memcpy(e.data(), name11, 11);
    e[direntry::kAttributes] = attr;
    e[direntry::kCaseFlags] = caseFlags;
    StoreLe<std::uint16_t>(e, direntry::kClusterHigh, std::uint16_t(cluster >> 16));
    StoreLe<std::uint16_t>(e, direntry::kClusterLow, std::uint16_t(cluster));
    StoreLe<std::uint32_t>(e, direntry::kFileSize, size);
    return e;
}

// The long-name entries of `name`, stored order (last part first).
Bytes LongEntries(const std::u16string& name) {
    std::u16string units = name;
    if (units.size() % 13) units.push_back(0);
    while (units.size() % 13)
        units.push_back(0xFFFF);
    const std::size_t count = units.size() / 13;
    static constexpr std::size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    Bytes out;
    for (std::size_t k = count; k-- > 0;) {
        Bytes e(32, 0);
        e[0] = std::uint8_t((k + 1) | (k + 1 == count ? 0x40 : 0));
        e[direntry::kAttributes] = 0x0F;
        for (std::size_t i = 0; i < 13; ++i)
            StoreLe<std::uint16_t>(e, kOffsets[i], units[k * 13 + i]);
        out.insert(out.end(), e.begin(), e.end());
    }
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::u16string NameOf(ByteView rest, std::size_t capacity = 300) {
    std::vector<char16_t> out(capacity);
    const std::size_t n = DirEntryName(rest, out);
    return std::u16string(out.data(), n);
}

TEST(FatDirectory, NamesOfEntries) {
    struct Case {
        const char* what;
        Bytes data;
        std::u16string name;
    };
    const std::u16string longName = u"A rather long file name.text";
    const Bytes longSet = Join({LongEntries(longName), ShortEntry("ARATHE~1TEX", 0x20, 5, 10)});
    Bytes badSequence = longSet;
    badSequence[32] = 0x03; // second entry should carry 2
    Bytes noLast = longSet;
    noLast[0] &= 0x3F;
    const Case cases[] = {
        {"README.TXT lowered", ShortEntry("README  TXT", 0x20, 0, 0, 0x18), u"readme.txt"},
        {"base lowered only", ShortEntry("README  TXT", 0x20, 0, 0, 0x08), u"readme.TXT"},
        {"no extension", ShortEntry("FOLDER     ", 0x10), u"FOLDER"},
        {"dot entry", ShortEntry(".          ", 0x10), u"."},
        {"long name", longSet, longName},
        {"13 units exactly", Join({LongEntries(u"abcdefghijklm"), ShortEntry("ABCDEF~1   ", 0x20)}),
         u"abcdefghijklm"},
        {"wrong sequence", badSequence, u""},
        {"first entry without bit 6", noLast, u""},
        {"set past the data", Bytes(longSet.begin(), longSet.end() - 32), u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NameOf(c.data), c.name) << c.what;
    // The output capacity bounds the name: it needs room for the terminator.
    EXPECT_EQ(NameOf(longSet, longName.size()), u"");
    EXPECT_EQ(NameOf(longSet, longName.size() + 1), longName);
    char small[6];
    EXPECT_EQ(ShortName(ShortEntry("README  TXT", 0x20), small), 0u);
    char fits[11];
    EXPECT_EQ(ShortName(ShortEntry("README  TXT", 0x20), fits), 10u);
}

TEST(FatDirectory, ItemsLengthsAndClusters) {
    const Bytes lfn = LongEntries(u"Some long name here, thirty-one");
    const Bytes data = Join({lfn, ShortEntry("SOMELO~1   ", 0x20, 0x12345, 777)});
    const std::uint32_t sets = std::uint32_t(lfn.size() / 32);
    ASSERT_EQ(sets, 3u);
    EXPECT_TRUE(IsItemEntry(data));
    EXPECT_EQ(LongNameCount(data), 3u);
    EXPECT_EQ(DirEntryLength(data), 128u);
    EXPECT_EQ(EntryFirstCluster(data), 0x12345u);
    EXPECT_EQ(EntryFileSize(data), 777u);
    EXPECT_EQ(EntryAttributes(data), 0x20);
    EXPECT_EQ(DirEntryLength(ByteView(data).first(100)), 0u);
    EXPECT_TRUE(ShortEntryOf(ByteView(data).first(127)).empty());
    EXPECT_EQ(EntryFirstCluster(ByteView(data).first(127)), 0u);

    // A sequence number of 63 placing the short entry 2,016 bytes further: never read.
    Bytes lone(64, 0);
    lone[0] = 0x40 | 63;
    lone[direntry::kAttributes] = 0x0F;
    EXPECT_EQ(DirEntryLength(lone), 0u);
    EXPECT_TRUE(ShortEntryOf(ByteView(lone)).empty());
    EXPECT_FALSE(SetFirstCluster(lone, 9));

    Bytes label = ShortEntry("MYDISK     ", 0x08);
    EXPECT_FALSE(IsItemEntry(label));
    EXPECT_EQ(DirEntryLength(label), 32u);
    Bytes freed = ShortEntry("\xE5OLD    TXT", 0x20);
    EXPECT_TRUE(IsFreeEntry(freed));
    EXPECT_FALSE(IsItemEntry(freed));

    Bytes dir = Join({ShortEntry(".          ", 0x10, 1), ShortEntry("..         ", 0x10, 1), lfn,
                      ShortEntry("SOMELO~1   ", 0x20, 9), ShortEntry("..X        ", 0x20, 4)});
    SetDotEntries(dir, 0x00070001, 0x00080002);
    EXPECT_EQ(EntryFirstCluster(dir), 0x00080002u);
    EXPECT_EQ(EntryFirstCluster(ByteView(dir).subspan(32)), 0x00070001u);
    EXPECT_EQ(EntryFirstCluster(ByteView(dir).subspan(64)), 9u);
    EXPECT_EQ(EntryFirstCluster(ByteView(dir).subspan(192)), 4u);
}

TEST(FatDirectory, LabelEntries) {
    Bytes e(32, 0xCC);
    EXPECT_EQ(MakeLabelEntry(e, "DATA       "), 7u);
    EXPECT_EQ(std::memcmp(e.data(), "DATA       ", 11), 0);
    EXPECT_EQ(MakeLabelEntry(e, std::string_view("NTFS V\0\0\0\0\0", 11)), 5u);
    EXPECT_EQ(std::memcmp(e.data(), "NTFS V     ", 11), 0);
    EXPECT_EQ(MakeLabelEntry(e, std::string_view("A B\0      ", 11)), 8u);
    EXPECT_EQ(std::memcmp(e.data(), "A B        ", 11), 0);
    EXPECT_EQ(e[direntry::kAttributes], 0x08);
    EXPECT_EQ(MakeLabelEntry(e, "ELEVENCHARS"), 0u);
    EXPECT_EQ(MakeLabelEntry(e, "SHORT"), 0u);
    Bytes tiny(16, 0);
    EXPECT_EQ(MakeLabelEntry(tiny, "ELEVENCHARS"), 0u);

    // The label after free entries and a long-name set whose attributes byte would also match.
    const Bytes dir = Join({ShortEntry("\xE5"
                                       "ABEL     X",
                                       0x08),
                            LongEntries(u"label-like"), ShortEntry("LABELL~1   ", 0x20),
                            Bytes(32, 0), ShortEntry("VOLUME     ", 0x08)});
    EXPECT_EQ(FindLabelEntry(dir), std::int64_t(dir.size() - 32));
    EXPECT_EQ(FindLabelEntry(ByteView(dir).first(dir.size() - 1)), -1);
    EXPECT_EQ(FindLabelEntry(LongEntries(u"past the end of the data")), -1);
    EXPECT_EQ(FindLabelEntry({}), -1);
}

TEST(FatDirectory, FsInfoAndByteBlocks) {
    Bytes s(512, 0);
    ASSERT_TRUE(InitFsInfoSector(s));
    EXPECT_EQ(Le<std::uint32_t>(s, 0), 0x41615252u);
    EXPECT_EQ(Le<std::uint32_t>(s, 484), 0x61417272u);
    EXPECT_EQ(Le<std::uint64_t>(s, 488), ~std::uint64_t(0));
    EXPECT_EQ(s[510], 0x55);
    EXPECT_EQ(s[511], 0xAA);
    Bytes small(511, 0);
    EXPECT_FALSE(InitFsInfoSector(small));

    ByteBlock b;
    ASSERT_TRUE(ByteBlockAlloc(b, 100));
    EXPECT_TRUE(b.owned);
    EXPECT_EQ(b.size, 100u);
    std::uint8_t mine[4] = {};
    ByteBlockBorrow(b, mine, 4);
    EXPECT_FALSE(b.owned);
    EXPECT_EQ(b.data, mine);
    ByteBlockFree(b);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.size, 0u);
}

} // namespace
} // namespace tvd
