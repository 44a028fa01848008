// The file-system recognizer and the FAT routines against volumes made by dosfstools, mtools,
// mkntfs, exfatprogs and e2fsprogs: every file mtools copied in reads back through its run
// list, names and the label are those mdir lists, cluster counts are those fsck.fat reports,
// and what the routines write leaves a volume fsck.fat finds clean.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <set>

#include "foundation/textconvutil.h"
#include "storage/fatutil.h"
#include "storage/fsrecognizeutil.h"
#include "storage/linux/linuxtesttools.h"

namespace tvd {
namespace {

using test::RunTool;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const std::string& path, ByteView data) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

// A FAT volume in memory, read with the routines under test only.
struct FatVolume {
    Bytes image;
    std::uint8_t kind = 0;
    FatVariant variant = FatVariant::k16;
    std::uint32_t bps = 0, clusterBytes = 0, highest = 0;
    std::uint64_t clusters = 0, fatOffset = 0, fatBytes = 0, rootOffset = 0, rootBytes = 0,
                  dataOffset = 0;
    std::uint32_t rootCluster = 0;

    bool Open(Bytes bytes) {
        image = std::move(bytes);
        const ByteView bs = ByteView(image).first(512);
        kind = RecognizeFileSystem(bs);
        if (!FatVariantOfKind(kind, variant)) return false;
        bps = Le<std::uint16_t>(bs, bootsector::kBytsPerSec);
        clusterBytes = bps * Le<std::uint8_t>(bs, bootsector::kSecPerClus);
        const std::uint64_t rsvd = Le<std::uint16_t>(bs, bootsector::kRsvdSecCnt);
        const std::uint64_t fats = Le<std::uint8_t>(bs, bootsector::kNumFats);
        const bool fat32 = kind == fskind::kFat32;
        const std::uint64_t fatSectors = fat32 ? Le<std::uint32_t>(bs, bootsector::kFatSz32)
                                               : Le<std::uint16_t>(bs, bootsector::kFatSz16);
        clusters = fat32 ? Fat32ClusterCount(bs) : FatClusterCount(bs);
        highest = std::uint32_t(clusters + 1);
        fatOffset = rsvd * bps;
        fatBytes = fatSectors * bps;
        rootOffset = fatOffset + fats * fatBytes;
        rootBytes = std::uint64_t(Le<std::uint16_t>(bs, bootsector::kRootEntCnt)) * 32;
        dataOffset = rootOffset + (rootBytes + bps - 1) / bps * bps;
        rootCluster = fat32 ? Le<std::uint32_t>(bs, bootsector::kRootClus) : 0;
        return clusterBytes != 0 && dataOffset <= image.size();
    }
    ByteView Fat() const { return ByteView(image).subspan(fatOffset, fatBytes); }
    Bytes ReadRuns(const ByteBlock& list) const {
        Bytes out;
        FatRun run;
        for (std::uint32_t i = 0; RunListRun(list.View(), i, run); ++i) {
            const std::uint64_t off = dataOffset + (run.first - 2) * clusterBytes;
            const std::uint64_t n = run.clusters * clusterBytes;
            if (off + n > image.size()) return {};
            out.insert(out.end(), image.begin() + off, image.begin() + off + n);
        }
        out.resize(std::min<std::uint64_t>(out.size(), RunListBytes(list.View())));
        return out;
    }
    Bytes Root() const {
        if (kind != fskind::kFat32)
            return Bytes(image.begin() + rootOffset, image.begin() + rootOffset + rootBytes);
        ByteBlock list;
        EXPECT_EQ(LoadFatChain(variant, Fat(), highest, rootCluster, clusterBytes, list), 0u);
        return ReadRuns(list);
    }

