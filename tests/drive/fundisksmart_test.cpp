#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "../smart/smartpagebuilder.h"
#include "../storage/ataidentitybuilder.h"
#include "../storage/commandfakes.h"
#include "drive/fundisksmartutil.h"
#include "storage/clata.h"
#include "storage/clnvme.h"

namespace tvd {
namespace {

using test::AtaIdentityBuilder;
using test::LogNvme;
using test::PageAta;
using test::SmartPageBuilder;

std::unique_ptr<clSmart> NvmeDrive(int life, int celsius = 35, std::uint8_t critical = 0) {
    auto* nvme = new LogNvme;
    nvme->log[0] = critical;
    StoreLe<std::uint16_t>(nvme->log, 1, static_cast<std::uint16_t>(celsius + 273));
    nvme->log[3] = 100; // spare
    nvme->log[4] = 10;  // spare threshold
    nvme->log[5] = static_cast<std::uint8_t>(100 - life);
    return CreateSmartNvme(nullptr, AdoptInterface<clNvme>(nvme));
}

// Attribute 5 (reallocated sectors, threshold 10) gives the computed health of a hard disk.
struct AtaRow {
    std::uint8_t current5 = 100;
    std::uint64_t raw5 = 0;
    std::uint16_t returnStatus = kAtaSmartStatusOk;
    bool criticalAttribute = true;
};

std::unique_ptr<clSmart> AtaDrive(const AtaRow& row, PageAta** out = nullptr) {
    auto* ata = new PageAta;
    ata->identify = AtaIdentityBuilder().Set(217, 7200).Vector(); // a hard disk
    SmartPageBuilder data, thresholds;
    data.Attr(0x09, 100, 100, 1000).Attr(0xC2, 100, 100, 40);
    if (row.criticalAttribute) {
        data.Attr(0x05, row.current5, row.current5, row.raw5);
        thresholds.Threshold(0x05, 10);
    } else {
        thresholds.Threshold(0x09, 0);
    }
    ata->data = data.Build();
    ata->thresholds = thresholds.Build();
    ata->returnStatus = row.returnStatus;
    if (out) *out = ata;
    return CreateSmartAta(nullptr, AdoptInterface<clAta>(ata));
}

// A folder of its own under the test temporary folder, removed afterwards.
class SmartSettings : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::path(::testing::TempDir()) /
               ("tvd_smartmon_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string Write(const std::string& name, const std::string& text) {
        const std::filesystem::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }
    std::string Missing() const { return (dir_ / "none.ini").string(); }

