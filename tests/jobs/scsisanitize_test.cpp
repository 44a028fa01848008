// SCSI SANITIZE: the service actions against NVMe's SANACT, and a simulated NVMe drive's SCSI
// face passing the command on to its own sanitize as Windows does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jobs/nvmesanitizeutil.h"
#include "jobs/scsisanitizeutil.h"
#include "storage/clscsi.h"
#include "storage/sim/simstorage.h"
#include "storage/simfolder.h"

namespace tvd {
namespace {

using test::SimFolder;

TEST(ScsiSanitize, ServiceActionsAndTheirNvmeActions) {
    struct Case {
        std::uint8_t sanact, serviceAction;
    };
    const Case cases[] = {{sanact::kBlockErase, 0x02},
                          {sanact::kCryptoErase, 0x03},
                          {sanact::kExitFailureMode, 0x1F},
                          {sanact::kOverwrite, 0}, // needs a parameter list: no SCSI form here
                          {0, 0},
                          {7, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(ScsiSanitizeServiceAction(c.sanact), c.serviceAction) << int(c.sanact);
        if (c.serviceAction == 0) continue;
        // The block the erase sends, read back by the translation.
        const std::vector<std::uint8_t> cdb =
            scsicmd::SanitizeCdb(kScsiSanitizeImmed | c.serviceAction, 0);
        ASSERT_EQ(cdb.size(), 10u);
        EXPECT_EQ(cdb[0], 0x48);
        EXPECT_EQ(cdb[1], 0x80 | c.serviceAction);
        EXPECT_EQ(SanactOfScsiSanitize(cdb), c.sanact);
    }
    struct Block {
        std::vector<std::uint8_t> cdb;
        std::uint8_t sanact;
    };
    const Block blocks[] = {
        {{0x48, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}, 0},                   // overwrite
        {{0x48, 0x02, 0, 0, 0, 0, 0, 0, 0x10, 0}, 0},                // a parameter list
        {{0x48, 0x02, 0, 0, 0, 0, 0, 0, 0}, 0},                      // short
        {{0x2A, 0x02, 0, 0, 0, 0, 0, 0, 0, 0}, 0},                   // another opcode
        {{0x48, 0x22, 0, 0, 0, 0, 0, 0, 0, 0}, sanact::kBlockErase}, // AUSE set
        {{0x48, 0x04, 0, 0, 0, 0, 0, 0, 0, 0}, 0},                   // reserved
    };
    for (const Block& b : blocks)
        EXPECT_EQ(SanactOfScsiSanitize(b.cdb), b.sanact);
}

TEST(ScsiSanitize, NvmeDrivesScsiFacePassesItOn) {
    struct Case {
        const char* name;
        unsigned sanicap;
        std::uint8_t byte1, paramLength;
        std::uint8_t senseKey; // 0: GOOD
        bool zeroed;
    };
    const Case cases[] = {
        {"block", 2, 0x82, 0, 0, true},
        {"crypto", 1, 0x83, 0, 0, true},
        {"crypto the drive lacks", 2, 0x83, 0, 0x05, false},
        {"overwrite", 7, 0x81, 0, 0x05, false},
        {"parameter list", 2, 0x82, 8, 0x05, false},
        {"exit failure mode", 2, 0x9F, 0, 0, false},
        {"no sanitize at all", 0, 0x82, 0, 0x05, false},
    };
    for (const Case& c : cases) {
        SimFolder folder;
        folder.Drive("nv",
                     "Bus=NVMe\nCapacity=1M\n[Nvme]\nSanicap=" + std::to_string(c.sanicap) + "\n");
        folder.Write("nv.img", std::string(1 << 20, 'x'));
        ErrorCode e = err::kGenFailure;
        auto sim = SimStorage::Create(folder.Path(), e);
        ASSERT_EQ(e, err::kSuccess);
        DeviceHandle h;
        ASSERT_EQ(sim->Open("SIM\\nv", h), err::kSuccess);
        const std::uint8_t cdb[10] = {0x48, c.byte1, 0, 0, 0, 0, 0, 0, c.paramLength, 0};
        ScsiCommandRequest r;
        r.cdb = ByteView(cdb);
        r.direction = DataDirection::kNone;
        ASSERT_EQ(sim->ScsiCommand(h, r), err::kSuccess) << c.name;
        EXPECT_EQ(r.status, c.senseKey ? 2 : 0) << c.name;
        if (c.senseKey) {
            EXPECT_EQ(r.sense[2] & 0x0F, c.senseKey) << c.name;
        }
        std::vector<std::uint8_t> sector(512);
        ASSERT_EQ(sim->ReadAt(h, 4096, sector), err::kSuccess) << c.name;
        EXPECT_EQ(sector == std::vector<std::uint8_t>(512, 0), c.zeroed) << c.name;
    }
}

// While the drive sanitizes, another SANITIZE is NOT READY, SANITIZE IN PROGRESS.
TEST(ScsiSanitize, SecondSanitizeWhileRunningIsNotReady) {
    SimFolder folder;
    folder.Drive("nv", "Bus=NVMe\nCapacity=1M\n[Nvme]\nSanicap=2\nSanitizeSeconds=600\n");
    ErrorCode e = err::kGenFailure;
    auto sim = SimStorage::Create(folder.Path(), e);
    ASSERT_EQ(e, err::kSuccess);
    DeviceHandle h;
    ASSERT_EQ(sim->Open("SIM\\nv", h), err::kSuccess);
    for (int i = 0; i < 2; ++i) {
        static const std::uint8_t cdb[10] = {0x48, 0x82, 0, 0, 0, 0, 0, 0, 0, 0};
        ScsiCommandRequest r;
        r.cdb = ByteView(cdb);
        ASSERT_EQ(sim->ScsiCommand(h, r), err::kSuccess);
        if (i == 0) {
            EXPECT_EQ(r.status, 0);
            continue;
        }
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.sense[2] & 0x0F, 0x02);
        EXPECT_EQ(r.sense[12], 0x04);
        EXPECT_EQ(r.sense[13], 0x1B);
    }
}

} // namespace
} // namespace tvd
