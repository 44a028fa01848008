// SMART end to end over simulated drives: drive file, the storage session's disk, CreateSmart,
// the derived values. The expectations are worked out by hand from the evaluation rules.
#include <gtest/gtest.h>

#include "storage/simfolder.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cli/storagesession.h"
#include "smart/smartatacreateutil.h"
#include "smart/smartpages.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;
using test::AtaSmartKeys;
using test::NvmeHealth;
using test::NvmeHealthKey;

constexpr int kNone = kSmartNoValue;
constexpr std::int64_t kNo = kSmartNoCount;

std::string AtaDrive(const char* bus, const char* model, const char* firmware, bool ssd,
                     const std::string& smartKeys, const char* extra = "") {
    return std::string("[Drive]\nBus=") + bus + "\nModel=" + model + "\nSerial=S-" + model +
           "\nFirmware=" + firmware + "\nCapacity=64M\nTrim=" + (ssd ? "1" : "0") + "\n" + extra +
           "[Ata]\n" + smartKeys;
}

std::string NvmeDrive(const NvmeHealth& h) {
    return "[Drive]\nBus=NVMe\nModel=Tvd Vesper\nSerial=NV-1\nFirmware=1B2C\nCapacity=64M\n"
           "[Nvme]\n" +
           NvmeHealthKey(h);
}

struct Expect {
    std::uint32_t type; // profile type; 0 for NVMe
    const char16_t* section;
    int temperature, life, health;
    std::int64_t writes, reads, cycles, hours;
    std::uint32_t status;
};