    std::filesystem::path dir_;
};

constexpr SmartThresholds kDefaults{};

TEST_F(SmartSettings, ThresholdsFallBackPerValue) {
    struct Case {
        const char* name;
        std::optional<std::string> text; // none: no file
        SmartThresholds expected;
    } cases[] = {
        {"no file", std::nullopt, kDefaults},
        {"empty file", "", kDefaults},
        {"custom",
         "[Smart]\r\nHealthWarning=50\r\nHealthBad=30\r\nTemperatureWarning=45\r\n",
         {50, 30, 45}},
        {"case and blanks", "[SMART]\nhealthwarning = 33 \n", {33, 5, 60}},
        {"other section", "[Other]\nHealthWarning=50\n[Smart]\nHealthBad=1\n", {20, 1, 60}},
        {"malformed values",
         "[Smart]\nHealthWarning=abc\nHealthBad=7x\nTemperatureWarning=99999999999\n", kDefaults},
        {"empty value, one good", "[Smart]\nHealthWarning=\nTemperatureWarning=-5\n", {20, 5, -5}},
        {"binary junk", std::string("\x01\xFF[Sm\0art]=\x1A", 12), kDefaults},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = c.text ? Write(std::to_string(n++) + ".ini", *c.text) : Missing();
        const SmartThresholds t = ReadSmartThresholds(path);
        EXPECT_EQ(t.healthWarning, c.expected.healthWarning) << c.name;
        EXPECT_EQ(t.healthBad, c.expected.healthBad) << c.name;
        EXPECT_EQ(t.temperatureWarning, c.expected.temperatureWarning) << c.name;
    }
}

TEST_F(SmartSettings, CustomThresholdsMoveTheBoundaries) {
    const std::string path =
        Write("drive.ini", "[Smart]\nHealthWarning=50\nHealthBad=30\nTemperatureWarning=45\n");
    struct Case {
        int life;
        int celsius;
        std::int32_t state;
    } cases[] = {
        {51, 44, healthstate::kGood},    {50, 44, healthstate::kCaution},
        {40, 44, healthstate::kCaution}, {31, 44, healthstate::kCaution},
        {30, 44, healthstate::kBad},     {90, 45, healthstate::kCaution},
    };
    for (const Case& c : cases) {
        SmartMonitor m;
        SmartMonitorSetup(&m, NvmeDrive(c.life, c.celsius), path);
        EXPECT_EQ(m.settingsPath, path);
        EXPECT_EQ(m.HealthState, c.state) << "life " << c.life << ", " << c.celsius << " °C";
    }
}

struct StateRow {
    const char* name;
    std::unique_ptr<clSmart> (*make)();
    std::int32_t state;
    std::uint32_t textId; // 21115 "Good", 21117 "Bad", 0 N/A
};

TEST(SmartHealthState, DefaultThresholdsAndTheDrivesOwnVerdict) {
    const StateRow rows[] = {
        {"life 21", [] { return NvmeDrive(21); }, healthstate::kGood, 21115},
        {"life 20", [] { return NvmeDrive(20); }, healthstate::kCaution, 21117},
        {"life 6", [] { return NvmeDrive(6); }, healthstate::kCaution, 21117},
        {"life 5", [] { return NvmeDrive(5); }, healthstate::kBad, 21117},
        {"105 % used", [] { return NvmeDrive(-5); }, healthstate::kBad, 21117},
        {"59 °C", [] { return NvmeDrive(90, 59); }, healthstate::kGood, 21115},
        {"60 °C", [] { return NvmeDrive(90, 60); }, healthstate::kCaution, 21117},
        {"NVMe spare below threshold", [] { return NvmeDrive(100, 35, 0x01); }, healthstate::kBad,
         21117},
        {"NVMe temperature warning", [] { return NvmeDrive(100, 35, 0x02); }, healthstate::kCaution,
         21117},
        {"NVMe reliability degraded", [] { return NvmeDrive(100, 35, 0x04); }, healthstate::kBad,
         21117},
        {"NVMe read-only", [] { return NvmeDrive(100, 35, 0x08); }, healthstate::kBad, 21117},
        {"ATA all good", [] { return AtaDrive({}); }, healthstate::kGood, 21115},
        {"ATA attribute at threshold, life 100", [] { return AtaDrive({.current5 = 10}); },
         healthstate::kBad, 21117},
        {"ATA attribute below threshold", [] { return AtaDrive({.current5 = 9}); },
         healthstate::kBad, 21117},
        {"ATA return status: threshold exceeded",
         [] { return AtaDrive({.returnStatus = kAtaSmartStatusExceeded}); }, healthstate::kBad,
         21117},
        {"ATA return status unknown", [] { return AtaDrive({.returnStatus = 0}); },
         healthstate::kGood, 21115},
        {"ATA without a life figure", [] { return AtaDrive({.criticalAttribute = false}); },
         healthstate::kUnknown, 0},
        {"no SMART", [] { return std::unique_ptr<clSmart>(); }, healthstate::kUnknown, 0},
    };
    for (const StateRow& row : rows) {
        SmartMonitor m;
        SmartMonitorSetup(&m, row.make(), "");
        EXPECT_EQ(m.HealthState, row.state) << row.name;
        EXPECT_EQ(HealthStateTextId(m.HealthState), row.textId) << row.name;
        EXPECT_EQ(m.healthReason.empty(), row.state == healthstate::kGood) << row.name;
        EXPECT_TRUE(m.updated || !m.smart) << row.name;
    }
}

TEST(SmartHealthState, NoSmartLeavesEveryFigureMissing) {
    SmartMonitor m;
    SmartMonitorSetup(&m, static_cast<clDisk*>(nullptr), "");
    EXPECT_EQ(m.smart, nullptr);
    EXPECT_EQ(m.HealthState, healthstate::kUnknown);
    EXPECT_EQ(m.health, kSmartNoValue);
    EXPECT_EQ(m.temperature, kSmartNoValue);
    EXPECT_EQ(m.written, kSmartNoCount);
    EXPECT_EQ(m.powerOnHours, kSmartNoCount);
    EXPECT_FALSE(SmartMonitorRefresh(&m));
    EXPECT_FALSE(SmartMonitorRefresh(nullptr));
    SmartMonitorSetup(nullptr, static_cast<clDisk*>(nullptr), "");
    SmartMonitorEvaluate(nullptr);
}

TEST(SmartHealthState, ReturnStatusIsReadWithTheDataOnly) {
    PageAta* ata = nullptr;
    SmartMonitor m;
    SmartMonitorSetup(&m, AtaDrive({.returnStatus = kAtaSmartStatusExceeded}, &ata), "");
    ASSERT_NE(m.smart, nullptr);
    EXPECT_EQ(ata->returnStatusReads, 1);
    EXPECT_EQ(m.temperature, 40);
    EXPECT_EQ(m.HealthState, healthstate::kBad);

    SmartMonitorEvaluate(&m); // a redraw: no device command
    EXPECT_EQ(ata->returnStatusReads, 1);

    // A command that fails afterwards does not turn the drive good again.
    ata->returnStatus = 0;
    ASSERT_TRUE(SmartMonitorRefresh(&m));
    EXPECT_EQ(ata->returnStatusReads, 2);
    EXPECT_EQ(m.HealthState, healthstate::kBad);

    ata->returnStatus = kAtaSmartStatusOk;
    ASSERT_TRUE(SmartMonitorRefresh(&m));
    EXPECT_EQ(m.HealthState, healthstate::kGood);

    // A second setup keeps the object it has.
    const clSmart* before = m.smart.get();
    SmartMonitorSetup(&m, NvmeDrive(1), "");
    EXPECT_EQ(m.smart.get(), before);
}

} // namespace
} // namespace tvd
