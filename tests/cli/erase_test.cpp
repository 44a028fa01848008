#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cli/console.h"
#include "storage/simfolder.h"
#include "toolrun.h"

namespace tvd::cli {
namespace {

using test::Flat;
using test::RunTool;
using test::ToolRun;

constexpr std::uint64_t kMiB = 1ull << 20;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Image files written before the drive arrives: a table signature, data blocks spread over the
// disk, and (for small images) every byte non-zero.
void MakeImage(const test::SimFolder& folder, const std::string& name, std::uint64_t bytes,
               bool full) {
    std::ofstream img(folder / (name + ".img"), std::ios::binary | std::ios::trunc);
    const std::string block(4096, static_cast<char>(0xA5));
    if (full) {
        for (std::uint64_t off = 0; off < bytes; off += block.size())
            img.write(block.data(), static_cast<std::streamsize>(block.size()));
    } else {
        for (std::uint64_t off = 0; off + block.size() <= bytes; off += 7 * kMiB) {
            img.seekp(static_cast<std::streamoff>(off));
            img.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
        img.seekp(static_cast<std::streamoff>(bytes - 1));
        img.put('\x5A');
    }
    img.seekp(510);
    img.write("\x55\xAA", 2);
}

std::string FileBytes(const test::SimFolder& folder, const std::string& rel) {
    std::ifstream f(folder / rel, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

class EraseCommand : public ::testing::Test {
protected:
    ToolRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--simulate", folder_.Path()});
        return RunTool(std::move(args));
    }
    test::SimFolder folder_;
};

// Whether every byte of a file is zero, read a MiB at a time.
bool AllZeros(const test::SimFolder& folder, const std::string& rel, std::uint64_t expected) {
    std::ifstream f(folder / rel, std::ios::binary);
    std::vector<char> chunk(kMiB);
    std::uint64_t total = 0;
    while (f.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || f.gcount() > 0) {
        const auto got = static_cast<std::size_t>(f.gcount());
        for (std::size_t i = 0; i < got; ++i)
            if (chunk[i] != 0) return false;
        total += got;
    }
    return total == expected;
}

TEST_F(EraseCommand, TrimErasesEveryByteInSteps) {
    // 300 MiB: one whole 256 MiB request and a short one.
    folder_.Drive("ssd", "Model=Erase SSD\nCapacity=300M\nTrim=1");
    MakeImage(folder_, "ssd", 300 * kMiB, false);
    EXPECT_FALSE(AllZeros(folder_, "ssd.img", 300 * kMiB));
    ToolRun r = Run({"--json", "erase", "ssd", "--yes", "--trace"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string flat = Flat(r.out);
    EXPECT_TRUE(Has(flat, R"("result": "done")")) << flat;
    EXPECT_TRUE(Has(flat, R"("trimmedBytes": 314572800,)")) << flat;
    EXPECT_TRUE(Has(flat, R"("trimRequests": 2,)")) << flat;
    EXPECT_TRUE(Has(r.err, "trim: offset 0 length 268435456: "));
    EXPECT_TRUE(Has(r.err, "trim: offset 268435456 length 46137344: "));
    EXPECT_TRUE(Has(r.err, "delete-layout: "));
    EXPECT_TRUE(AllZeros(folder_, "ssd.img", 300 * kMiB));
}

TEST_F(EraseCommand, RefusalsLeaveTheImageByteIdentical) {
    struct Row {
        const char* name;
        const char* drive;
        int status;
        const char* text;
    } rows[] = {
        {"sys", "Capacity=8M\nTrim=1\nSystemDisk=1", 3,
         "This SSD is system drive and it can't do security erase."},
        {"mounted", "Capacity=8M\nTrim=1\nMountedVolume=1", 3, "a volume of the drive is mounted"},
        // A SCSI disk without TRIM offers no method at all.
        {"plain", "Bus=SCSI\nCapacity=8M", 4, "Security erase is not support on this SSD driver."},
    };
    for (const Row& row : rows) {
        folder_.Drive(row.name, row.drive);
        MakeImage(folder_, row.name, 8 * kMiB, true);
        const std::string before = FileBytes(folder_, std::string(row.name) + ".img");
        for (const char* extra : {"--yes", "--check"}) {
            ToolRun r = Run({"erase", row.name, extra, "--trace"});
            EXPECT_EQ(r.status, std::string(extra) == "--check" ? 0 : row.status)
                << row.name << r.out << r.err;
            EXPECT_TRUE(Has(r.out + r.err, row.text)) << row.name << r.out << r.err;
            for (const char* write : {"trim:", "write:", "delete-layout:"})
                EXPECT_FALSE(Has(r.err, write)) << row.name << " " << write;
            EXPECT_EQ(FileBytes(folder_, std::string(row.name) + ".img"), before) << row.name;
        }
    }
}

TEST_F(EraseCommand, IgnoredTrimIsAFailure) {
    folder_.Drive("hint", "Capacity=8M\nTrim=1\n[Faults]\nTrimIgnored=1");
    MakeImage(folder_, "hint", 8 * kMiB, true);
    ToolRun r = Run({"erase", "hint", "--yes"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "Security Erase failed.")) << r.out;
    EXPECT_TRUE(Has(r.out, "table deleted")) << r.out;
    EXPECT_TRUE(Has(r.out, "still hold their old data")) << r.out;

    // The same drive honouring TRIM is erased.
    folder_.Drive("hint", "Capacity=8M\nTrim=1\n;honours TRIM");
    r = Run({"erase", "hint", "--yes"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "Security Erase done.")) << r.out;
}

TEST_F(EraseCommand, CheckNamedMethodsAndUsage) {
    folder_.Drive("ssd", "Capacity=8M\nTrim=1");
    folder_.Drive("hdd", "Capacity=8M");
    ToolRun r = Run({"--json", "erase", "ssd", "--check"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(Flat(r.out), R"("method": "trim",)")) << r.out;
    EXPECT_TRUE(Has(Flat(r.out), R"("wouldErase": true)")) << r.out;

    // A SATA disk without TRIM has the ATA security feature set, which this build does not
    // carry out: not supported, nothing written.
    r = Run({"erase", "hdd", "--check"});
    EXPECT_TRUE(Has(r.out, "method: ata-security")) << r.out;
    r = Run({"erase", "hdd", "--yes"});
    EXPECT_EQ(r.status, 4) << r.out << r.err;

    // A named method whose row does not hold is refused.
    r = Run({"erase", "ssd", "--method", "scsi-sanitize", "--yes"});
    EXPECT_EQ(r.status, 4) << r.out << r.err;
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"erase"},
                                                {"erase", "ssd", "--method", "shred"},
                                                {"erase", "ssd", "--action", "melt"},
                                                {"erase", "ssd", "--bogus"}})
        EXPECT_EQ(Run(bad).status, 2);
}

TEST_F(EraseCommand, WithoutYesAndWithoutATerminalNothingIsErased) {
    if (IsTerminal(stdin)) GTEST_SKIP() << "standard input is a terminal: the questions would wait";
    folder_.Drive("ssd", "Capacity=8M\nTrim=1");
    MakeImage(folder_, "ssd", 8 * kMiB, true);
    const std::string before = FileBytes(folder_, "ssd.img");
    ToolRun r = Run({"erase", "ssd"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(FileBytes(folder_, "ssd.img"), before);
}

} // namespace
} // namespace tvd::cli
