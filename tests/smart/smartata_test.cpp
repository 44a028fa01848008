#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../storage/ataidentitybuilder.h"
#include "../storage/commandfakes.h"
#include "smart/smartatacreateutil.h"
#include "smartpagebuilder.h"
#include "storage/clata.h"

namespace tvd {
namespace {

using test::AtaIdentityBuilder;
using test::PageAta;
using test::SmartPageBuilder;

struct Drive {
    std::string model;
    std::string firmware = "FW1.0";
    bool ssd = true;
};

std::vector<std::uint8_t> IdentifyOf(const Drive& d) {
    AtaIdentityBuilder b;
    b.Model(d.model).Firmware(d.firmware).Set(217, d.ssd ? 1 : 7200);
    return b.Vector();
}

std::unique_ptr<clSmartAta> Create(const Drive& d, const SmartPageBuilder& data,
                                   const SmartPageBuilder& thresholds, PageAta** out = nullptr) {
    auto* ata = new PageAta;
    ata->identify = IdentifyOf(d);
    ata->data = data.Build();
    ata->thresholds = thresholds.Build();
    if (out) *out = ata;
    return CreateSmartAta(nullptr, AdoptInterface<clAta>(ata));
}

std::unique_ptr<clSmartAta> Create(const Drive& d, const SmartPageBuilder& data) {
    SmartPageBuilder thresholds;
    thresholds.Threshold(1, 1);
    return Create(d, data, thresholds);
}

TEST(SmartAttributeParse, RawIs56BitsAndIdZeroEndsTheList) {
    SmartPageBuilder data;
    data.Attr(0x05, 100, 99, 0x00AABBCCDDEEFF11ull).Attr(0x09, 98, 97, 1234).Attr(0, 0, 0, 0);
    data.Attr(0x0C, 100, 100, 7); // after the terminator: never read
    SmartAttributeList list;
    ASSERT_TRUE(ParseAtaSmartData(data.Build(), list));
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.entries[0].raw, 0x00AABBCCDDEEFF11ull);
    EXPECT_EQ(list.entries[0].current, 100);
    EXPECT_EQ(list.entries[0].worst, 99);
    EXPECT_EQ(list.entries[1].raw, 1234u);
    EXPECT_EQ(FindSmartAttribute(list, 0x0C), -1);

    // Thresholds land only on listed ids; a second data page updates in place.
    SmartPageBuilder thr;
    thr.Threshold(0x09, 50).Threshold(0xC2, 10);
    ASSERT_TRUE(ParseAtaSmartThresholds(thr.Build(), list));
    EXPECT_EQ(list.entries[1].threshold, 50);
    EXPECT_EQ(list.count, 2);
    SmartPageBuilder again;
    again.Attr(0x09, 90, 90, 2000).Attr(0xC2, 40, 30, 40);
    ASSERT_TRUE(ParseAtaSmartData(again.Build(), list));
    ASSERT_EQ(list.count, 3);
    EXPECT_EQ(list.entries[1].raw, 2000u);
    EXPECT_EQ(list.entries[1].threshold, 50);
}

TEST(SmartAttributeParse, ListNeverHoldsMoreThanCapacity) {
    SmartPageBuilder data;
    for (int id = 1; id <= 30; ++id)
        data.Attr(static_cast<std::uint8_t>(id), 100, 100, id);
    SmartAttributeList list;
    list.capacity = 15;
    ASSERT_TRUE(ParseAtaSmartData(data.Build(), list));
    EXPECT_EQ(list.count, 15);
    EXPECT_EQ(FindOrAppendSmartAttribute(list, 200), nullptr);
    EXPECT_EQ(FindOrAppendSmartAttribute(list, 0), nullptr);
}

TEST(SmartAttributeParse, UnusablePagesAreRefused) {
    SmartPageBuilder data;
    data.Attr(0x09, 100, 100, 10);
    std::vector<std::uint8_t> badSum = data.Build();
    badSum[511] ^= 0x01;
    const std::vector<std::uint8_t> noSum = data.Build(false);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> page;
        bool usable;
    } cases[] = {
        {"checksum right", data.Build(), true},
        {"no checksum kept", noSum, true},
        {"checksum wrong", badSum, false},
        {"all zero", std::vector<std::uint8_t>(512, 0), false},
        {"short", std::vector<std::uint8_t>(511, 1), false},
    };
    for (const Case& c : cases) {
        SmartAttributeList list;
        EXPECT_EQ(ParseAtaSmartData(c.page, list), c.usable) << c.name;
        EXPECT_EQ(list.count, c.usable ? 1 : 0) << c.name;
    }
}

