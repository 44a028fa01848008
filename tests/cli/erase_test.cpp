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
// Windows sends ATA and NVMe commands as device-control requests, which the trace does not
// show; Linux sends them as SCSI pass-through and NVMe admin commands, which it does.
#ifdef _WIN32
constexpr bool kTraceShowsCommands = false;
#else
constexpr bool kTraceShowsCommands = true;
#endif

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
        // With --json the refusal is in the output as well.
        ToolRun j = Run({"--json", "erase", row.name, "--yes"});
        EXPECT_EQ(j.status, row.status) << row.name;
        EXPECT_TRUE(Has(j.out, "\"result\": \"refused\"")) << row.name << j.out;
        EXPECT_TRUE(Has(j.out, row.text)) << row.name << j.out;
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

    // A SATA disk without TRIM falls to the ATA security feature set.
    r = Run({"erase", "hdd", "--check"});
    EXPECT_TRUE(Has(r.out, "method: ata-security")) << r.out;
    EXPECT_TRUE(Has(r.out, "ATA security: disabled")) << r.out;
    r = Run({"erase", "hdd", "--yes"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;

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

namespace tvd::cli {
namespace {

// IDENTIFY DEVICE with ATA-6 (word 80), the security feature set (word 82 bit 1), LBA (word 49),
// the given word 128 and a valid checksum, as a drive file's hexadecimal value.
std::string IdentifyHex(std::uint16_t word128) {
    std::vector<std::uint8_t> id(512, 0);
    auto put = [&](int word, std::uint16_t v) {
        id[word * 2] = static_cast<std::uint8_t>(v);
        id[word * 2 + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    put(0, 0x0040);
    // Serial (words 10-19), firmware (23-26) and model (27-46) in printable text.
    for (int word : {10, 23, 27})
        for (int i = 0; i < (word == 23 ? 4 : word == 10 ? 10 : 20); ++i)
            put(word + i, 0x5858);
    put(49, 0x0200);
    put(60, 16384); // 8 MiB of 512-byte sectors
    put(80, 0x0040);
    put(82, 0x0002);
    put(128, word128);
    id[510] = 0xA5;
    std::uint8_t sum = 0;
    for (int i = 0; i < 511; ++i)
        sum = static_cast<std::uint8_t>(sum + id[i]);
    id[511] = static_cast<std::uint8_t>(-sum);
    std::string hex;
    char b[3];
    for (std::uint8_t v : id) {
        std::snprintf(b, sizeof b, "%02X", v);
        hex += b;
    }
    return hex;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST_F(EraseCommand, AtaSecurityStateDecidesBeforeAnyCommand) {
    struct Row {
        const char* what;
        std::uint16_t word128;
        int status;
        const char* text;
        std::size_t setPasswords, eraseUnits;
        bool zeroed;
    } rows[] = {
        {"frozen", 0x0009, 3, "security is frozen", 0, 0, false},
        {"expired", 0x0011, 3, "too many wrong passwords", 0, 0, false},
        {"locked", 0x0007, 3, "a password this program did not set", 0, 0, false},
        // Security enabled by someone else: one attempt with our password, which the drive
        // refuses; never a SET PASSWORD that would change its master password.
        {"enabled", 0x0003, 1, "a user password was set elsewhere", 0, 1, false},
        // Disabled: the master password is set, security stays disabled, the unit is erased.
        {"disabled", 0x0001, 0, "Security Erase done.", 1, 1, true},
    };
    for (const Row& r : rows) {
        folder_.Drive("hdd", "Capacity=8M\n[Ata]\nIdentify=" + IdentifyHex(r.word128));
        MakeImage(folder_, "hdd", 8 * kMiB, true);
        const std::string before = FileBytes(folder_, "hdd.img");
        ToolRun check = Run({"erase", "hdd", "--check"});
        EXPECT_TRUE(Has(check.out, "method: ata-security")) << r.what << check.out << check.err;
        ToolRun run = Run({"erase", "hdd", "--yes", "--trace"});
        EXPECT_EQ(run.status, r.status) << r.what << run.out << run.err;
        EXPECT_TRUE(Has(run.out + run.err, r.text)) << r.what << run.out;
        if (kTraceShowsCommands) {
            EXPECT_EQ(Count(run.err, "a0 f1 00 00"), r.setPasswords) << r.what;
            EXPECT_EQ(Count(run.err, "a0 f4 00 00"), r.eraseUnits) << r.what;
        }
        const std::string after = FileBytes(folder_, "hdd.img");
        if (r.zeroed)
            EXPECT_EQ(after.find_first_not_of('\0'), std::string::npos) << r.what;
        else
            EXPECT_EQ(after, before) << r.what;
        folder_.Remove("hdd.drive");
        folder_.Remove("hdd.img");
    }
}

} // namespace
} // namespace tvd::cli

namespace tvd::cli {
namespace {

// CDW10 of each SANITIZE command in a trace, in order.
std::vector<int> SanitizeCdw10s(const std::string& trace) {
    std::vector<int> out;
    for (std::size_t at = trace.find("nvme: 84 "); at != std::string::npos;
         at = trace.find("nvme: 84 ", at + 1))
        out.push_back(std::stoi(trace.substr(at + 6 + 40 * 3, 2), nullptr, 16));
    return out;
}

TEST_F(EraseCommand, NvmeSanitizeActionsAndTheirEnds) {
    struct Row {
        const char* what;
        const char* drive;
        const char* action;
        int status;
        std::vector<int> cdw10s;
        bool zeroed;
    } rows[] = {
        {"block first", "Sanicap=7\nSanitizeSeconds=1", nullptr, 0, {2}, true},
        {"crypto only", "Sanicap=1", nullptr, 0, {4}, true},
        {"crypto asked", "Sanicap=3", "crypto", 0, {4}, true},
        {"asked, lacking", "Sanicap=2", "crypto", 4, {}, false},
        // SCSI SANITIZE has no overwrite here: an overwrite-only drive has no action.
        {"overwrite only", "Sanicap=4", nullptr, 4, {}, false},
        {"no sanitize", "Sanicap=0", nullptr, 4, {}, false},
    };
    for (const Row& r : rows) {
        folder_.Drive("nv", std::string("Bus=NVMe\nCapacity=8M\n[Nvme]\n") + r.drive);
        MakeImage(folder_, "nv", 8 * kMiB, true);
        const std::string before = FileBytes(folder_, "nv.img");
        std::vector<std::string> args = {"erase", "nv", "--yes", "--trace"};
        if (r.action) args.insert(args.end(), {"--action", r.action});
        ToolRun run = Run(args);
        EXPECT_EQ(run.status, r.status) << r.what << run.out << run.err;
        if (kTraceShowsCommands) {
            EXPECT_EQ(SanitizeCdw10s(run.err), r.cdw10s) << r.what;
        }
        const std::string after = FileBytes(folder_, "nv.img");
        if (r.zeroed)
            EXPECT_EQ(after.find_first_not_of('\0'), std::string::npos) << r.what;
        else
            EXPECT_EQ(after, before) << r.what;
        folder_.Remove("nv.drive");
        folder_.Remove("nv.img");
    }
}

TEST_F(EraseCommand, FailedSanitizeLeavesTheFailureState) {
    // A write-protected drive's sanitize runs and then reports failure in its status log.
    folder_.Drive("nv", "Bus=NVMe\nCapacity=8M\nReadOnly=1\n[Nvme]\nSanicap=2");
    MakeImage(folder_, "nv", 8 * kMiB, true);
    ToolRun run = Run({"erase", "nv", "--yes", "--trace"});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "Security Erase failed.")) << run.out;
    if (kTraceShowsCommands) {
        EXPECT_EQ(SanitizeCdw10s(run.err), (std::vector<int>{2, 1})) << run.err;
    }
    // Out of the failure state, the log says so.
    ToolRun check = Run({"erase", "nv", "--check"});
    EXPECT_FALSE(Has(check.out, "sanitize log: last sanitize failed")) << check.out;
}

} // namespace
} // namespace tvd::cli