struct Case {
    const char* name;
    std::string file;
    Expect expect;
};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        // 177 is the Samsung life; 194 reads raw byte 0 only; GiB counters pass unshifted.
        {"samsung",
         AtaDrive("SATA", "SAMSUNG MZ7LH480HAHQ", "HXT7404Q", true,
                  AtaSmartKeys({{0x05, 100, 100, 10, 0},
                                {0x09, 99, 99, 0, 1234},
                                {0x0C, 99, 99, 0, 56},
                                {0xB1, 95, 95, 5, 40},
                                {0xC2, 65, 45, 0, 0x002D00140023},
                                {0xF1, 99, 99, 0, 4096},
                                {0xF2, 99, 99, 0, 8192}})),
         {11, u"SmartSamsung", 35, 95, 95, 4096, 8192, 56, 1234, smartstatus::kGood}},
        // Sector counters: the low 48 bits >> 21; hours from raw bits 0-31; 190 above 99 is no
        // temperature; no life attribute for the profile, so computed health (nothing wrong).
        {"sectors",
         AtaDrive("SATA", "VORNA KT270 240GB", "KT27V1", true,
                  AtaSmartKeys({{0x05, 100, 100, 10, 0},
                                {0x09, 100, 100, 0, 0x000100000010},
                                {0x0C, 100, 100, 0, 7},
                                {0xBE, 50, 40, 0, 120},
                                {0xF1, 100, 100, 0, 305419896},
                                {0xF2, 100, 100, 0, 0x01000040000000}})),
         {4, u"SmartSsd", kNone, kNone, 100, 145, 512, 7, 16, smartstatus::kGood}},
        // A hard disk: 194 replaces 190; health 100 -> 80 (raw 10 on 5) -> 77 (raw 3 on 197).
        {"hdd",
         AtaDrive("SATA", "Tvd Platter 2TB", "CC43", false,
                  AtaSmartKeys({{0x05, 100, 100, 36, 10},
                                {0x09, 100, 100, 0, 5000},
                                {0x0C, 100, 100, 0, 100},
                                {0xBE, 70, 60, 45, 30},
                                {0xC2, 40, 30, 0, 40},
                                {0xC5, 100, 100, 0, 3}})),
         {3, u"Smart", 40, kNone, 77, kNo, kNo, 100, 5000, smartstatus::kGood}},
        // Below a threshold on 1, at it on 5 (penalty capped at 70), 190 unrated.
        {"failing",
         AtaDrive("SATA", "Tvd Platter 1TB", "CC43", false,
                  AtaSmartKeys({{0x01, 5, 5, 6, 0},
                                {0x05, 36, 36, 36, 40},
                                {0x09, 100, 100, 0, 100},
                                {0xBE, 10, 10, 50, 25}}) +
                      "SmartStatus=exceeded\n"),
         {3, u"Smart", 25, kNone, 30, kNo, kNo, kNo, 100, smartstatus::kBelowThreshold}},
        // Inverse life: 233 gives the current value first, 231 replaces it with 100 - raw.
        {"hynix",
         AtaDrive("SATA", "HFS256G32TND-N210A", "30001P10", true,
                  AtaSmartKeys({{0x05, 100, 100, 0, 0},
                                {0x09, 100, 100, 0, 300},
                                {0x0C, 100, 100, 0, 30},
                                {0xE9, 50, 50, 0, 12},
                                {0xE7, 99, 99, 0, 7},
                                {0xF1, 100, 100, 0, 1000}})),
         {26, u"SmartSKhynix", kNone, 93, 93, 1000, kNo, 30, 300, smartstatus::kUnknown}},
        // Behind a USB-SATA bridge; SA400 with this firmware takes its life from 231.
        {"usbsat",
         AtaDrive("USB", "KINGSTON SA400S37240G", "03070009", true,
                  AtaSmartKeys({{0x01, 100, 100, 50, 0},
                                {0x09, 100, 100, 0, 2000},
                                {0x0C, 100, 100, 0, 40},
                                {0xE7, 90, 90, 0, 10},
                                {0xF1, 100, 100, 0, 3000},
                                {0xF2, 100, 100, 0, 4500}}),
                  "Parent=bridge9\n[Usb]\nVendorId=0x152D\nProductId=0x0578\n"),
         {15, u"SmartKingstonSA400", kNone, 90, 90, 3000, 4500, 40, 2000, smartstatus::kGood}},
        // 0 K means no sensor, not -273 degrees; 105 % used is health -5; spare at threshold.
        {"nvmeworn",
         NvmeDrive({.kelvin = 0,
                    .spare = 10,
                    .spareThreshold = 10,
                    .percentUsed = 105,
                    .unitsRead = 1000,
                    .unitsWritten = 4194304,
                    .powerCycles = 7,
                    .powerOnHours = 99}),
         {0, nullptr, kNone, -5, -5, 2000, 0, 7, 99, smartstatus::kAtThreshold}},
        {"nvmelow",
         NvmeDrive({.kelvin = 318,
                    .spare = 9,
                    .spareThreshold = 10,
                    .percentUsed = 0,
                    .unitsRead = 3145728,
                    .unitsWritten = 10485760,
                    .powerCycles = 1,
                    .powerOnHours = 2}),
         {0, nullptr, 45, 100, 100, 5000, 1500, 1, 2, smartstatus::kBelowThreshold}},
    };
    return cases;
}

const test::SmartAttr kPlainDisk[] = {{0x05, 100, 100, 10, 0}, {0x09, 100, 100, 0, 10}};

// Drives that must have no SMART object.
const std::vector<Case>& NoSmartCases() {
    static const std::vector<Case> cases = {
        {"badsum",
         AtaDrive("SATA", "Tvd Platter", "1", false,
                  AtaSmartKeys({std::begin(kPlainDisk), std::end(kPlainDisk)}, true)),
         {}},
        {"scsi", "[Drive]\nBus=SCSI\nModel=Loom\nCapacity=64M\n", {}},
        {"stick", "[Drive]\nBus=USB\nModel=Pocket\nCapacity=64M\n", {}},
    };
    return cases;
}