// One row per evaluator path: the drive, its attributes and what the object derives.
struct EvalCase {
    const char* name;
    Drive drive;
    std::vector<std::tuple<std::uint8_t, std::uint8_t, std::uint64_t>> attrs; // id, current, raw
    const char16_t* section;
    int temperature;
    int life;
    int health;
    std::int64_t writes;
    std::int64_t reads = kSmartNoCount;
    std::int64_t hours = kSmartNoCount;
    std::int64_t cycles = kSmartNoCount;
};

TEST(SmartAtaEvaluators, DerivedValuesFollowTheProfile) {
    const EvalCase cases[] = {
        {"hard disk: computed health 100 -> 80 -> 77, 32-bit hours and cycles",
         {"HDD MODEL 2000", "FW1.0", false},
         {{0x05, 100, 10},
          {0x09, 90, 0x0123456789ull},
          {0x0C, 99, 0x100000007ull},
          {0xC2, 40, 40},
          {0xC5, 100, 3}},
         u"Smart",
         40,
         kSmartNoValue,
         77,
         kSmartNoCount,
         kSmartNoCount,
         0x23456789,
         7},
        {"temperature 0 gives none; 190 with byte 0 above 99 is not used",
         {"HDD MODEL 2000", "FW1.0", false},
         {{0xBE, 100, 120}, {0xC2, 100, 0}},
         u"Smart",
         kSmartNoValue,
         kSmartNoValue,
         kSmartNoValue,
         kSmartNoCount},
        {"190 used when no 194 precedes it",
         {"HDD MODEL 2000", "FW1.0", false},
         {{0xBE, 100, 0x00120021}},
         u"Smart",
         33,
         kSmartNoValue,
         kSmartNoValue,
         kSmartNoCount},
        {"tenth-degree rule",
         {"SAMSUNG SV1604N", "TR100-23", false},
         {{0xC2, 100, 0x01C2}},
         u"Smart",
         45,
         kSmartNoValue,
         kSmartNoValue,
         kSmartNoCount},
        {"half-degree rule",
         {"VORNA SSD 128G", "3.4.6a", true},
         {{0xC2, 100, 0x50}},
         u"SmartSsd",
         40,
         kSmartNoValue,
         kSmartNoValue,
         kSmartNoCount},
        {"sectors unit: 305419896 sectors are 145 GiB",
         {"VORNA KT270 256G", "FW1.0", true},
         {{0x09, 100, 5}, {0xF1, 100, 305419896}, {0xF2, 100, 0xFFFF000000200000ull}},
         u"SmartSsd",
         kSmartNoValue,
         kSmartNoValue,
         kSmartNoValue,
         145,
         1,
         5},
        {"Samsung: 177 normalized life, GiB counters",
         {"SAMSUNG SSD 860 EVO 500GB", "RVT04B6Q", true},
         {{0x05, 100, 0}, {0x09, 99, 100}, {0xB1, 95, 12}, {0xF1, 99, 12345}},
         u"SmartSamsung",
         kSmartNoValue,
         95,
         95,
         12345,
         kSmartNoCount,
         100},
        {"life above 100 normalized is none, and so is health",
         {"SAMSUNG SSD 860 EVO 500GB", "RVT04B6Q", true},
         {{0xB1, 101, 12}},
         u"SmartSamsung",
         kSmartNoValue,
         kSmartNoValue,
         kSmartNoValue,
         kSmartNoCount},
        {"64 MiB units: 160 units are 10 GiB",
         {"WDC  WDS512G SA530", "X61190WD", true},
         {{0xE6, 90, 1}, {0xF1, 100, 160}},
         u"SmartWdc",
         kSmartNoValue,
         kSmartNoValue,
         kSmartNoValue,
         10},
        {"Intel: 225 writes in 32 MiB units, 233 life",
         {"INTEL SSDSC2BW240A4", "DC32", true},
         {{0x09, 100, 1}, {0xE1, 100, 3200}, {0xE9, 98, 0}},
         u"SmartIntel",
         kSmartNoValue,
         98,
         98,
         100,
         kSmartNoCount,
         1},
        {"SK hynix TND: life is 100 minus raw byte 0",
         {"HFS256G39TND-N210A", "30001P10", true},
         {{0xE7, 100, 3}},
         u"SmartSKhynix",
         kSmartNoValue,
         97,
         97,
         kSmartNoCount},
        {"Kingston SA400 variant 0: 231 gives no life, so health is computed",
         {"KINGSTON SA400S37240G", "SBFK62C3", true},
         {{0x05, 100, 4}, {0xE7, 90, 90}},
         u"SmartKingstonSA400",
         kSmartNoValue,
         kSmartNoValue,
         92,
         kSmartNoCount},
        {"Indilinx: 16-bit hours and cycles, 209 life",
         {"OCZ-VERTEX", "1.5", true},
         {{0x01, 100, 0},
          {0x09, 100, 0x10005},
          {0x0C, 100, 0x20003},
          {0xB8, 100, 0},
          {0xC3, 100, 0},
          {0xC4, 100, 0},
          {0xD1, 88, 0}},
         u"SmartIndilinx",
         kSmartNoValue,
         88,
         88,
         kSmartNoCount,
         kSmartNoCount,
         5,
         3},
        {"Micron MU03: 246 writes in sectors when 241 is absent, 202 life",
         {"CT500MX500SSD1", "M3CR023", true},
         {{0xCA, 97, 3}, {0xF6, 100, 2097152 * 3}},
         u"SmartMicronMU03",
         kSmartNoValue,
         97,
         97,
         3},
    };
    for (const EvalCase& c : cases) {
        SmartPageBuilder data;
        for (const auto& [id, current, raw] : c.attrs)
            data.Attr(id, current, current, raw);
        auto smart = Create(c.drive, data);
        ASSERT_NE(smart, nullptr) << c.name;
        EXPECT_EQ(smart->Profile().nameSection, c.section) << c.name;
        EXPECT_EQ(GetTemperature(smart.get()), c.temperature) << c.name;
        EXPECT_EQ(GetLife(smart.get()), c.life) << c.name;
        EXPECT_EQ(GetHealth(smart.get()), c.health) << c.name;
        EXPECT_EQ(GetHostWrites(smart.get()), c.writes) << c.name;
        EXPECT_EQ(GetHostReads(smart.get()), c.reads) << c.name;
        EXPECT_EQ(GetPowerOnHours(smart.get()), c.hours) << c.name;
        EXPECT_EQ(GetPowerCycles(smart.get()), c.cycles) << c.name;
    }
}

