// Every command path of a build sees the same simulated drive: the Windows request paths
// (answered by the simulation's request emulation) and the pass-through paths (SAT over the
// SCSI personality, the platform NVMe pass-through) must agree byte for byte. This checks the
// request encoders of one side against the decoders of the other, end to end.
#include <gtest/gtest.h>

#include "storage/simfolder.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "storage/clata.h"
#include "storage/clntata.h"
#include "storage/clnvme.h"
#include "storage/clscsi.h"
#include "storage/clsatata.h"
#include "storage/fakestorage.h"
#include "storage/storageplatform.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;

class SimDrives : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.empty());
        // A SMART log page the drive file gives, so the log paths have something to agree on.
        std::string log = "Log.80=";
        for (int i = 0; i < 64; ++i)
            log += "5A";
        Write("good", "[Drive]\nBus=SATA\nModel=PATHS DISK\nSerial=P1\nFirmware=F1\n"
                      "Capacity=64M\nTrim=1\n[Ata]\n" +
                          log + "\n");
        Write("failing", "[Drive]\nBus=SATA\nModel=FAILING DISK\nSerial=P2\nFirmware=F1\n"
                         "Capacity=64M\n[Ata]\nSmartStatus=exceeded\n");
        Write("nvme", "[Drive]\nBus=NVMe\nModel=PATHS NVME\nSerial=N1\nFirmware=F2\n"
                      "Capacity=256M\n[Nvme]\nSanicap=2\n");
        ErrorCode e = err::kSuccess;
        sim_ = NewSimStorage(PathText(), e);
        ASSERT_NE(sim_, nullptr) << e;
        selected_ = std::make_unique<test::SelectedStorage>(*sim_);
    }
    void TearDown() override {
        selected_.reset();
        sim_.reset();
    }

    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / (name + ".drive"), std::ios::binary) << text;
    }
    std::string PathText() const {
        const auto u = dir_.u8string();
        return std::string(u.begin(), u.end());
    }
    static std::string PathOf(const std::string& name) { return "SIM\\" + name; }
    std::uint8_t TargetOf(const std::string& name) {
        DeviceHandle h;
        ScsiAddress a;
        EXPECT_EQ(Storage().Open(PathOf(name), h), err::kSuccess);
        EXPECT_EQ(Storage().GetScsiAddress(h, a), err::kSuccess);
        return a.targetId;
    }

    // Every ATA path to drive `name`, with the name of its class.
    std::vector<std::unique_ptr<clAta>> AtaPaths(const std::string& name) {
        std::vector<std::unique_ptr<clAta>> out;
        out.push_back(std::make_unique<clWinPassThroughAta>(PathOf(name)));
        out.push_back(std::make_unique<clWinSmartAta>(PathOf(name)));
        out.push_back(std::make_unique<clNtScsiAta>(PathOf(name), TargetOf(name)));
        auto scsi = AdoptInterface<clNtScsi>(new clNtScsi(PathOf(name)));
        out.push_back(std::make_unique<clSatAta>(std::move(scsi)));
        return out;
    }

    test::SimFolder folder_;
    fs::path dir_ = folder_.Dir();
    std::unique_ptr<StoragePlatform> sim_;
    std::unique_ptr<test::SelectedStorage> selected_;
};

std::vector<std::uint8_t> Page(clAta& ata, bool (clAta::*read)(MutableByteView)) {
    std::vector<std::uint8_t> page(512, 0xEE);
    if (!(ata.*read)(page)) return {};
    return page;
}

TEST_F(SimDrives, EveryAtaPathReadsTheSameDrive) {
    for (const char* name : {"good", "failing"}) {
        const std::vector<std::unique_ptr<clAta>> paths = AtaPaths(name);
        const std::uint16_t status = std::string(name) == "good" ? 0x4FC2 : 0xF42C;
        const std::vector<std::uint8_t> identify(paths[0]->GetIdentify().begin(),
                                                 paths[0]->GetIdentify().end());
        ASSERT_EQ(identify.size(), 512u) << name;
        const auto data = Page(*paths[0], &clAta::SmartReadData);
        const auto thresholds = Page(*paths[0], &clAta::SmartReadThresholds);
        ASSERT_EQ(data.size(), 512u);
        ASSERT_EQ(thresholds.size(), 512u);
        for (const auto& ata : paths) {
            SCOPED_TRACE(std::string(name) + " " + ata->kClassName);
            const ByteView id = ata->GetIdentify();
            EXPECT_EQ(std::vector<std::uint8_t>(id.begin(), id.end()), identify);
            EXPECT_EQ(Page(*ata, &clAta::SmartReadData), data);
            EXPECT_EQ(Page(*ata, &clAta::SmartReadThresholds), thresholds);
            EXPECT_EQ(ata->SmartReturnStatus(), status);
        }
    }
}

