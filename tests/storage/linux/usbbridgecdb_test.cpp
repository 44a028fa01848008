// The vendor bridge CDBs compared with what smartctl sends for the same operation. smartctl
// prints each CDB before the pass-through (with -r scsiioctl,2); pointed at a plain file it
// fails at the first command, so the first CDBs of each device type are what can be compared.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "storage/asmusbatafun.h"
#include "storage/jmusbatafun.h"
#include "storage/linux/linuxtesttools.h"
#include "storage/usbvendoratafun.h"

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;

bool HaveSmartctl() {
    return test::RunTool("smartctl --version >/dev/null 2>&1 && echo yes").output == "yes\n";
}

// The CDBs smartctl printed, in order.
std::vector<Bytes> SmartctlCdbs(const std::string& type, const std::string& file) {
    const test::RunResult r =
        test::RunTool("smartctl -d " + type + " -r scsiioctl,2 -i '" + file + "' 2>&1");
    std::vector<Bytes> out;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t open = line.find(" [");
        const std::size_t colon = line.find(": ", open == std::string::npos ? 0 : open);
        if (open != 0 || colon == std::string::npos || line.back() != ']') continue;
        std::istringstream hex(line.substr(colon + 2, line.size() - colon - 3));
        Bytes cdb;
        std::string byte;
        while (hex >> byte)
            cdb.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
        // Each CDB is printed once per pass-through way smartctl tries.
        if (out.empty() || out.back() != cdb) out.push_back(cdb);
    }
    return out;
}

template <std::size_t N> Bytes B(const std::array<std::uint8_t, N>& a) {
    return Bytes(a.begin(), a.end());
}

class SmartctlCdb : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveSmartctl()) GTEST_SKIP() << "smartctl is not installed";
        ASSERT_FALSE(dir_.Path().empty());
        std::ofstream(file_) << std::string(4096, '\0');
    }
    // IDENTIFY DEVICE as smartctl sends it (sector count 1).
    static AtaRegisters Identify(std::uint8_t device) {
        AtaRegisters r;
        r.sectorCount = 1;
        r.device = device;
        r.command = 0xEC;
        return r;
    }
    test::TempDir dir_;
    std::string file_ = dir_ / "disk.img";
};

TEST_F(SmartctlCdb, JmicronAta) {
    for (std::uint8_t port : {0, 1}) {
        const auto theirs = SmartctlCdbs("usbjmicron," + std::to_string(port), file_);
        ASSERT_FALSE(theirs.empty());
        const std::uint8_t device = port ? 0xB0 : 0xA0;
        EXPECT_EQ(B(jmusb::AtaCdb(Identify(device), DataDirection::kIn, 512, device)), theirs[0]);
    }
    // The port register read: smartctl reads one byte, this bridge code two; the rest agrees.
    const auto theirs = SmartctlCdbs("usbjmicron", file_);
    ASSERT_FALSE(theirs.empty());
    Bytes ours = B(jmusb::RegisterReadCdb(0x720F, 2));
    ASSERT_EQ(ours.size(), theirs[0].size());
    EXPECT_EQ(ours[4], 2);
    EXPECT_EQ(theirs[0][4], 1);
    ours[4] = 1;
    EXPECT_EQ(ours, theirs[0]);
}

TEST_F(SmartctlCdb, SunplusAta) {
    const auto theirs = SmartctlCdbs("usbsunplus", file_);
    ASSERT_FALSE(theirs.empty());
    EXPECT_EQ(usbvendor::Sunplus().command(Identify(0xA0), true), theirs[0]);
}

TEST_F(SmartctlCdb, ProlificAta) {
    const auto theirs = SmartctlCdbs("usbprolific", file_);
    ASSERT_FALSE(theirs.empty());
    Bytes ours = usbvendor::Pl2571().command(Identify(0xA0), true);
    ASSERT_EQ(ours.size(), theirs[0].size());
    // The data-in length field: smartctl writes 512 as 00 00 02 00 in bytes 6-9, this set
    // 00 02 00 00; every other byte agrees.
    EXPECT_EQ(Bytes(ours.begin() + 6, ours.begin() + 10), (Bytes{0, 2, 0, 0}));
    EXPECT_EQ(Bytes(theirs[0].begin() + 6, theirs[0].begin() + 10), (Bytes{0, 0, 2, 0}));
    std::copy(theirs[0].begin() + 6, theirs[0].begin() + 10, ours.begin() + 6);
    EXPECT_EQ(ours, theirs[0]);
}

TEST_F(SmartctlCdb, JmicronNvme) {
    const auto theirs = SmartctlCdbs("sntjmicron", file_);
    ASSERT_GE(theirs.size(), 2u);
    EXPECT_EQ(B(jmusb::NvmeCdb(jmusb::kSendCommand, true, 512)), theirs[0]);
    EXPECT_EQ(B(jmusb::NvmeCdb(jmusb::kReadData, true, 4096)), theirs[1]);
}

TEST_F(SmartctlCdb, AsmediaNvme) {
    const auto theirs = SmartctlCdbs("sntasmedia", file_);
    ASSERT_FALSE(theirs.empty());
    EXPECT_EQ(B(asmusb::IdentifyCdb(1)), theirs[0]);
}

} // namespace
} // namespace tvd