// One row per unit code and life variant: the 241 counter in GiB and the 231 life (current 80).
TEST(SmartAtaEvaluators, UnitCodesAndLifeVariants) {
    const std::vector<std::uint8_t> phisonIds = {0x01, 0x09, 0x0C, 0xA8, 0xAA,
                                                 0xAD, 0xC0, 0xC2, 0xDA};
    struct Case {
        Drive drive;
        std::vector<std::uint8_t> before; // ids reported ahead (raw 0), for signatures
        std::uint64_t raw241;
        std::int64_t gib;
        std::uint64_t raw231; // 0: not reported
        int life;
    } cases[] = {
        {{"VORNA KT270 256G", "FW1.0"}, {}, 3ull << 21, 3, 0, kSmartNoValue},    // sectors
        {{"GENERIC SSD 256G", "FW1.0"}, {}, 1, kSmartNoCount, 0, kSmartNoValue}, // no unit
        {{"WDC  WDS500G2B0A SA530", "X6"}, {}, 5ull << 4, 5, 0, kSmartNoValue},  // 64 MiB
        {{"KINGSTON SKC600512G KC600", "FW"}, {}, 7ull << 5, 7, 33, 80},         // 32 MiB
        {{"KINGSTON SKC400S37256G", "FW"}, {}, 11, 11, 33, 80},                  // GiB, normalized
        {{"KINGSTON SA400S37240G", "FW"}, {}, 12, 12, 33, 33},                   // raw byte 0
        {{"HFS256G39TND-N210A", "FW"}, {}, 13, 13, 33, 67},                      // 100 - raw byte 0
        {{"SHGS31-500GS SC311", "FW"}, {}, 14ull << 21, 14, 33, 33},             // sectors, raw
        {{"GENERIC SSD 512G", "S9FM02.1"}, phisonIds, 15ull << 10, 15, 33, 33},  // MiB
    };
    for (const Case& c : cases) {
        SmartPageBuilder data;
        for (std::uint8_t id : c.before)
            data.Attr(id, 100, 100, 0);
        if (c.raw231) data.Attr(0xE7, 80, 80, c.raw231);
        data.Attr(0xF1, 100, 100, c.raw241).Attr(0xF2, 100, 100, 0);
        auto smart = Create(c.drive, data);
        ASSERT_NE(smart, nullptr) << c.drive.model;
        EXPECT_EQ(GetHostWrites(smart.get()), c.gib) << c.drive.model;
        EXPECT_EQ(GetLife(smart.get()), c.life) << c.drive.model;
    }
}