    struct Item {
        bool dir = false;
        Bytes content;
        std::uint32_t runs = 0;
    };
    // Every item under a directory, by path ("Sub/" for folders).
    void Walk(const Bytes& dir, const std::string& prefix, std::map<std::string, Item>& out) const {
        for (std::size_t off = 0; off < dir.size();) {
            const ByteView rest = ByteView(dir).subspan(off);
            if (rest[0] == 0) break;
            const std::uint32_t len = DirEntryLength(rest);
            ASSERT_NE(len, 0u) << prefix << " at " << off;
            off += len;
            if (!IsItemEntry(rest)) continue;
            char16_t name16[300];
            const std::size_t n = DirEntryName(rest, name16);
            ASSERT_NE(n, 0u) << prefix << " at " << off - len;
            const std::string name = Utf16ToUtf8(std::u16string(name16, n));
            if (name == "." || name == "..") continue;
            ByteBlock list;
            Item item;
            item.dir = (EntryAttributes(rest) & direntry::kDirectoryAttribute) != 0;
            if (item.dir) {
                ASSERT_EQ(LoadFatChain(variant, Fat(), highest, EntryFirstCluster(rest),
                                       clusterBytes, list),
                          0u)
                    << name;
                Walk(ReadRuns(list), prefix + name + "/", out);
            } else {
                ASSERT_EQ(LoadFatChain(variant, Fat(), highest, EntryFirstCluster(rest),
                                       std::uint64_t(EntryFileSize(rest)), clusterBytes, list),
                          0u)
                    << name;
                item.content = ReadRuns(list);
                item.runs = RunListCount(list.View());
            }
            out[prefix + name + (item.dir ? "/" : "")] = std::move(item);
        }
    }
};

struct Layout {
    const char* what;
    int fatBits, secPerClus, sectorSize;
    std::uint32_t kib;
};

class FatTools : public ::testing::TestWithParam<Layout> {
protected:
    void SetUp() override {
        for (const char* tool : {"mkfs.fat", "fsck.fat", "mcopy", "mmd", "mdel", "mdir"})
            if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed (setup.sh)";
        ASSERT_FALSE(tmp_.Path().empty());
        setenv("MTOOLS_SKIP_CHECK", "1", 1);
    }

    std::string M(const std::string& cmd, const std::string& args) const {
        return cmd + " -i " + Quote(img_) + " " + args + " 2>&1";
    }
    void Copy(const std::string& dest, const Bytes& content) {
        const std::string src = tmp_ / "src.bin";
        WriteFile(src, content);
        const auto r = RunTool(M("mcopy -o", Quote(src) + " " + Quote("::/" + dest)));
        ASSERT_EQ(r.status, 0) << r.output;
        files_[dest] = content;
    }
    Bytes Random(std::size_t n) {
        Bytes b(n);
        for (auto& x : b)
            x = std::uint8_t(rng_());
        return b;
    }

    test::TempDir tmp_;
    std::string img_;
    std::map<std::string, Bytes> files_;
    std::set<std::string> dirs_;
    std::mt19937 rng_{19};
};

TEST_P(FatTools, FilesNamesLabelAndCountsAsTheToolsSeeThem) {
    const Layout& l = GetParam();
    img_ = tmp_ / "fat.img";
    auto r = RunTool("mkfs.fat -C -F " + std::to_string(l.fatBits) + " -s " +
                     std::to_string(l.secPerClus) + " -S " + std::to_string(l.sectorSize) +
                     " -n TVDLABEL " + Quote(img_) + " " + std::to_string(l.kib) + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.output;

    const std::uint32_t cluster = std::uint32_t(l.secPerClus * l.sectorSize);
    for (const char* d : {"Sub", "Sub/Deeper folder", "EMPTYDIR"}) {
        r = RunTool(M("mmd", Quote(std::string("::/") + d)));
        ASSERT_EQ(r.status, 0) << r.output;
        dirs_.insert(std::string(d) + "/");
    }
    Copy("A long file name here.txt", Random(3000));
    Copy("lower.txt", Random(100));
    Copy("MiXed.Txt", Random(cluster + 1));
    Copy("empty.dat", {});
    Copy("Sub/Deeper folder/A nested file with a rather long name.bin", Random(cluster * 3 + 17));
    // Every other file deleted: the next one fills the holes and is fragmented.
    for (int i = 0; i < 8; ++i)
        Copy("F" + std::to_string(i) + ".BIN", Random(cluster * 2));
    for (int i = 0; i < 8; i += 2) {
        r = RunTool(M("mdel", Quote("::/F" + std::to_string(i) + ".BIN")));
        ASSERT_EQ(r.status, 0) << r.output;
        files_.erase("F" + std::to_string(i) + ".BIN");
    }
    // mtools allocates FAT32 clusters from the FSInfo hint on: point it at the first cluster
    // so that the holes are filled.
    if (l.fatBits == 32) {
        Bytes img = ReadFile(img_);
        const std::uint64_t fsInfo =
            std::uint64_t(Le<std::uint16_t>(img, bootsector::kFsInfo)) * l.sectorSize;
        ASSERT_TRUE(StoreLe<std::uint32_t>(img, fsInfo + 492, 2));
        WriteFile(img_, img);
    }
    Copy("Sub/fragmented.bin", Random(cluster * 7 + 5));

    FatVolume vol;
    ASSERT_TRUE(vol.Open(ReadFile(img_)));
    const std::uint8_t kinds[] = {0, fskind::kFat12, fskind::kFat16, 0, fskind::kFat32};
    EXPECT_EQ(vol.kind, kinds[l.fatBits / 8]);

    // Cluster count as fsck.fat reports it.
    r = RunTool("fsck.fat -v -n " + Quote(img_) + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.output;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.output, m, std::regex(R"((\d+) data clusters)"))) << r.output;
    EXPECT_EQ(vol.clusters, std::stoull(m[1]));

    // Every file and folder, read through its run list.
    std::map<std::string, FatVolume::Item> items;
    vol.Walk(vol.Root(), "", items);
    std::set<std::string> found;
    for (const auto& [path, item] : items) {
        found.insert(path);
        if (item.dir) continue;
        auto it = files_.find(path);
        ASSERT_NE(it, files_.end()) << path;
        EXPECT_TRUE(item.content == it->second) << path << " differs from what mcopy copied";
    }
    EXPECT_GE(items["Sub/fragmented.bin"].runs, 2u);
    std::set<std::string> expected(dirs_);
    for (const auto& f : files_)
        expected.insert(f.first);
    EXPECT_EQ(found, expected);

    // The names as mdir lists them.
    r = RunTool(M("mdir", "-/ -b ::"));
    ASSERT_EQ(r.status, 0) << r.output;
    std::set<std::string> listed;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("::/", 0) == 0) listed.insert(line.substr(3));
    EXPECT_EQ(found, listed);

