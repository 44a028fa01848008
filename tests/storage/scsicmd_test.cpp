#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "storage/clscsi.h"
#include "storage/commandfakes.h"

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;

// What the device answers to one command, as the tables below write it.
struct Answer {
    bool ok = true; // the platform request itself
    std::uint8_t status = 0;
    Bytes data;                               // data-in bytes the device sends
    std::optional<std::uint32_t> transferred; // default: what was copied / everything sent
    Bytes sense;
};

// The shared scripted path, fed from the tables' answers.
class FakeScsi : public test::ScriptedScsi {
public:
    void Push(const Answer& a) {
        test::Reply r;
        r.status = a.status;
        r.data = a.data;
        r.sense = a.sense;
        r.transferred = a.transferred;
        r.requestFails = !a.ok;
        replies.push_back(std::move(r));
    }
};

const Answer kFail{false, 0, {}, {}, {}};

Bytes Capacity10(std::uint32_t lastLba, std::uint32_t block) {
    Bytes b(8);
    StoreBe(MutableByteView(b), 0, lastLba);
    StoreBe(MutableByteView(b), 4, block);
    return b;
}
Bytes Capacity16(std::uint64_t lastLba, std::uint32_t block) {
    Bytes b(32);
    StoreBe(MutableByteView(b), 0, lastLba);
    StoreBe(MutableByteView(b), 8, block);
    return b;
}
// Standard INQUIRY data with space-padded identity fields.
Bytes InquiryData(const std::string& vendor, const std::string& product, const std::string& rev,
                  std::size_t size = 36) {
    Bytes b(std::max<std::size_t>(size, 36), ' ');
    std::fill(b.begin(), b.begin() + 8, 0);
    std::memcpy(b.data() + 8, vendor.data(), std::min<std::size_t>(vendor.size(), 8));
    std::memcpy(b.data() + 16, product.data(), std::min<std::size_t>(product.size(), 16));
    std::memcpy(b.data() + 32, rev.data(), std::min<std::size_t>(rev.size(), 4));
    b.resize(size);
    return b;
}

AtaRegisters Regs(std::uint8_t f, std::uint8_t c, std::uint8_t l, std::uint8_t m, std::uint8_t h,
                  std::uint8_t d, std::uint8_t cmd) {
    return AtaRegisters{f, c, l, m, h, d, cmd, 0};
}