TEST(SmartAtaStatus, CriticalAttributesAreRatedAgainstTheirThresholds) {
    SmartPageBuilder data, thresholds;
    data.Attr(0x05, 9, 9, 100).Attr(0x09, 50, 50, 1).Attr(0xC2, 20, 20, 80).Attr(0xC5, 100, 100, 0);
    thresholds.Threshold(0x05, 10).Threshold(0x09, 50).Threshold(0xC2, 30).Threshold(0xC5, 0);
    auto smart = Create({"HDD MODEL", "FW", false}, data, thresholds);
    ASSERT_NE(smart, nullptr);
    RefreshSmart(smart.get());
    const SmartAttributeList& list = smart->Attributes();
    EXPECT_EQ(list.entries[0].status, smartstatus::kBelowThreshold);
    EXPECT_EQ(list.entries[1].status, smartstatus::kAtThreshold);
    EXPECT_EQ(list.entries[2].status, smartstatus::kUnknown); // 194 is not a critical id
    EXPECT_EQ(list.entries[3].status, smartstatus::kUnknown); // no threshold
    EXPECT_EQ(GetSmartStatus(smart.get()), smartstatus::kBelowThreshold);
}

TEST(SmartAtaRefresh, FailedReadsKeepTheLastValues) {
    SmartPageBuilder data;
    data.Attr(0xC2, 100, 100, 35);
    PageAta* ata = nullptr;
    SmartPageBuilder thresholds;
    thresholds.Threshold(0xC2, 0);
    auto smart = Create({"HDD MODEL", "FW", false}, data, thresholds, &ata);
    ASSERT_NE(smart, nullptr);
    EXPECT_GT(ata->closes, 0); // the handle is closed after creation

    SmartPageBuilder hotter;
    hotter.Attr(0xC2, 100, 100, 41);
    ata->data = hotter.Build();
    EXPECT_TRUE(RefreshSmart(smart.get()));
    EXPECT_EQ(GetTemperature(smart.get()), 41);

    ata->data[511] ^= 0xFF; // checksum now wrong
    EXPECT_FALSE(RefreshSmart(smart.get()));
    ata->dataOk = false;
    EXPECT_FALSE(RefreshSmart(smart.get()));
    EXPECT_EQ(GetTemperature(smart.get()), 41);
}

TEST(SmartAtaCreate, RefusedWithoutUsableSmart) {
    SmartPageBuilder data;
    data.Attr(0x09, 100, 100, 1);
    auto make = [&](auto change) {
        auto* ata = new PageAta;
        ata->identify = IdentifyOf({"HDD MODEL", "FW", false});
        ata->data = data.Build();
        ata->thresholds = SmartPageBuilder().Threshold(0x09, 0).Build();
        change(*ata);
        return CreateSmartAta(nullptr, AdoptInterface<clAta>(ata));
    };
    EXPECT_NE(make([](PageAta&) {}), nullptr);
    EXPECT_EQ(make([](PageAta& a) { a.thresholdsOk = false; }), nullptr);
    EXPECT_EQ(make([](PageAta& a) { a.dataOk = false; }), nullptr);
    EXPECT_EQ(make([](PageAta& a) { a.data.assign(512, 0); }), nullptr);
    EXPECT_EQ(make([](PageAta& a) { a.data[100] ^= 1; }), nullptr); // checksum wrong
    EXPECT_EQ(make([](PageAta& a) { a.identify.assign(512, 0); }), nullptr);
    EXPECT_EQ(CreateSmartAta(nullptr, nullptr), nullptr);
    EXPECT_EQ(CreateSmart(nullptr), nullptr);
}

TEST(SmartAccessors, NullObjectHasNoValues) {
    EXPECT_FALSE(RefreshSmart(nullptr));
    EXPECT_EQ(GetTemperature(nullptr), kSmartNoValue);
    EXPECT_EQ(GetHealth(nullptr), kSmartNoValue);
    EXPECT_EQ(GetHostWrites(nullptr), kSmartNoCount);
    EXPECT_EQ(GetPowerOnHours(nullptr), kSmartNoCount);
    EXPECT_EQ(GetSmartStatus(nullptr), smartstatus::kUnknown);
}

} // namespace
} // namespace tvd