    // The label entry of the root.
    const Bytes root = vol.Root();
    const std::int64_t at = FindLabelEntry(root);
    ASSERT_GE(at, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(root.data() + at), 11), "TVDLABEL   ");
}

TEST_P(FatTools, WrittenStructuresPassFsck) {
    const Layout& l = GetParam();
    if (!test::HaveTool("fsck.fat")) GTEST_SKIP() << "fsck.fat is not installed";
    img_ = tmp_ / "w.img";
    auto r = RunTool("mkfs.fat -C -F " + std::to_string(l.fatBits) + " -s " +
                     std::to_string(l.secPerClus) + " -S " + std::to_string(l.sectorSize) +
                     " -n OLDLABEL " + Quote(img_) + " " + std::to_string(l.kib) + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.output;
    Copy("file.txt", Random(5000));

    FatVolume vol;
    ASSERT_TRUE(vol.Open(ReadFile(img_)));
    Bytes& img = vol.image;
    const MutableByteView bs = MutableByteView(img).first(512);
    ASSERT_TRUE(SetFatTotalSectors(bs, FatTotalSectors(bs)));
    // Entries 0 and 1 of every FAT copy rewritten from nothing.
    const std::uint8_t fats = bs[bootsector::kNumFats];
    for (std::uint8_t i = 0; i < fats; ++i) {
        const MutableByteView fat =
            MutableByteView(img).subspan(vol.fatOffset + i * vol.fatBytes, vol.fatBytes);
        std::fill_n(fat.begin(),
                    vol.kind == fskind::kFat12   ? 3
                    : vol.kind == fskind::kFat16 ? 4
                                                 : 8,
                    0);
        ASSERT_TRUE(SetFatInitialEntries(vol.variant, fat));
        EXPECT_TRUE(HasFatInitialEntries(vol.variant, fat));
    }
    // The label, in the root and in the boot sector.
    const std::uint64_t rootAt = vol.kind == fskind::kFat32
                                     ? vol.dataOffset + (vol.rootCluster - 2) * vol.clusterBytes
                                     : vol.rootOffset;
    const Bytes root = vol.Root();
    const std::int64_t at = FindLabelEntry(root);
    ASSERT_GE(at, 0);
    EXPECT_EQ(MakeLabelEntry(MutableByteView(img).subspan(rootAt + at, 32), "NEWLABEL   "), 3u);
    const std::size_t bootLabel =
        vol.kind == fskind::kFat32 ? bootsector::kFat32Label : bootsector::kFat16Label;
    std::memcpy(img.data() + bootLabel, "NEWLABEL   ", 11);
    if (vol.kind == fskind::kFat32) {
        const std::uint16_t backup = Le<std::uint16_t>(bs, bootsector::kBkBootSec);
        std::memcpy(img.data() + backup * vol.bps + bootLabel, "NEWLABEL   ", 11);
    }
    if (vol.kind == fskind::kFat32) {
        const std::uint16_t fsInfo = Le<std::uint16_t>(bs, bootsector::kFsInfo);
        const MutableByteView sector = MutableByteView(img).subspan(fsInfo * vol.bps, vol.bps);
        std::fill(sector.begin(), sector.end(), 0);
        ASSERT_TRUE(InitFsInfoSector(sector));
    }
    WriteFile(img_, img);

    r = RunTool("fsck.fat -n " + Quote(img_) + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("differ"), std::string::npos) << r.output;
    r = RunTool(M("mdir", "::"));
    EXPECT_NE(r.output.find("Volume in drive : is NEWLABEL"), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Layouts, FatTools,
                         ::testing::Values(Layout{"fat12_s1", 12, 1, 512, 1440},
                                           Layout{"fat12_s4", 12, 4, 512, 8192},
                                           Layout{"fat16_s4", 16, 4, 512, 32768},
                                           Layout{"fat16_4k", 16, 1, 4096, 65536},
                                           Layout{"fat32_s1", 32, 1, 512, 40960},
                                           Layout{"fat32_4k", 32, 1, 4096, 300000}),
                         [](const auto& info) { return std::string(info.param.what); });

// One table of first sectors made by the tools, and made here.
TEST(FsRecognizeTools, KindsOfFormattedVolumes) {
    test::TempDir tmp;
    ASSERT_FALSE(tmp.Path().empty());
    struct Case {
        const char* what;
        const char* tool;
        std::string command; // formats IMG
        std::uint8_t kind;
    };
    const Case cases[] = {
        {"FAT12", "mkfs.fat", "mkfs.fat -C -F 12 IMG 2048", fskind::kFat12},
        {"FAT16", "mkfs.fat", "mkfs.fat -C -F 16 IMG 20480", fskind::kFat16},
        {"FAT32", "mkfs.fat", "mkfs.fat -C -F 32 IMG 40960", fskind::kFat32},
        {"FAT32 4096-byte sectors", "mkfs.fat", "mkfs.fat -C -F 32 -S 4096 IMG 65536",
         fskind::kFat32},
        {"NTFS", "mkntfs", "truncate -s 16M IMG && mkntfs -F -Q -q IMG", fskind::kNtfs},
        {"exFAT", "mkfs.exfat", "truncate -s 16M IMG && mkfs.exfat IMG", fskind::kExfat},
        {"ext4 (no boot signature)", "mkfs.ext4", "truncate -s 16M IMG && mkfs.ext4 -q IMG",
         fskind::kNone},
        {"zeroed", "truncate", "truncate -s 1M IMG", fskind::kNone},
        {"BitLocker-marked FAT32", "mkfs.fat",
         "mkfs.fat -C -F 32 IMG 40960 && printf -- '-FVE-FS-' | dd of=IMG bs=1 seek=3 "
         "conv=notrunc status=none",
         fskind::kOther},
        {"garbage with 55 AA", "dd",
         "head -c 512 /dev/urandom > IMG && printf '\\125\\252' | dd of=IMG bs=1 seek=510 "
         "conv=notrunc status=none",
         fskind::kOther},
    };
    int n = 0;
    for (const Case& c : cases) {
        if (!test::HaveTool(c.tool)) {
            ADD_FAILURE() << c.tool << " is not installed (setup.sh)";
            continue;
        }
        const std::string img = tmp / ("v" + std::to_string(n++) + ".img");
        const std::string cmd =
            std::regex_replace(c.command, std::regex("IMG"), Quote(img)) + " >/dev/null 2>&1";
        ASSERT_EQ(RunTool(cmd).status, 0) << c.what << ": " << cmd;
        Bytes sector = ReadFile(img);
        sector.resize(4096);
        EXPECT_EQ(RecognizeFileSystem(ByteView(sector).first(512)), c.kind) << c.what;
        // What matters is the first 512 bytes; a 4096-byte sector reads the same.
        EXPECT_EQ(RecognizeFileSystem(sector), c.kind) << c.what;
    }
}

} // namespace
} // namespace tvd
