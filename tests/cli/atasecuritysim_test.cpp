// The ATA security state of a simulated drive file ([Ata] Security, passwords) and an erase
// aborted part-way ([Faults] AtaEraseAbortAt), through tarvikdorn erase.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "storage/simfolder.h"
#include "toolrun.h"

namespace tvd::cli {
namespace {

constexpr std::size_t kSize = 8u << 20;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class AtaSecuritySim : public ::testing::Test {
protected:
    test::ToolRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--simulate", folder_.Path()});
        return test::RunTool(std::move(args));
    }
    void Make(const std::string& ata, const std::string& faults = "") {
        folder_.Drive("hdd", "Capacity=8M\n[Ata]\n" + ata + "\n[Faults]\n" + faults + "\n");
        folder_.Write("hdd.img", std::string(kSize, '\xA5'));
    }
    std::string Image() {
        std::ifstream f(folder_ / "hdd.img", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    test::SimFolder folder_;
};

TEST_F(AtaSecuritySim, StateFromTheDriveFileDecides) {
    struct Row {
        const char* ata;
        const char* shown; // --check's security state
        int status;
        const char* text;
        bool zeroed;
    } rows[] = {
        {"Security=frozen", "frozen", 3, "security is frozen", false},
        {"Security=expired", "expired", 3, "too many wrong passwords", false},
        {"Security=locked\nUserPassword=secret", "locked", 3, "a password this program did not set",
         false},
        {"Security=enabled\nUserPassword=secret", "enabled", 1, "a user password was set elsewhere",
         false},
        {"Security=disabled", "disabled", 0, "Security Erase done.", true},
        {"", "disabled", 0, "Security Erase done.", true},
    };
    for (const Row& r : rows) {
        Make(r.ata);
        const std::string before = Image();
        const test::ToolRun check = Run({"erase", "hdd", "--check"});
        EXPECT_TRUE(Has(check.out, std::string("ATA security: ") + r.shown + "\n"))
            << r.ata << check.out << check.err;
        const test::ToolRun run = Run({"erase", "hdd", "--yes"});
        EXPECT_EQ(run.status, r.status) << r.ata << run.out << run.err;
        EXPECT_TRUE(Has(run.out + run.err, r.text)) << r.ata << run.out << run.err;
        const std::string after = Image();
        if (r.zeroed)
            EXPECT_EQ(after.find_first_not_of('\0'), std::string::npos) << r.ata;
        else
            EXPECT_EQ(after, before) << r.ata;
    }
    folder_.Write("x.drive", "Capacity=8M\n[Ata]\nSecurity=sleepy\n");
    EXPECT_NE(Run({"list"}).err.find("Security"), std::string::npos);
}

// An erase that aborts at 40 %: that share reads zeros, the rest is untouched, the run fails, and
// the drive is not left locked (only the master password was ever set).
TEST_F(AtaSecuritySim, EraseAbortedPartWayFailsAndLeavesTheDriveUnlocked) {
    Make("", "AtaEraseAbortAt=40");
    const test::ToolRun run = Run({"erase", "hdd", "--yes"});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "Security Erase failed.")) << run.out;
    const std::string after = Image();
    const std::size_t share = kSize * 40 / 100 / 512 * 512;
    EXPECT_EQ(after.find_first_not_of('\0'), share);
    EXPECT_EQ(after.find_first_not_of('\xA5', share), std::string::npos);
    const test::ToolRun check = Run({"erase", "hdd", "--check"});
    EXPECT_TRUE(Has(check.out, "ATA security: disabled\n")) << check.out;
}

} // namespace
} // namespace tvd::cli