class SmartSim : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.empty());
        for (const auto* list : {&Cases(), &NoSmartCases()})
            for (const Case& c : *list)
                std::ofstream(dir_ / (std::string(c.name) + ".drive"), std::ios::binary) << c.file;
        std::string problem;
        const auto u = dir_.u8string();
        ASSERT_EQ(session_.Open(std::string(u.begin(), u.end()), problem), err::kSuccess)
            << problem;
    }
    std::unique_ptr<clSmart> Create(const char* name) {
        clDisk* disk = session_.FindDisk(name);
        EXPECT_NE(disk, nullptr) << name << " is not listed";
        return disk ? CreateSmart(disk) : nullptr;
    }

    test::SimFolder folder_;
    fs::path dir_ = folder_.Dir();
    cli::StorageSession session_;
};

TEST_F(SmartSim, DerivedValuesFollowTheProfile) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<clSmart> smart = Create(c.name);
        ASSERT_NE(smart, nullptr);
        const Expect& e = c.expect;
        if (e.section) {
            ASSERT_TRUE(smart->IsA(clSmartAta::kClassName));
            const SmartVendorProfile& p = static_cast<clSmartAta&>(*smart).Profile();
            EXPECT_EQ(p.type, e.type);
            EXPECT_EQ(p.nameSection, e.section);
        } else {
            EXPECT_TRUE(smart->IsA(clSmartNvme::kClassName));
        }
        ASSERT_TRUE(RefreshSmart(smart.get()));
        EXPECT_EQ(GetTemperature(smart.get()), e.temperature);
        EXPECT_EQ(GetLife(smart.get()), e.life);
        EXPECT_EQ(GetHealth(smart.get()), e.health);
        EXPECT_EQ(GetHostWrites(smart.get()), e.writes);
        EXPECT_EQ(GetHostReads(smart.get()), e.reads);
        EXPECT_EQ(GetPowerCycles(smart.get()), e.cycles);
        EXPECT_EQ(GetPowerOnHours(smart.get()), e.hours);
        EXPECT_EQ(GetSmartStatus(smart.get()), e.status);
    }
}

TEST_F(SmartSim, OnlyCriticalAttributesWithThresholdsAreRated) {
    const std::unique_ptr<clSmart> smart = Create("failing");
    ASSERT_NE(smart, nullptr);
    ASSERT_TRUE(RefreshSmart(smart.get()));
    const SmartAttributeList& list = smart->Attributes();
    const std::pair<std::uint8_t, std::uint8_t> expected[] = {
        {0x01, smartstatus::kBelowThreshold},
        {0x05, smartstatus::kAtThreshold},
        {0x09, smartstatus::kUnknown}, // no threshold
        {0xBE, smartstatus::kUnknown}, // below its threshold, but not a critical attribute
    };
    ASSERT_EQ(list.count, 4);
    for (int i = 0; i < list.count; ++i) {
        EXPECT_EQ(list.entries[i].id, expected[i].first);
        EXPECT_EQ(list.entries[i].status, expected[i].second) << int(expected[i].first);
    }
}

TEST_F(SmartSim, NvmeLogFieldsBecomePseudoAttributes) {
    const std::unique_ptr<clSmart> smart = Create("nvmeworn");
    ASSERT_NE(smart, nullptr);
    const SmartAttributeList& list = smart->Attributes();
    ASSERT_EQ(list.count, 15);
    // id: raw
    const std::pair<std::uint8_t, std::uint64_t> expected[] = {
        {2, 0}, {3, 10}, {4, 10}, {5, 105}, {6, 1000}, {7, 4194304}, {11, 7}, {12, 99}};
    for (const auto& [id, raw] : expected) {
        const int i = FindSmartAttribute(list, id);
        ASSERT_EQ(i, id - 1);
        EXPECT_EQ(list.entries[i].raw, raw) << int(id);
    }
}

TEST_F(SmartSim, DrivesWithoutUsableSmartHaveNoObject) {
    for (const Case& c : NoSmartCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Create(c.name), nullptr);
    }
}

} // namespace
} // namespace tvd
