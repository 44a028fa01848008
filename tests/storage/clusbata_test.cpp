#include "storage/clusbata.h"
#include "storage/clsatata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <vector>

#include "storage/ataidentitybuilder.h"
#include "storage/commandfakes.h"

namespace tvd {
namespace {

using test::Bridge;
using test::Bytes;
using test::Reply;

// Descriptor-format sense with the ATA Status Return descriptor.
Bytes ReturnSense(std::uint8_t mid, std::uint8_t high, std::uint8_t status = 0x50) {
    Bytes s = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14};
    Bytes d(14, 0);
    d[0] = 0x09;
    d[1] = 0x0C;
    d[9] = mid;
    d[11] = high;
    d[12] = 0xA0;
    d[13] = status;
    s.insert(s.end(), d.begin(), d.end());
    return s;
}

TEST(SatUsbAta, RegisterCommandsUseTwelveByteForm) {
    using Call = std::function<bool(clAta&)>;
    std::uint8_t buf[512];
    struct Case {
        const char* name;
        Call call;
        Bytes cdb;
    } cases[] = {
        {"identify",
         [&](clAta& a) { return a.Identify(buf); },
         {0xA1, 0x08, 0x0E, 0, 0x01, 0, 0, 0, 0xA0, 0xEC, 0, 0}},
        {"smart read data",
         [&](clAta& a) { return a.SmartReadData(buf); },
         {0xA1, 0x08, 0x0E, 0xD0, 0x01, 0, 0x4F, 0xC2, 0xE0, 0xB0, 0, 0}},
        {"smart read thresholds",
         [&](clAta& a) { return a.SmartReadThresholds(buf); },
         {0xA1, 0x08, 0x0E, 0xD1, 0x01, 0, 0x4F, 0xC2, 0xE0, 0xB0, 0, 0}},
        {"smart execute offline",
         [&](clAta& a) { return a.SmartExecuteOffline(0x02); },
         {0xA1, 0x06, 0x00, 0xD4, 0, 0x02, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0}},
        {"smart read log",
         [&](clAta& a) { return a.SmartReadLog(buf, 0x06); },
         {0xA1, 0x08, 0x0E, 0xD5, 0x01, 0x06, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0}},
    };
    for (const Case& c : cases) {
        Bridge<clSatUsbAta> b;
        b.scsi->replies.push_back({0, Bytes(512, 0x11), {}});
        EXPECT_TRUE(c.call(b.ata)) << c.name;
        ASSERT_EQ(b.scsi->cdbs.size(), 1u) << c.name;
        EXPECT_EQ(b.scsi->cdbs[0], c.cdb) << c.name;
    }
}

TEST(SatUsbAta, IdentifyThroughBridgeIsValidated) {
    const test::AtaIdentityBuilder id;
    Bridge<clSatUsbAta> good;
    good.scsi->replies.push_back({0, Bytes(id.Page().begin(), id.Page().end()), {}});
    EXPECT_FALSE(good.ata.GetIdentify().empty());
    Bridge<clSatUsbAta> silent; // a bridge without SAT answers CHECK CONDITION
    silent.scsi->replies.push_back({2, {}, {}});
    EXPECT_TRUE(silent.ata.GetIdentify().empty());
}

TEST(SatUsbAta, NoResultRegisters) {
    Bridge<clSatUsbAta> b;
    AtaRegisters result;
    EXPECT_FALSE(b.ata.ExecNonData(AtaRegisters{}, &result));
    EXPECT_EQ(b.ata.SmartReturnStatus(), 0);
    EXPECT_TRUE(b.scsi->cdbs.empty());
}

TEST(SatUsbAta, SectorAccessThroughSixteenByteForm) {
    Bridge<clSatUsbAta> b;
    std::vector<std::uint8_t> buf(1024, 0x77);
    b.scsi->replies.push_back({0, Bytes(1024, 0x33), {}});
    ASSERT_TRUE(b.ata.ReadSectors(0x0102030405ull, 2, buf));
    EXPECT_EQ(b.scsi->cdbs.back(), (Bytes{0x85, 0x09, 0x0E, 0, 0, 0, 2, 0x02, 0x05, 0x01, 0x04, 0,
                                          0x03, 0xE0, 0x24, 0}));
    EXPECT_EQ(buf[1023], 0x33);

    b.scsi->replies.push_back({0, {}, {}});
    ASSERT_TRUE(b.ata.WriteSectors(7, 1, buf));
    EXPECT_EQ(b.scsi->cdbs.back()[14], 0x34);
    EXPECT_EQ(b.scsi->sent.back().size(), 512u);

    // Ranges the buffer or the 48-bit command cannot hold are refused before any command.
    const std::size_t before = b.scsi->cdbs.size();
    EXPECT_FALSE(b.ata.ReadSectors(0, 3, buf));
    EXPECT_FALSE(b.ata.ReadSectors(0, 0, buf));
    EXPECT_FALSE(b.ata.ReadSectors((1ull << 48) - 1, 2, buf));
    EXPECT_FALSE(b.ata.WriteSectors(0, 0x10000, Bytes(0x10000 * 512ull)));
    EXPECT_EQ(b.scsi->cdbs.size(), before);
}

TEST(SatUsbAta, OpenAndCloseReachTransport) {
    Bridge<clSatUsbAta> b;
    b.ata.Open();
    b.ata.Close();
    EXPECT_EQ(b.scsi->opens, 1);
    EXPECT_EQ(b.scsi->closes, 1);
}

TEST(SatAta, SmartReturnStatusFromSense) {
    struct Case {
        const char* name;
        Reply reply;
        std::uint16_t expected;
    } cases[] = {
        {"healthy", {2, {}, ReturnSense(0x4F, 0xC2)}, 0x4FC2},
        {"threshold exceeded", {2, {}, ReturnSense(0xF4, 0x2C)}, 0xF42C},
        {"aborted", {2, {}, ReturnSense(0x4F, 0xC2, 0x51)}, 0},
        {"no registers returned", {0, {}, {}}, 0},
    };
    for (const Case& c : cases) {
        Bridge<clSatAta> b;
        b.scsi->replies.push_back(c.reply);
        EXPECT_EQ(b.ata.SmartReturnStatus(), c.expected) << c.name;
        ASSERT_EQ(b.scsi->cdbs.size(), 1u) << c.name;
        const Bytes& cdb = b.scsi->cdbs[0];
        EXPECT_EQ(cdb[0], 0x85) << c.name;
        EXPECT_EQ(cdb[2] & 0x20, 0x20) << c.name;
        EXPECT_EQ(cdb[4], 0xDA) << c.name;
    }
}

TEST(SatAta, NonDataWithoutResultUsesTwelveByteForm) {
    Bridge<clSatAta> b;
    b.scsi->replies.push_back({0, {}, {}});
    EXPECT_TRUE(b.ata.SmartExecuteOffline(0x01));
    EXPECT_EQ(b.scsi->cdbs.at(0)[0], 0xA1);
}

} // namespace
} // namespace tvd
