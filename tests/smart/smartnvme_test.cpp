#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../storage/commandfakes.h"
#include "smart/smartatacreateutil.h"
#include "storage/clnvme.h"

namespace tvd {
namespace {

using test::LogNvme;

std::unique_ptr<clSmartNvme> Create(LogNvme* nvme) {
    return CreateSmartNvme(nullptr, AdoptInterface<clNvme>(nvme));
}

TEST(SmartNvme, HealthLogFieldsBecomePseudoAttributes) {
    auto* nvme = new LogNvme;
    nvme->Set(0, 0x04, 1);               // critical warning
    nvme->Set(1, 310, 2);                // 37 °C
    nvme->Set(3, 100, 1);                // spare
    nvme->Set(4, 10, 1);                 // spare threshold
    nvme->Set(5, 3, 1);                  // used
    nvme->Set(32, 4194304, 8);           // data units read: 2000 GiB
    nvme->Set(40, 1, 8);                 // high half of the 128-bit counter: ignored
    nvme->Set(48, 2097152 + 1048576, 8); // written: 1500 GiB
    for (int k = 0; k < 8; ++k)          // ids 8-15
        nvme->Set(64 + 16 * k, 1000 + k, 8);
    auto smart = Create(nvme);
    ASSERT_NE(smart, nullptr);
    EXPECT_EQ(nvme->askedLog, kNvmeHealthLogId);
    EXPECT_EQ(nvme->askedDwords, 127u);
    EXPECT_EQ(nvme->askedBytes, 512u);

    const SmartAttributeList& list = smart->Attributes();
    ASSERT_EQ(list.count, 15);
    const std::uint64_t expected[15] = {4,    310,  100,  10,   3,    4194304, 3145728, 1000,
                                        1001, 1002, 1003, 1004, 1005, 1006,    1007};
    for (int k = 0; k < 15; ++k) {
        EXPECT_EQ(list.entries[k].id, k + 1);
        EXPECT_EQ(list.entries[k].raw, expected[k]) << "id " << k + 1;
        EXPECT_EQ(list.entries[k].threshold, 0);
    }
    EXPECT_EQ(GetTemperature(smart.get()), 37);
    EXPECT_EQ(GetHostReads(smart.get()), 2000);
    EXPECT_EQ(GetHostWrites(smart.get()), 1500);
    EXPECT_EQ(GetPowerCycles(smart.get()), 1003);
    EXPECT_EQ(GetPowerOnHours(smart.get()), 1004);
    EXPECT_EQ(GetLife(smart.get()), 97);
    EXPECT_EQ(GetHealth(smart.get()), 97);
}

TEST(SmartNvme, EdgeValues) {
    struct Case {
        const char* name;
        std::uint16_t kelvin;
        std::uint8_t used;
        std::uint64_t written;
        int temperature;
        int health;
        std::int64_t writes;
    } cases[] = {
        {"0 K is no reading, not -273", 0, 0, 0, kSmartNoValue, 100, 0},
        {"105 % used is health -5", 300, 105, 0, 27, -5, 0},
        {"largest counter does not wrap", 273, 0, ~0ull, 0, 100, 8796093022207999},
    };
    for (const Case& c : cases) {
        auto* nvme = new LogNvme;
        nvme->Set(1, c.kelvin, 2);
        nvme->Set(3, 100, 1);
        nvme->Set(5, c.used, 1);
        nvme->Set(48, c.written, 8);
        auto smart = Create(nvme);
        ASSERT_NE(smart, nullptr) << c.name;
        EXPECT_EQ(GetTemperature(smart.get()), c.temperature) << c.name;
        EXPECT_EQ(GetHealth(smart.get()), c.health) << c.name;
        EXPECT_EQ(GetHostWrites(smart.get()), c.writes) << c.name;
    }
}

TEST(SmartNvme, StatusFollowsAvailableSpare) {
    const std::pair<std::uint8_t, std::uint32_t> cases[] = {{11, smartstatus::kGood},
                                                            {10, smartstatus::kAtThreshold},
                                                            {9, smartstatus::kBelowThreshold}};
    for (const auto& [spare, status] : cases) {
        auto* nvme = new LogNvme;
        nvme->Set(1, 300, 2);
        nvme->Set(3, spare, 1);
        auto smart = Create(nvme);
        ASSERT_NE(smart, nullptr);
        EXPECT_EQ(GetSmartStatus(smart.get()), smartstatus::kUnknown); // not rated before a refresh
        EXPECT_TRUE(RefreshSmart(smart.get()));
        EXPECT_EQ(GetSmartStatus(smart.get()), status) << int(spare);
    }
}

TEST(SmartNvme, NoObjectWithoutAUsableLog) {
    auto* failing = new LogNvme;
    failing->ok = false;
    EXPECT_EQ(Create(failing), nullptr);
    EXPECT_EQ(Create(new LogNvme), nullptr); // all zero
    EXPECT_EQ(CreateSmartNvme(nullptr, nullptr), nullptr);

    clSmartNvme smart(nullptr, nullptr);
    std::vector<std::uint8_t> shortLog(511, 0x55);
    EXPECT_FALSE(smart.ParseHealthLog(shortLog));
    EXPECT_EQ(smart.Attributes().entries[1].raw, 0u);
}

TEST(SmartNvme, FailedRefreshKeepsTheLastValues) {
    auto* nvme = new LogNvme;
    nvme->Set(1, 320, 2);
    auto smart = Create(nvme);
    ASSERT_NE(smart, nullptr);
    nvme->ok = false;
    EXPECT_FALSE(RefreshSmart(smart.get()));
    EXPECT_EQ(GetTemperature(smart.get()), 47);
}

} // namespace
} // namespace tvd
