// The vendor command sets of the USB bridges: the CDBs each operation sends, the failures a real
// bridge causes (CHECK CONDITION, a short transfer, a result block that never came), the chip
// identification and the port probes.
#include <gtest/gtest.h>

#include <functional>

#include "storage/asmusbatafun.h"
#include "storage/clnvme.h"
#include "storage/jmusbatafun.h"
#include "storage/nvmeidentitybuilder.h"
#include "storage/commandfakes.h"
#include "storage/storagechipidentifyutil.h"
#include "storage/usbbridgeutil.h"
#include "storage/usbvendoratafun.h"

namespace tvd {
namespace {

using test::Bridge;
using test::Bytes;
using test::ScriptedScsi;

// An ATA operation through a fresh bridge of one class; the test scripts the answers.
struct AtaOp {
    const char* name;
    std::function<std::unique_ptr<clAta>(InterfacePtr<clNtScsi>)> make;
    std::function<bool(clAta&)> run;
    std::vector<test::Reply> replies;
    std::vector<Bytes> cdbs;
};

std::uint8_t g_buf[512];

template <class T, class... A> auto Make(A... args) {
    return [=](InterfacePtr<clNtScsi> t) -> std::unique_ptr<clAta> {
        return std::make_unique<T>(std::move(t), args...);
    };
}
bool Identify(clAta& a) {
    return a.Identify(g_buf);
}
bool SmartData(clAta& a) {
    return a.SmartReadData(g_buf);
}
bool SmartThresholds(clAta& a) {
    return a.SmartReadThresholds(g_buf);
}
bool StatusOk(clAta& a) {
    return a.SmartReturnStatus() == 0x4FC2;
}

test::Reply Good(Bytes data = {}) {
    return {0, std::move(data), {}};
}
Bytes Sector() {
    return Bytes(512, 0x5A);
}

std::vector<AtaOp> VendorAtaOps() {
    Bytes asmResult(12, 0);
    asmResult[3] = 0x4F;
    asmResult[4] = 0xC2;
    Bytes sevenAt1(8, 0);
    sevenAt1[4] = 0x4F;
    sevenAt1[5] = 0xC2;
    Bytes plxResult(12, 0);
    plxResult[4] = 0x4F;
    plxResult[5] = 0xC2;
    Bytes plResult(16, 0);
    plResult[5] = 0x4F;
    plResult[6] = 0xC2;
    return {
        {"jmicron identify, port 1",
         Make<clJmUsbAta>(std::uint8_t{0xB0}),
         Identify,
         {Good(Sector())},
         {{0xDF, 0x10, 0, 0x02, 0x00, 0, 0, 0, 0, 0, 0xB0, 0xEC}}},
        {"jmicron smart data",
         Make<clJmUsbAta>(std::uint8_t{0xA0}),
         SmartData,
         {Good(Sector())},
         {{0xDF, 0x10, 0, 0x02, 0x00, 0xD0, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0}}},
        {"jmicron smart offline (non-data)",
         Make<clJmUsbAta>(std::uint8_t{0xA0}),
         [](clAta& a) { return a.SmartExecuteOffline(0x02); },
         {Good()},
         {{0xDF, 0x00, 0, 0, 0, 0xD4, 0, 0x02, 0x4F, 0xC2, 0xA0, 0xB0}}},
        {"jmicron smart status",
         Make<clJmUsbAta>(std::uint8_t{0xA0}),
         StatusOk,
         {Good({0xC2})},
         {{0xDF, 0x10, 0, 0, 0x01, 0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0}}},
        {"asmedia identify",
         Make<clAsmUsbAta>(),
         Identify,
         {Good(Sector())},
         {{0xE6, 0, 0, 0, 0xEC, 0, 0, 0, 0, 0xA0, 0, 0, 0, 0, 0, 0}}},
        {"asmedia smart status",
         Make<clAsmUsbAta>(),
         StatusOk,
         {Good(), Good(asmResult)},
         {{0xE6, 0, 0, 0, 0xB0, 0xDA, 0, 0x4F, 0xC2, 0xA0, 0, 0, 0, 0, 0, 0},
          {0xE7, 0, 0, 0, 0, 0}}},
        {"sunplus identify",
         Make<clSunplusAta>(),
         Identify,
         {Good(Sector())},
         {{0xF8, 0, 0x22, 0x10, 0x01, 0, 0, 0, 0, 0, 0xA0, 0xEC}}},
        {"sunplus smart status",
         Make<clSunplusAta>(),
         StatusOk,
         {Good(), Good(sevenAt1)},
         {{0xF8, 0, 0x22, 0, 0, 0xDA, 0, 0, 0x4F, 0xC2, 0xE0, 0xB0},
          {0xF8, 0, 0x21, 0, 0, 0, 0, 0, 0, 0, 0, 0}}},
        {"plx507 smart thresholds, port 1",
         Make<clPlx507Ata>(std::uint8_t{0xB0}),
         SmartThresholds,
         {Good(Sector())},
         {{0xDF, 0x10, 0, 0x02, 0, 0xD1, 0, 0, 0x4F, 0xC2, 0xB0, 0xB0}}},
        {"plx507 smart status",
         Make<clPlx507Ata>(std::uint8_t{0xA0}),
         StatusOk,
         {Good(), Good(plxResult)},
         {{0xDF, 0x10, 0, 0, 0, 0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0},
          {0xDE, 0x01, 0x06, 0x7B, 0, 0}}},
        {"pl2571 smart data",
         Make<clPl2571Ata>(),
         SmartData,
         {Good(Sector())},
         {{0xD8, 0x15, 0, 0xD0, 0x06, 0x7B, 0x00, 0x02, 0x00, 0x00, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0}}},
        {"pl2571 smart status",
         Make<clPl2571Ata>(),
         StatusOk,
         {Good(), Good(plResult)},
         {{0xD8, 0x15, 0, 0xDA, 0x06, 0x7B, 0, 0, 0, 0, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0},
          {0xD7, 0x01, 0, 0, 0x06, 0x7B}}},
    };
}

TEST(UsbVendorAta, CommandBlocks) {
    for (AtaOp& op : VendorAtaOps()) {
        auto* scsi = new ScriptedScsi;
        auto ata = op.make(AdoptInterface<clNtScsi>(scsi));
        for (auto& r : op.replies)
            scsi->replies.push_back(r);
        EXPECT_TRUE(op.run(*ata)) << op.name;
        EXPECT_EQ(scsi->cdbs, op.cdbs) << op.name;
        EXPECT_TRUE(ata->IsA("clUsbAta")) << op.name;
    }
}

// Every step needs GOOD status and the whole transfer; a result block that does not come back
// is a failure, never zeroed registers.
TEST(UsbVendorAta, EveryStepMustSucceed) {
    for (AtaOp& op : VendorAtaOps()) {
        for (std::size_t step = 0; step < op.replies.size(); ++step) {
            struct Fault {
                const char* name;
                std::function<void(test::Reply&)> apply;
                bool drop;
            } faults[] = {
                {"check condition", [](test::Reply& r) { r.status = 2; }, false},
                {"short transfer",
                 [](test::Reply& r) {
                     if (!r.data.empty())
                         r.data.pop_back();
                     else
                         r.status = 8; // BUSY for a non-data step
                 },
                 false},
                {"no answer", nullptr, true},
            };
            for (const Fault& f : faults) {
                auto* scsi = new ScriptedScsi;
                auto ata = op.make(AdoptInterface<clNtScsi>(scsi));
                for (std::size_t i = 0; i < op.replies.size(); ++i) {
                    if (i == step && f.drop) break;
                    test::Reply r = op.replies[i];
                    if (i == step) f.apply(r);
                    scsi->replies.push_back(r);
                }
                EXPECT_FALSE(op.run(*ata)) << op.name << ", step " << step << ": " << f.name;
            }
        }
    }
}

TEST(UsbVendorAta, UnsupportedTransfersSendNothing) {
    Bytes sector(512), two(1024), big(0x10000);
    struct Case {
        const char* name;
        std::function<std::unique_ptr<clAta>(InterfacePtr<clNtScsi>)> make;
        std::function<bool(clAta&)> run;
    } cases[] = {
        {"asmedia data-out", Make<clAsmUsbAta>(),
         [&](clAta& a) { return a.ExecDataOut(AtaRegisters{}, sector); }},
        {"sunplus two sectors", Make<clSunplusAta>(),
         [&](clAta& a) { return a.ExecDataIn(AtaRegisters{}, two); }},
        {"plx507 data-out", Make<clPlx507Ata>(std::uint8_t{0xA0}),
         [&](clAta& a) { return a.ExecDataOut(AtaRegisters{}, sector); }},
        {"pl2571 two sectors", Make<clPl2571Ata>(),
         [&](clAta& a) { return a.ExecDataIn(AtaRegisters{}, two); }},
        {"jmicron beyond 16-bit length", Make<clJmUsbAta>(std::uint8_t{0xA0}),
         [&](clAta& a) { return a.ExecDataIn(AtaRegisters{}, big); }},
        {"jmicron result registers", Make<clJmUsbAta>(std::uint8_t{0xA0}),
         [&](clAta& a) {
             AtaRegisters out;
             return a.ExecNonData(AtaRegisters{}, &out);
         }},
        {"vendor sector read", Make<clAsmUsbAta>(),
         [&](clAta& a) { return a.ReadSectors(0, 1, sector); }},
    };
    for (const Case& c : cases) {
        auto* scsi = new ScriptedScsi;
        auto ata = c.make(AdoptInterface<clNtScsi>(scsi));
        for (int i = 0; i < 3; ++i)
            scsi->Good(Bytes(1024));
        EXPECT_FALSE(c.run(*ata)) << c.name;
        EXPECT_TRUE(scsi->cdbs.empty()) << c.name;
    }
}

TEST(UsbVendorAta, JmicronEncodesTheWholeLength) {
    Bridge<clJmUsbAta> b(std::uint8_t{0xA0});
    Bytes data(0x0123);
    b.scsi->Good(Bytes(0x0123, 1));
    ASSERT_TRUE(b.ata.ExecDataIn(AtaRegisters{}, data));
    EXPECT_EQ(b.scsi->cdbs[0][3], 0x01);
    EXPECT_EQ(b.scsi->cdbs[0][4], 0x23);
    b.scsi->Good();
    ASSERT_TRUE(b.ata.ExecDataOut(AtaRegisters{}, data));
    EXPECT_EQ(b.scsi->cdbs[1][1], 0x00);
    EXPECT_EQ(b.scsi->cdbs[1][4], 0x23);
    EXPECT_EQ(b.scsi->sent[0].size(), 0x0123u);
}

TEST(UsbVendorAta, JmicronSmartStatusByte) {
    struct Case {
        test::Reply reply;
        std::uint16_t expected;
    } cases[] = {
        {Good({0xC2}), 0x4FC2}, {Good({0x2C}), 0xF42C},
        {Good({0x13}), 0x0013}, // neither of the two status values
        {{2, {0xC2}, {}}, 0},   {Good({}), 0},
    };
    for (const Case& c : cases) {
        Bridge<clJmUsbAta> b(std::uint8_t{0xA0});
        b.scsi->replies.push_back(c.reply);
        EXPECT_EQ(b.ata.SmartReturnStatus(), c.expected);
    }
}

TEST(UsbBridgeChip, FromInquiry) {
    auto inquiry = [](std::size_t n, std::size_t at, std::string_view text) {
        Bytes b(n, ' ');
        std::copy(text.begin(), text.end(), b.begin() + at);
        return b;
    };
    Bytes vu3aTd = inquiry(56, 36, "VU3A");
    vu3aTd[54] = 'T';
    vu3aTd[55] = 'D';
    struct Case {
        const char* name;
        Bytes data;
        std::uint16_t chip;
    } cases[] = {
        {"j335", inquiry(40, 36, "j335"), 0x2335},
        {"j551", inquiry(64, 36, "j551"), 0x2551},
        {"567 at 37", inquiry(40, 37, "567"), 0x0567},
        {"578 at 37", inquiry(40, 37, "578"), 0x0578},
        {"j335 but only 39 bytes", inquiry(39, 36, "j33"), 0},
        {"VU3A", inquiry(40, 36, "VU3A"), 0x0700},
        {"VU3A with TD", vu3aTd, 0x0750},
        {"Symwave", inquiry(36, 8, "SYMWAVE "), 0x1CA1},
        {"PLX", inquiry(40, 36, "PLX"), 0x0525},
        {"SkyOTB", inquiry(42, 36, "SkyOTB"), 0x1516},
        {"SkyOTB cut", inquiry(41, 36, "SkyOT"), 0},
        {"plain", inquiry(36, 8, "ATA     "), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chipid::FromInquiry64(c.data), c.chip) << c.name;

    Bytes asm38(38, 0);
    asm38[36] = 0x05;
    asm38[37] = 0x21;
    EXPECT_EQ(chipid::FromInquiry38(asm38), 0x2105);
    EXPECT_EQ(chipid::FromInquiry38(ByteView(asm38).first(37)), 0);
    EXPECT_EQ(chipid::FromUsbIds(0x04FC, 0x0C05), 0x0C05);
    EXPECT_EQ(chipid::FromUsbIds(0x067B, 0x3507), 0x3507);
    EXPECT_EQ(chipid::FromUsbIds(0x067B, 0x2771), 0x2771);
    EXPECT_EQ(chipid::FromUsbIds(0x152D, 0x0C05), 0);
    EXPECT_EQ(chipid::AtaSetOf(0x2336), chipid::AtaSet::kNone); // JMicron, but not a SATA set
    EXPECT_EQ(chipid::AtaSetOf(0x0539), chipid::AtaSet::kJmicron);
}

TEST(UsbBridgeChip, IdentifyAsksInquiryTwice) {
    ScriptedScsi scsi;
    Bytes plain(36, ' ');
    Bytes asm38(38, ' ');
    asm38[36] = 0x05;
    asm38[37] = 0x21;
    scsi.Good(plain);
    scsi.Good(asm38);
    EXPECT_EQ(IdentifyBridgeChip(&scsi), 0x2105);
    ASSERT_EQ(scsi.cdbs.size(), 2u);
    EXPECT_EQ(scsi.cdbs[0][4], 64);
    EXPECT_EQ(scsi.cdbs[1][4], 38);
}

TEST(UsbBridgeChip, JmicronPortSelection) {
    auto answer16 = [](char last) {
        Bytes b(16, 0);
        b[0] = 0xF4;
        b[1] = 0xE7;
        b[15] = static_cast<std::uint8_t>(last);
        return b;
    };
    struct Case {
        const char* name;
        std::uint16_t chip;
        std::vector<test::Reply> replies;
        bool ok;
        std::uint8_t device;
        std::size_t commands;
    } cases[] = {
        {"2335 port 0", 0x2335, {Good({0x04, 0})}, true, 0xA0, 1},
        {"2335 port 1", 0x2335, {Good({0x40, 0})}, true, 0xB0, 1},
        {"2335 no drive", 0x2335, {Good({0x00, 0})}, false, 0, 1},
        {"2335 short read", 0x2335, {Good({0x04})}, false, 0, 1},
        {"2352 port 1", 0x2352, {Good(answer16('X')), Good({'J', 'M', 0, 1})}, true, 0xB0, 2},
        {"2352 port 0", 0x2352, {Good(answer16('X')), Good({'J', 'M', 0, 0})}, true, 0xA0, 2},
        {"2551 no X", 0x2551, {Good(answer16('Y'))}, true, 0xA0, 1},
        {"2352 bad port answer",
         0x2352,
         {Good(answer16('X')), Good({'J', 'X', 0, 1})},
         true,
         0xA0,
         2},
        {"2339 never asks", 0x2339, {}, true, 0xA0, 0},
    };
    for (const Case& c : cases) {
        ScriptedScsi scsi;
        for (const auto& r : c.replies)
            scsi.replies.push_back(r);
        std::uint8_t device = 0;
        EXPECT_EQ(jmusb::SelectPort(&scsi, c.chip, device), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(device, c.device) << c.name;
        }
        ASSERT_EQ(scsi.cdbs.size(), c.commands) << c.name;
        if (c.chip == 0x2335) {
            EXPECT_EQ(scsi.cdbs[0], (Bytes{0xDF, 0x10, 0, 0, 2, 0, 0x72, 0x0F, 0, 0, 0, 0xFD}));
        }
        if (c.commands == 2) {
            EXPECT_EQ(scsi.cdbs[1], (Bytes{0xFF, 0x04, 0x37, 0x04, 0, 0, 0, 0, 0, 0, 0, 0}));
        }
    }
}

TEST(UsbBridgeChip, PlxProbe) {
    struct Case {
        Bytes answer;
        bool ok;
        std::uint8_t device;
    } cases[] = {
        {{1, 0, 0, 0, 0, 0, 0, 0}, true, 0xA0},
        {{0, 0, 0, 1, 0, 0, 0, 0}, true, 0xB0},
        {{0, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {{1, 0, 0, 0}, false, 0}, // short
    };
    for (const Case& c : cases) {
        ScriptedScsi scsi;
        scsi.Good(c.answer);
        std::uint8_t device = 0;
        EXPECT_EQ(usbvendor::Plx507Probe(&scsi, device), c.ok);
        if (c.ok) {
            EXPECT_EQ(device, c.device);
        }
        EXPECT_EQ(scsi.cdbs.at(0), (Bytes{0xD8, 0, 0x06, 0x7B, 0, 0x08}));
    }
}

TEST(UsbBridgeIds, ProductQueriesOnlyForTheirMaker) {
    Bytes jm(128, 0);
    jm[0] = 0xF4;
    jm[1] = 0xE7;
    jm[2] = 0x15;
    jm[3] = 0x2D;
    jm[4] = 0x05;
    jm[5] = 0x83;
    {
        ScriptedScsi scsi;
        scsi.Good(Bytes(36, ' '));
        scsi.Good(jm);
        std::uint16_t v = 0, p = 0;
        EXPECT_TRUE(IdentifyUsbBridge(&scsi, 0x2335, v, p));
        EXPECT_EQ(v, 0x152D);
        EXPECT_EQ(p, 0x0583);
    }
    {
        // A bridge no INQUIRY or chip names gets INQUIRY and nothing else.
        ScriptedScsi scsi;
        scsi.Good(Bytes(36, ' '));
        std::uint16_t v = 0, p = 0;
        EXPECT_FALSE(IdentifyUsbBridge(&scsi, 0, v, p));
        EXPECT_EQ(scsi.cdbs.size(), 1u);
    }
    {
        Bytes asmAnswer(128, 0);
        StoreLe<std::uint16_t>(asmAnswer, 116, 0x174C);
        StoreLe<std::uint16_t>(asmAnswer, 118, 0x1153);
        ScriptedScsi scsi;
        scsi.Good(Bytes(36, ' '));
        scsi.Good(asmAnswer);
        std::uint16_t v = 0, p = 0;
        EXPECT_TRUE(IdentifyUsbBridge(&scsi, 0x2105, v, p));
        EXPECT_EQ(v, 0x174C);
        EXPECT_EQ(p, 0x1153);
        EXPECT_EQ(scsi.cdbs[1], (Bytes{0xE0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    }
}

// The NVMe candidates: a bridge that neither INQUIRY nor USB ids name keeps its transport and
// sees no vendor command.
TEST(UsbBridgeNvme, UnknownBridgeSeesOnlyInquiry) {
    auto* scsi = new ScriptedScsi;
    InterfacePtr<clNtScsi> t = AdoptInterface<clNtScsi>(scsi);
    for (int i = 0; i < 4; ++i)
        scsi->Good(Bytes(40, ' '));
    std::vector<std::uint8_t> identify(4096);
    CandidateContext ctx;
    for (auto make : {MakeAsmediaUsbNvme, MakeJmicronUsbNvme}) {
        CandidateResult<clNvme> r = make(ctx, identify, t);
        EXPECT_FALSE(r.valid);
        ASSERT_NE(t, nullptr); // handed back
    }
    ASSERT_EQ(scsi->cdbs.size(), 2u);
    for (const Bytes& cdb : scsi->cdbs)
        EXPECT_EQ(cdb[0], 0x12);
}

TEST(UsbBridgeNvme, AsmediaAcceptsWhatInquiryNames) {
    auto* scsi = new ScriptedScsi;
    InterfacePtr<clNtScsi> t = AdoptInterface<clNtScsi>(scsi);
    Bytes inq(38, ' ');
    inq[36] = 0x60;
    inq[37] = 0x23;
    scsi->Good(inq);
    scsi->Good(test::NvmeControllerBuilder().Bytes());
    std::vector<std::uint8_t> identify(4096);
    CandidateResult<clNvme> r = MakeAsmediaUsbNvme(CandidateContext{}, identify, t);
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(t, nullptr);
    EXPECT_TRUE(r.object->IsA("clAsmUsbNvme"));
    EXPECT_TRUE(r.object->IsA("clUsbNvme"));
    EXPECT_EQ(r.object->GetController().size(), 4096u);
    EXPECT_EQ(scsi->cdbs[1], (Bytes{0xE6, 0x06, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(UsbBridgeNvme, AsmediaCommandSteps) {
    Bridge<clAsmUsbNvme> b;
    Bytes completion(16, 0);
    b.scsi->Good();                 // command
    b.scsi->Good(Bytes(512, 0x11)); // data
    b.scsi->Good(completion);       // completion
    Bytes log(512);
    const auto cmd = nvmecmd::GetLogPage(0x02, 127);
    std::uint8_t got[16];
    ASSERT_TRUE(b.ata.ExecDataIn(true, cmd, log, got));
    ASSERT_EQ(b.scsi->cdbs.size(), 3u);
    EXPECT_EQ(b.scsi->cdbs[0], (Bytes{0xEA, 0x5A, 0x80, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 64, 0, 0}));
    EXPECT_EQ(b.scsi->cdbs[1], (Bytes{0xEB, 0x5A, 0x81, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0}));
    EXPECT_EQ(b.scsi->cdbs[2], (Bytes{0xEB, 0x5A, 0x82, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0}));
    EXPECT_EQ(b.scsi->sent[0], Bytes(cmd.begin(), cmd.end()));

    // A failed completion status, a missing completion: the command failed.
    Bytes bad(16, 0);
    bad[14] = 0x02 << 1; // invalid field
    for (bool missing : {false, true}) {
        Bridge<clAsmUsbNvme> f;
        f.scsi->Good();
        f.scsi->Good();
        if (!missing) f.scsi->Good(bad);
        EXPECT_FALSE(f.ata.ExecNonData(true, cmd, nullptr)) << missing;
        EXPECT_EQ(f.scsi->cdbs[1],
                  (Bytes{0xEB, 0x5A, 0x81, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    }
}

TEST(UsbBridgeNvme, JmicronCommandSteps) {
    const auto cmd = nvmecmd::Sanitize(0x02);
    Bytes completion(512, 0);
    std::copy_n("NVME", 4, completion.begin());
    completion[8] = 0x77;
    {
        Bridge<clJmUsbNvme> b;
        b.scsi->Good();
        b.scsi->Good();
        b.scsi->Good(completion);
        std::uint8_t got[16] = {};
        ASSERT_TRUE(b.ata.ExecNonData(true, cmd, got));
        EXPECT_EQ(got[0], 0x77);
        EXPECT_EQ(b.scsi->cdbs[0], (Bytes{0xA1, 0x80, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}));
        EXPECT_EQ(b.scsi->cdbs[1], (Bytes{0xA1, 0x81, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
        EXPECT_EQ(b.scsi->cdbs[2], (Bytes{0xA1, 0x8F, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}));
        const Bytes& block = b.scsi->sent.at(0);
        ASSERT_EQ(block.size(), 512u);
        EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), (Bytes{'N', 'V', 'M', 'E'}));
        EXPECT_EQ(Bytes(block.begin() + 8, block.begin() + 72), Bytes(cmd.begin(), cmd.end()));
    }
    // A completion the caller asked for that does not come back, or comes back without its
    // signature, fails the command: a sanitize must not read zeros as success.
    Bytes unsigned512(512, 0);
    for (bool missing : {true, false}) {
        Bridge<clJmUsbNvme> b;
        b.scsi->Good();
        b.scsi->Good();
        if (!missing) b.scsi->Good(unsigned512);
        std::uint8_t got[16];
        EXPECT_FALSE(b.ata.ExecNonData(true, cmd, got)) << missing;
    }
    {
        // Data-in must come back whole.
        Bridge<clJmUsbNvme> b;
        b.scsi->Good();
        b.scsi->Good(Bytes(4095));
        Bytes data(4096);
        EXPECT_FALSE(b.ata.ExecDataIn(true, nvmecmd::Identify(0, 1), data, nullptr));
        EXPECT_EQ(b.scsi->cdbs[1], (Bytes{0xA1, 0x82, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0}));
    }
}

} // namespace
} // namespace tvd
