// The file-system block against the tools that made and read the file systems.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "foundation/textconvutil.h"
#include "report/infowritefilesystemutil.h"
#include "storage/simfolder.h"

namespace tvd {
namespace {

std::string Shell(const std::string& command, int& status) {
    std::string out;
    std::FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) {
        status = -1;
        return out;
    }
    for (int c; (c = std::fgetc(p)) != EOF;)
        out += static_cast<char>(c);
    status = pclose(p);
    return out;
}

std::string Block(ByteView sector) {
    MemoryReportSink sink;
    ReportWriter w(&sink, ReportEncoding::kUtf8Lf);
    EXPECT_TRUE(WriteFileSystemBlock(w, sector));
    return std::string(sink.Bytes().begin(), sink.Bytes().end());
}

std::vector<std::uint8_t> FirstSector(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> s(512);
    in.read(reinterpret_cast<char*>(s.data()), 512);
    return s;
}

// The number after `pattern` (a regex with one group) in `text`; -1 when absent.
long long Number(const std::string& text, const std::string& pattern) {
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? std::stoll(m[1]) : -1;
}

// Both found, and equal: a value missing on both sides proves nothing.
void ExpectSame(long long ours, long long theirs) {
    EXPECT_GE(ours, 0);
    EXPECT_EQ(ours, theirs);
}

class ToolImage : public ::testing::Test {
protected:
    test::SimFolder dir;
    std::string Image(const char* name) {
        const std::string path = (dir / name).string();
        std::ofstream(path).close();
        std::filesystem::resize_file(path, 64u << 20);
        return path;
    }
    bool Have(const char* tool) {
        int status = 0;
        Shell(std::string("command -v ") + tool, status);
        return status == 0;
    }
};

TEST_F(ToolImage, FatAgreesWithFsckFat) {
    if (!Have("mkfs.fat") || !Have("fsck.fat")) GTEST_SKIP() << "dosfstools not installed";
    for (const char* bits : {"12", "16", "32"}) {
        SCOPED_TRACE(bits);
        const std::string img = Image((std::string("fat") + bits + ".img").c_str());
        int status = 0;
        // FAT12 needs small clusters to stay below its cluster limit in 64 MiB: 16 MiB then.
        if (std::string(bits) == "12") std::filesystem::resize_file(img, 16u << 20);
        Shell(std::string("mkfs.fat -F ") + bits + " '" + img + "'", status);
        ASSERT_EQ(status, 0);
        const std::string fsck = Shell("fsck.fat -n -v '" + img + "'", status);
        const std::string block = Block(FirstSector(img));
        EXPECT_NE(block.find(std::string(" FAT") + bits + " File System :"), std::string::npos)
            << block;
        ExpectSame(Number(block, "Bytes Per Sector = \\[(\\d+)\\]"),
                   Number(fsck, "(\\d+) bytes per logical sector"));
        ExpectSame(Number(block, "Sectors Per Cluster = \\[\\d+\\] \\((\\d+) Bytes\\)"),
                   Number(fsck, "(\\d+) bytes per cluster"));
        ExpectSame(Number(block, "Reserved Sectors = \\[(\\d+)\\]"),
                   Number(fsck, "(\\d+) reserved sectors"));
        ExpectSame(Number(block, "Hidden Sectors = \\[(\\d+)\\]"),
                   Number(fsck, "(\\d+) hidden sectors"));
        ExpectSame(Number(block, "Total Sectors = \\[(\\d+)\\]"),
                   Number(fsck, "(\\d+) sectors total"));
        ExpectSame(Number(block, "Sectors Per Fat = \\[(\\d+)\\]"),
                   Number(fsck, "bytes per FAT \\(= (\\d+) sectors\\)"));
        ExpectSame(Number(block, "Total Clusters = \\[(\\d+)\\]"),
                   Number(fsck, "(\\d+) data clusters"));
    }
}

TEST_F(ToolImage, ExfatAgreesWithDumpExfat) {
    if (!Have("mkfs.exfat") || !Have("dump.exfat")) GTEST_SKIP() << "exfatprogs not installed";
    const std::string img = Image("exfat.img");
    int status = 0;
    Shell("mkfs.exfat '" + img + "'", status);
    ASSERT_EQ(status, 0);
    const std::string dump = Shell("dump.exfat '" + img + "'", status);
    const std::string block = Block(FirstSector(img));
    EXPECT_NE(block.find(" exFAT File System :"), std::string::npos) << block;
    ExpectSame(Number(block, "Total Sectors = \\[(\\d+)\\]"),
               Number(dump, "Volume Length\\(sectors\\):\\s+(\\d+)"));
    ExpectSame(Number(block, "FAT Sector No = \\[(\\d+)\\]"),
               Number(dump, "FAT Offset\\(sector offset\\):\\s+(\\d+)"));
    ExpectSame(Number(block, "Sectors Per FAT = \\[(\\d+)\\]"),
               Number(dump, "FAT Length\\(sectors\\):\\s+(\\d+)"));
    ExpectSame(Number(block, "Cluster Heap = \\[(\\d+)\\]"),
               Number(dump, "Cluster Heap Offset \\(sector offset\\):\\s+(\\d+)"));
    ExpectSame(Number(block, "Cluster Count = \\[(\\d+)\\]"),
               Number(dump, "Cluster Count:\\s+(\\d+)"));
    ExpectSame(Number(block, "RootDir = \\[(\\d+)\\]"),
               Number(dump, "Root Cluster \\(cluster offset\\):\\s+(\\d+)"));
    ExpectSame(Number(block, "Sectors Per Cluster = \\[\\d+\\] \\((\\d+) Bytes\\)"),
               Number(dump, "Cluster size:\\s+(\\d+)"));
}

TEST_F(ToolImage, NtfsAgreesWithNtfsinfo) {
    if (!Have("mkntfs") || !Have("ntfsinfo")) GTEST_SKIP() << "ntfs-3g tools not installed";
    const std::string img = Image("ntfs.img");
    int status = 0;
    Shell("mkntfs -F -Q '" + img + "'", status);
    ASSERT_EQ(status, 0);
    const std::string info = Shell("ntfsinfo -m '" + img + "'", status);
    const std::string block = Block(FirstSector(img));
    EXPECT_NE(block.find(" NTFS File System :"), std::string::npos) << block;
    ExpectSame(Number(block, "Bytes Per Sector = \\[(\\d+)\\]"),
               Number(info, "Sector Size: (\\d+)"));
    ExpectSame(Number(block, "Sectors Per Cluster = \\[\\d+\\] \\((\\d+) Bytes\\)"),
               Number(info, "Cluster Size: (\\d+)"));
    ExpectSame(Number(block, "ClusterPerMft = \\[-?\\d+\\] \\((\\d+) Bytes\\)"),
               Number(info, "MFT Record Size: (\\d+)"));
    ExpectSame(Number(block, "ClusterPerIndex = \\[-?\\d+\\] \\((\\d+) Bytes\\)"),
               Number(info, "Index Block Size: (\\d+)"));
    ExpectSame(Number(block, "Total Clusters = \\[(\\d+)\\]"),
               Number(info, "Volume Size in Clusters: (\\d+)"));
    ExpectSame(Number(block, "Start Mft Cluster = \\[(\\d+)\\]"),
               Number(info, "LCN of Data Attribute for FILE_MFT: (\\d+)"));
    ExpectSame(Number(block, "Start Mft Mirror Cluster = \\[(\\d+)\\]"),
               Number(info, "LCN of Data Attribute for File_MFTMirr: (\\d+)"));
}

TEST(FileSystemBlock, HostileSectors) {
    std::vector<std::uint8_t> s(512, 0);
    EXPECT_EQ(Block(s), " NOT formatted\n");
    s[0] = 0xEB;
    s[510] = 0x55;
    s[511] = 0xAA;
    EXPECT_EQ(Block(s), " Unknown File System\n");
    EXPECT_EQ(Block(ByteView(s).first(100)), " Unknown File System\n");
    // NTFS with zero sectors per cluster and a record size of 2^-(-10) bytes.
    std::copy_n("NTFS    ", 8, s.begin() + 3);
    s[11] = 0x00;
    s[12] = 0x02;
    s[13] = 0;
    s[40] = 0xFF;
    s[64] = 0xF6; // -10
    s[68] = 0x80; // -128: no size at all
    const std::string ntfs = Block(s);
    EXPECT_NE(ntfs.find("  ClusterPerMft = [-10] (1024 Bytes)"), std::string::npos) << ntfs;
    EXPECT_NE(ntfs.find("  ClusterPerIndex = [-128] (0 Bytes)"), std::string::npos) << ntfs;
    EXPECT_NE(ntfs.find("  Total Clusters = [0]"), std::string::npos) << ntfs;
    // exFAT with absurd shifts: no derived sizes.
    std::fill(s.begin() + 3, s.begin() + 11, 0);
    std::copy_n("EXFAT   ", 8, s.begin() + 3);
    s[108] = 200;
    s[109] = 200;
    const std::string exfat = Block(s);
    EXPECT_NE(exfat.find("  Sectors Per Cluster = [0] (0 Bytes)"), std::string::npos) << exfat;
    for (std::uint32_t n : {0u, 256u, 511u, 513u, 1000u, 8192u})
        EXPECT_FALSE(BootSectorSizeValid(n)) << n;
    for (std::uint32_t n : {512u, 1024u, 2048u, 4096u})
        EXPECT_TRUE(BootSectorSizeValid(n)) << n;
}

} // namespace
} // namespace tvd