TEST_F(SimDrives, SmartLogOnlyWherePathsCarryIt) {
    std::vector<std::uint8_t> expected(512, 0);
    std::fill(expected.begin(), expected.begin() + 64, std::uint8_t{0x5A});
    const std::vector<std::unique_ptr<clAta>> paths = AtaPaths("good");
    for (const auto& ata : paths) {
        SCOPED_TRACE(ata->kClassName);
        std::vector<std::uint8_t> log(512, 0xEE);
        const bool ok = ata->SmartReadLog(log, 0x80);
        // The miniport SMART requests have no log command.
        EXPECT_EQ(ok, !ata->IsA("clNtScsiAta"));
        if (ok) {
            EXPECT_EQ(log, expected);
        }
        std::vector<std::uint8_t> missing(512);
        EXPECT_FALSE(ata->SmartReadLog(missing, 0x81)); // a log the drive does not have
    }
}

TEST_F(SimDrives, SecurityEraseThroughPassThroughZeroesTheDrive) {
    const std::vector<std::uint8_t> pattern(4096, 0xA7);
    {
        DeviceHandle h;
        ASSERT_EQ(Storage().Open(PathOf("good"), h), err::kSuccess);
        ASSERT_EQ(Storage().WriteAt(h, 1 << 20, pattern), err::kSuccess);
    }
    clWinPassThroughAta ata(PathOf("good"));
    std::uint8_t password[32] = {'s', 'e', 'c', 'r', 'e', 't'};
    std::uint8_t wrong[32] = {'w', 'r', 'o', 'n', 'g'};
    ASSERT_TRUE(ata.SecuritySetPassword(password));
    EXPECT_FALSE(ata.SecurityEraseUnit(wrong)); // refused by the drive, reported as such
    {
        DeviceHandle h;
        std::vector<std::uint8_t> back(4096);
        ASSERT_EQ(Storage().Open(PathOf("good"), h), err::kSuccess);
        ASSERT_EQ(Storage().ReadAt(h, 1 << 20, back), err::kSuccess);
        EXPECT_EQ(back, pattern);
    }
    EXPECT_TRUE(ata.SecurityEraseUnit(password));
    ata.Close();
    DeviceHandle h;
    std::vector<std::uint8_t> back(4096, 0xEE);
    ASSERT_EQ(Storage().Open(PathOf("good"), h), err::kSuccess);
    ASSERT_EQ(Storage().ReadAt(h, 1 << 20, back), err::kSuccess);
    EXPECT_EQ(back, std::vector<std::uint8_t>(4096, 0));
}

TEST_F(SimDrives, NvmePathsAgreeAndSanitize) {
    clW10Nvme w10(PathOf("nvme"));
    clPlatformNvme platform(PathOf("nvme"));
    const ByteView a = w10.GetController(), b = platform.GetController();
    ASSERT_EQ(a.size(), kNvmeDataSize);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end()));
    std::string model;
    ASSERT_TRUE(w10.GetModel(model));
    EXPECT_EQ(model.substr(0, 10), "PATHS NVME");

    const ByteView nsA = w10.GetNamespace(1), nsB = platform.GetNamespace(1);
    ASSERT_EQ(nsA.size(), kNvmeDataSize);
    EXPECT_TRUE(std::equal(nsA.begin(), nsA.end(), nsB.begin(), nsB.end()));

    std::vector<std::uint8_t> logA(kNvmeLogSize), logB(kNvmeLogSize, 0xEE);
    ASSERT_TRUE(w10.GetLogPage(0x02, 127, logA));
    ASSERT_TRUE(platform.GetLogPage(0x02, 127, logB));
    EXPECT_EQ(logA, logB);

    // Block erase is offered (SANICAP bit 1); crypto erase (action 4) is not.
    ASSERT_TRUE(w10.SanitizeSupported());
    EXPECT_FALSE(w10.Sanitize(4));
    EXPECT_FALSE(platform.Sanitize(4));
    EXPECT_TRUE(platform.Sanitize(2));
    std::vector<std::uint8_t> status(kNvmeLogSize);
    ASSERT_TRUE(w10.GetLogPage(0x81, 127, status));
    // SSTAT bits 0-2: 1 = the last sanitize completed successfully.
    EXPECT_EQ(status[2] & 0x07, 1);
}

} // namespace
} // namespace tvd
