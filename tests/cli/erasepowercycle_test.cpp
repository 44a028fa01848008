// tarvikdorn erase across a power cycle: one simulated drive stays plugged through several runs
// of the command (the test selects the back end, so the drive's security state and passwords
// carry over), with a power cycle after each failed or refused erase. The drive is never left
// locked by this program, and the second erase is done or refused with the right reason.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "storage/sim/simstorage.h"
#include "storage/simfolder.h"
#include "toolrun.h"

namespace tvd::cli {
namespace {

constexpr std::size_t kSize = 8u << 20;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The back end every run of the command uses until the object goes.
class PluggedDrive {
public:
    PluggedDrive(const test::SimFolder& folder) {
        ErrorCode e = err::kSuccess;
        sim_ = SimStorage::Create(folder.Path(), e, SimImages::kPrepare);
        if (sim_) SelectStorage(sim_.get());
    }
    ~PluggedDrive() {
        if (sim_) SelectStorage(nullptr);
    }
    SimStorage* operator->() { return sim_.get(); }
    explicit operator bool() const { return sim_ != nullptr; }

private:
    std::unique_ptr<SimStorage> sim_;
};

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST(ErasePowerCycle, NeverLeftLockedAndTheSecondEraseHasTheRightOutcome) {
    struct Row {
        const char* name;
        const char* drive; // the drive file
        int first;         // exit status of the first erase
        const char* firstText;
        const char* afterCycle; // ATA security state --check shows after the power cycle
        int second;
        const char* secondText;
        bool zeroed; // the second erase left only zeros
    } rows[] = {
        // Aborted part-way: only the master password was set, so the drive comes back disabled
        // and takes the same steps again (the fault is still there).
        {"erase aborted", "[Ata]\n[Faults]\nAtaEraseAbortAt=40\n", 1, "Security Erase failed.",
         "disabled", 1, "master password set, SECURITY ERASE UNIT sent", false},
        // A user password set elsewhere: the one try fails, the power cycle locks the drive
        // with that password, and the second erase is refused before any command.
        {"user password elsewhere", "[Ata]\nSecurity=enabled\nUserPassword=elsewhere\n", 1,
         "a user password was set elsewhere", "locked", 3, "a password this program did not set",
         false},
        // Frozen: refused unsent; the power cycle clears the freeze and the erase is done.
        {"frozen", "[Ata]\nSecurity=frozen\n", 3, "security is frozen", "disabled", 0,
         "Security Erase done.", true},
        // TRIM the drive ignores: the erase fails on the sampled sectors, and again after the
        // cycle; security was never touched.
        {"trim ignored", "Trim=1\n[Ata]\n[Faults]\nTrimIgnored=1\n", 1, "still hold their old data",
         "disabled", 1, "still hold their old data", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        test::SimFolder folder;
        folder.Write("hdd.drive", std::string("[Drive]\nCapacity=8M\n") + r.drive);
        folder.Write("hdd.img", std::string(kSize, '\xA5'));
        PluggedDrive sim(folder);
        ASSERT_TRUE(sim);

        const test::ToolRun first = test::RunTool({"erase", "hdd", "--yes"});
        EXPECT_EQ(first.status, r.first) << first.out << first.err;
        EXPECT_TRUE(Has(first.out + first.err, r.firstText)) << first.out << first.err;

        ASSERT_EQ(sim->PowerCycle("hdd"), err::kSuccess);
        const test::ToolRun check = test::RunTool({"erase", "hdd", "--check"});
        EXPECT_TRUE(Has(check.out, std::string("ATA security: ") + r.afterCycle + "\n"))
            << check.out << check.err;

        const std::string before = ReadAll(folder / "hdd.img");
        const test::ToolRun second = test::RunTool({"erase", "hdd", "--yes"});
        EXPECT_EQ(second.status, r.second) << second.out << second.err;
        EXPECT_TRUE(Has(second.out + second.err, r.secondText)) << second.out << second.err;
        const std::string after = ReadAll(folder / "hdd.img");
        if (r.zeroed) {
            EXPECT_EQ(after.find_first_not_of('\0'), std::string::npos);
        } else if (r.second == 3) {
            EXPECT_EQ(after, before);
        }

        // Whatever happened, a last power cycle never finds the drive locked by this program.
        ASSERT_EQ(sim->PowerCycle("hdd"), err::kSuccess);
        const test::ToolRun last = test::RunTool({"erase", "hdd", "--check"});
        if (std::string(r.afterCycle) != "locked") {
            EXPECT_FALSE(Has(last.out, "ATA security: locked")) << last.out;
        }
    }
}

} // namespace
} // namespace tvd::cli