TEST(ScsiCmd, CdbBytes) {
    const AtaRegisters r = Regs(0xD0, 0x01, 0x11, 0x4F, 0xC2, 0xE0, 0xB0);
    struct Case {
        const char* name;
        Bytes cdb, expected;
    } cases[] = {
        {"inquiry", scsicmd::InquiryCdb(128), {0x12, 0, 0, 0, 0x80, 0}},
        {"read capacity 10", scsicmd::ReadCapacity10Cdb(), {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"read capacity 16",
         scsicmd::ReadCapacity16Cdb(),
         {0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20, 0, 0}},
        {"sanitize",
         scsicmd::SanitizeCdb(0x81, 0x0118),
         {0x48, 0x81, 0, 0, 0, 0, 0, 0x01, 0x18, 0}},
        {"ata12 non-data",
         scsicmd::AtaPassThrough12Cdb(r, DataDirection::kNone),
         {0xA1, 0x06, 0x00, 0xD0, 0x01, 0x11, 0x4F, 0xC2, 0xE0, 0xB0, 0, 0}},
        {"ata12 in",
         scsicmd::AtaPassThrough12Cdb(r, DataDirection::kIn),
         {0xA1, 0x08, 0x0E, 0xD0, 0x01, 0x11, 0x4F, 0xC2, 0xE0, 0xB0, 0, 0}},
        {"ata12 out",
         scsicmd::AtaPassThrough12Cdb(r, DataDirection::kOut),
         {0xA1, 0x0A, 0x06, 0xD0, 0x01, 0x11, 0x4F, 0xC2, 0xE0, 0xB0, 0, 0}},
        {"ata16 non-data ck_cond",
         scsicmd::AtaPassThrough16Cdb(r, DataDirection::kNone, true),
         {0x85, 0x06, 0x20, 0, 0xD0, 0, 0x01, 0, 0x11, 0, 0x4F, 0, 0xC2, 0xE0, 0xB0, 0}},
        {"read sectors 16",
         scsicmd::AtaSectors16Cdb(false, 0x112233445566ull, 0x0102),
         {0x85, 0x09, 0x0E, 0, 0, 0x01, 0x02, 0x33, 0x66, 0x22, 0x55, 0x11, 0x44, 0xE0, 0x24, 0}},
        {"write sectors 16",
         scsicmd::AtaSectors16Cdb(true, 0x00000000ABCDull, 8),
         {0x85, 0x0B, 0x06, 0, 0, 0, 8, 0, 0xCD, 0, 0xAB, 0, 0, 0xE0, 0x34, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.cdb, c.expected) << c.name;
}

// Each builder against one device answer: GOOD status is required everywhere, the whole
// transfer only where the command's size is fixed.
TEST(ScsiCmd, StatusAndTransferRules) {
    using Run = std::function<bool(clScsi*)>;
    const Run inquiry = [](clScsi* s) {
        std::uint8_t buf[128];
        std::uint32_t len = sizeof buf;
        return scsicmd::Inquiry(s, buf, len);
    };
    const Run ata12In = [](clScsi* s) {
        std::uint8_t buf[512];
        return scsicmd::AtaPassThrough12In(s, Regs(0, 1, 0, 0, 0, 0xA0, 0xEC), buf);
    };
    const Run ata12Out = [](clScsi* s) {
        const std::uint8_t buf[512] = {};
        return scsicmd::AtaPassThrough12Out(s, Regs(0, 1, 0, 0, 0, 0xA0, 0xF1), buf);
    };
    const Run read16 = [](clScsi* s) {
        std::uint8_t buf[1024];
        return scsicmd::AtaReadSectors16(s, 0, 2, buf);
    };
    const Run capacity10 = [](clScsi* s) {
        std::uint32_t a, b;
        return scsicmd::ReadCapacity10(s, a, b);
    };
    const Run capacity16 = [](clScsi* s) {
        std::uint64_t a;
        std::uint32_t b;
        return scsicmd::ReadCapacity16(s, a, b);
    };
    const Run sanitize = [](clScsi* s) { return scsicmd::Sanitize(s, 0x82, {}); };
    const Run ata12 = [](clScsi* s) {
        return scsicmd::AtaPassThrough12NonData(s, Regs(0xD4, 0, 0x01, 0x4F, 0xC2, 0xE0, 0xB0));
    };
    const Bytes k512(512, 0x5A);
    struct Case {
        const char* name;
        Run run;
        Answer reply;
        bool expected;
    } cases[] = {
        {"inquiry short answer", inquiry, {true, 0, InquiryData("ATA", "X", "1"), {}, {}}, true},
        {"inquiry check condition",
         inquiry,
         {true, 2, InquiryData("ATA", "X", "1"), {}, {}},
         false},
        {"ata12 in full", ata12In, {true, 0, k512, {}, {}}, true},
        {"ata12 in short", ata12In, {true, 0, Bytes(500, 1), {}, {}}, false},
        {"ata12 in check condition", ata12In, {true, 2, k512, {}, {}}, false},
        {"ata12 out short", ata12Out, {true, 0, {}, 256, {}}, false},
        {"ata12 out full", ata12Out, {true, 0, {}, {}, {}}, true},
        {"read16 short", read16, {true, 0, k512, {}, {}}, false},
        {"capacity10 short", capacity10, {true, 0, Bytes(4, 0), {}, {}}, false},
        {"capacity10 busy", capacity10, {true, 8, Capacity10(9, 512), {}, {}}, false},
        {"capacity16 full", capacity16, {true, 0, Capacity16(9, 512), {}, {}}, true},
        {"capacity16 short", capacity16, {true, 0, Bytes(12, 0), {}, {}}, false},
        {"sanitize good", sanitize, {true, 0, {}, {}, {}}, true},
        {"sanitize check condition", sanitize, {true, 2, {}, {}, {}}, false},
        {"ata12 non-data check condition", ata12, {true, 2, {}, {}, {}}, false},
        {"platform failure", capacity10, {false, 0, Capacity10(9, 512), {}, {}}, false},
    };
    for (const Case& c : cases) {
        FakeScsi scsi;
        scsi.Push(c.reply);
        EXPECT_EQ(c.run(&scsi), c.expected) << c.name;
        EXPECT_EQ(scsi.cdbs.size(), 1u) << c.name;
    }
    for (const Case& c : cases)
        EXPECT_FALSE(c.run(nullptr)) << c.name;
}

TEST(ScsiCmd, InquiryReportsTransferredLength) {
    FakeScsi scsi;
    scsi.Push({true, 0, InquiryData("ATA", "DISK", "1.0"), {}, {}});
    std::uint8_t buf[128] = {};
    std::uint32_t len = sizeof buf;
    ASSERT_TRUE(scsicmd::Inquiry(&scsi, buf, len));
    EXPECT_EQ(len, 36u);
    EXPECT_EQ(scsi.cdbs[0][4], 128);
}

TEST(ScsiCmd, SectorCountMustFitBuffer) {
    FakeScsi scsi;
    std::uint8_t buf[1000];
    EXPECT_FALSE(scsicmd::AtaReadSectors16(&scsi, 0, 2, buf));
    EXPECT_FALSE(scsicmd::AtaWriteSectors16(&scsi, 0, 2, buf));
    EXPECT_FALSE(scsicmd::AtaReadSectors16(&scsi, 0, 0, buf));
    EXPECT_TRUE(scsi.cdbs.empty());
}

TEST(ScsiDiskInfo, FillFromCapacityAndInquiry) {
    constexpr std::uint32_t kBeyond = 0xFFFFFFFF;
    struct Case {
        const char* name;
        std::optional<Bytes> cap10, cap16; // nullopt: command fails
        bool ok;
        std::uint64_t lastLba;
        std::uint32_t block;
        bool used16;
        std::size_t commands;
    } cases[] = {
        {"4 TB disk", Capacity10(kBeyond, 512), Capacity16(7814037167ull, 512), true, 7814037167ull,
         512, true, 3},
        {"small disk, no (16)", Capacity10(0x3FFFF, 4096), std::nullopt, true, 0x3FFFF, 4096, false,
         2},
        {"(16) fails", Capacity10(kBeyond, 512), std::nullopt, true, kBeyond, 512, false, 3},
        {"(16) answers 0", Capacity10(kBeyond, 512), Capacity16(0, 4096), true, kBeyond, 512, false,
         3},
        {"(10) fails", std::nullopt, std::nullopt, false, 0, 0, false, 1},
        {"zero block length", Capacity10(100, 0), std::nullopt, false, 0, 0, false, 1},
    };
    for (const Case& c : cases) {
        auto owned = AdoptInterface<clNtScsi>(new FakeScsi);
        auto* scsi = static_cast<FakeScsi*>(owned.get());
        scsi->Push(c.cap10 ? Answer{true, 0, *c.cap10, {}, {}} : kFail);
        if (c.cap10 && Be<std::uint32_t>(*c.cap10, 0) == kBeyond)
            scsi->Push(c.cap16 ? Answer{true, 0, *c.cap16, {}, {}} : kFail);
        scsi->Push({true, 0, InquiryData("ATA", "DISK", "1.0"), {}, {}});
        ScsiDiskInfo info;
        const bool ok = FillScsiDiskInfo(info, std::move(owned)); // destroys the fake on failure
        EXPECT_EQ(ok, c.ok) << c.name;
        if (!ok) {
            EXPECT_EQ(info.scsi, nullptr) << c.name;
            EXPECT_EQ(info.CapacityBytes(), 0u) << c.name;
            continue;
        }
        EXPECT_EQ(info.scsi.get(), scsi) << c.name;
        EXPECT_EQ(scsi->cdbs.size(), c.commands) << c.name;
        EXPECT_EQ(info.lastLba, c.lastLba) << c.name;
        EXPECT_EQ(info.blockLength, c.block) << c.name;
        EXPECT_EQ(info.capacity16, c.used16) << c.name;
        EXPECT_TRUE(info.capacity10) << c.name;
        EXPECT_EQ(info.inquiryLength, 36u) << c.name;
        EXPECT_EQ(DecodeInquiry(ByteView(info.inquiry, info.inquiryLength)).ModelText(), "ATA DISK")
            << c.name;
    }
}

TEST(ScsiDiskInfo, InquiryFailureDropsRecord) {
    auto owned = AdoptInterface<clNtScsi>(new FakeScsi);
    auto* scsi = static_cast<FakeScsi*>(owned.get());
    scsi->Push({true, 0, Capacity10(99, 512), {}, {}});
    scsi->Push({true, 2, {}, {}, {}});
    ScsiDiskInfo info;
    EXPECT_FALSE(FillScsiDiskInfo(info, std::move(owned)));
    EXPECT_EQ(info.scsi, nullptr);
    EXPECT_FALSE(info.capacity10);
    EXPECT_EQ(info.blockLength, 0u);
}

TEST(ScsiDiskInfo, CapacityBytesGuardsOverflow) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    struct Case {
        std::uint64_t lastLba;
        std::uint32_t block;
        std::uint64_t expected;
    } cases[] = {
        {99, 512, 51200},
        {7814037167ull, 512, 4000787030016ull},
        {(1ull << 53) - 1, 1024, 1ull << 63},
        {1ull << 54, 1024, 0},
        {kMax, 512, 0},
        {kMax, 1, 0},
        {1000, 0, 0},
    };
    for (const Case& c : cases) {
        ScsiDiskInfo info;
        info.lastLba = c.lastLba;
        info.blockLength = c.block;
        EXPECT_EQ(info.CapacityBytes(), c.expected) << c.lastLba << " x " << c.block;
    }
}

TEST(ScsiDiskInfo, CapacityPrefersSixteenByteForm) {
    struct Case {
        const char* name;
        std::vector<Answer> replies;
        std::uint64_t expected;
    } cases[] = {
        {"(16)", {{true, 0, Capacity16(1999, 4096), {}, {}}}, 2000ull * 4096},
        {"(10) after (16) fails", {kFail, {true, 0, Capacity10(1999, 512), {}, {}}}, 2000ull * 512},
        {"(10) saturated", {kFail, {true, 0, Capacity10(0xFFFFFFFF, 512), {}, {}}}, 0},
        {"both fail", {kFail, kFail}, 0},
    };
    for (const Case& c : cases) {
        FakeScsi scsi;
        for (const Answer& a : c.replies)
            scsi.Push(a);
        EXPECT_EQ(ScsiCapacityBytes(&scsi), c.expected) << c.name;
    }
    EXPECT_EQ(ScsiCapacityBytes(nullptr), 0u);
}

TEST(ScsiIdentity, DecodeAndModelText) {
    Bytes tabbed = InquiryData("WD\t", "My Passport\t\t", "1012");
    Bytes nulPadded = InquiryData("JMicron", "Tech", "0509");
    std::fill(nulPadded.begin() + 20, nulPadded.begin() + 32, 0);
    struct Case {
        const char* name;
        Bytes data;
        std::string vendor, product, revision, model;
    } cases[] = {
        {"full", InquiryData("SEAGATE", "ST4000NM0033-9ZM", "SN04"), "SEAGATE", "ST4000NM0033-9ZM",
         "SN04", "SEAGATE ST4000NM0033-9ZM"},
        {"blank product", InquiryData("Generic", "", "0.00"), "Generic", "", "0.00", "Generic"},
        {"blank vendor", InquiryData("", "Flash Disk", "8.07"), "", "Flash Disk", "8.07",
         "Flash Disk"},
        {"tabs trimmed", tabbed, "WD", "My Passport", "1012", "WD My Passport"},
        {"NUL ends a field", nulPadded, "JMicron", "Tech", "0509", "JMicron Tech"},
        {"only vendor transferred", InquiryData("ATA", "HIDDEN", "X", 20), "ATA", "", "", "ATA"},
        {"nothing", {}, "", "", "", ""},
    };
    for (const Case& c : cases) {
        const ScsiIdentity id = DecodeInquiry(c.data);
        EXPECT_EQ(id.vendor, c.vendor) << c.name;
        EXPECT_EQ(id.product, c.product) << c.name;
        EXPECT_EQ(id.revision, c.revision) << c.name;
        EXPECT_EQ(id.ModelText(), c.model) << c.name;
    }
}

// Sense data builders: descriptor format with an optional leading descriptor, fixed format.
Bytes DescriptorSense(const Bytes& descriptors) {
    Bytes s(8 + descriptors.size(), 0);
    const std::uint8_t header[] = {0x72, 0x01, 0x00, 0x1D};
    std::copy(std::begin(header), std::end(header), s.begin());
    s[7] = static_cast<std::uint8_t>(descriptors.size());
    std::copy(descriptors.begin(), descriptors.end(), s.begin() + 8);
    return s;
}
Bytes AtaReturn(std::uint8_t error, std::uint8_t count, std::uint8_t low, std::uint8_t mid,
                std::uint8_t high, std::uint8_t device, std::uint8_t status) {
    return {0x09, 0x0C, 0, error, 0, count, 0, low, 0, mid, 0, high, device, status};
}

TEST(ScsiCmd, AtaReturnFromSense) {
    const Bytes ret = AtaReturn(0x00, 0x01, 0x22, 0x4F, 0xC2, 0xA0, 0x50);
    Bytes afterInfo = {0x00, 0x0A, 0x80, 0, 1, 2, 3, 4, 5, 6, 7, 8};
    afterInfo.insert(afterInfo.end(), ret.begin(), ret.end());
    Bytes truncated = DescriptorSense(ret);
    truncated.resize(truncated.size() - 3);
    Bytes overlong = DescriptorSense(ret);
    overlong[8 + 1] = 0x40; // descriptor claims more than the sense holds
    Bytes fixed(18, 0);
    fixed[0] = 0x70;
    fixed[2] = 0x01;
    fixed[7] = 10;
    fixed[3] = 0x04; // error
    fixed[4] = 0x51; // status
    fixed[5] = 0xA0; // device
    fixed[6] = 0x01; // count
    fixed[9] = 0x22;
    fixed[10] = 0x2C;
    fixed[11] = 0xF4;
    fixed[12] = 0x00;
    fixed[13] = 0x1D;
    Bytes fixedOther = fixed;
    fixedOther[12] = 0x3A; // medium not present: no registers
    struct Case {
        const char* name;
        Bytes sense;
        std::optional<AtaRegisters> expected;
    } cases[] = {
        {"descriptor", DescriptorSense(ret), Regs(0x00, 0x01, 0x22, 0x4F, 0xC2, 0xA0, 0x50)},
        {"after another descriptor", DescriptorSense(afterInfo),
         Regs(0x00, 0x01, 0x22, 0x4F, 0xC2, 0xA0, 0x50)},
        {"fixed format", fixed, Regs(0x04, 0x01, 0x22, 0x2C, 0xF4, 0xA0, 0x51)},
        {"fixed, other ASC", fixedOther, std::nullopt},
        {"truncated", truncated, std::nullopt},
        {"descriptor overruns", overlong, std::nullopt},
        {"no return descriptor", DescriptorSense({0x00, 0x0A, 0x80, 0, 1, 2, 3, 4, 5, 6, 7, 8}),
         std::nullopt},
        {"empty", {}, std::nullopt},
    };
    for (const Case& c : cases) {
        AtaRegisters got;
        const bool ok = scsicmd::AtaReturnFromSense(c.sense, got);
        EXPECT_EQ(ok, c.expected.has_value()) << c.name;
        if (ok && c.expected) {
            EXPECT_EQ(got, *c.expected) << c.name;
        }
    }
}

TEST(ScsiCmd, AtaPassThrough16Result) {
    struct Case {
        const char* name;
        Answer reply;
        bool ok;
    } cases[] = {
        {"check condition with registers",
         {true, 2, {}, {}, DescriptorSense(AtaReturn(0, 0, 0, 0x4F, 0xC2, 0xA0, 0x50))},
         true},
        {"command aborted",
         {true, 2, {}, {}, DescriptorSense(AtaReturn(0x04, 0, 0, 0x4F, 0xC2, 0xA0, 0x51))},
         false},
        {"no sense", {true, 0, {}, {}, {}}, false},
        {"busy",
         {true, 8, {}, {}, DescriptorSense(AtaReturn(0, 0, 0, 0x4F, 0xC2, 0xA0, 0x50))},
         false},
    };
    for (const Case& c : cases) {
        FakeScsi scsi;
        scsi.Push(c.reply);
        AtaRegisters result;
        EXPECT_EQ(scsicmd::AtaPassThrough16NonDataResult(
                      &scsi, Regs(0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0), result),
                  c.ok)
            << c.name;
        ASSERT_EQ(scsi.cdbs.size(), 1u);
        EXPECT_EQ(scsi.cdbs[0][2] & 0x20, 0x20) << c.name;
        if (c.ok) {
            EXPECT_EQ(result.lbaMid << 8 | result.lbaHigh, 0x4FC2) << c.name;
        }
    }
}

} // namespace
} // namespace tvd
