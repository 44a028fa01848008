#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "storage/ataidentifyutil.h"
#include "storage/ataidentitybuilder.h"
#include "storage/clata.h"

namespace tvd {
namespace {

using test::AtaIdentityBuilder;

// Records every command with the time-out in force; answers IDENTIFY from `identify` and
// everything else with `ok` and `result`.
class RecordingAta : public clAta {
public:
    struct Call {
        AtaRegisters regs;
        DataDirection dir;
        std::size_t length;
        std::vector<std::uint8_t> sent;
        std::uint32_t timeout;
    };
    std::vector<Call> calls;
    int closes = 0;
    std::vector<bool> identifyAnswers; // consumed in order; true when empty
    std::vector<std::uint8_t> identify = AtaIdentityBuilder().Vector();
    std::function<bool(std::uint8_t command)> ok = [](std::uint8_t) { return true; };
    AtaRegisters result;

    void Close() override { ++closes; }
    bool ExecNonData(const AtaRegisters& regs, AtaRegisters* out) override {
        Record(regs, DataDirection::kNone, 0, {});
        if (out) *out = result;
        return ok(regs.command);
    }
    bool ExecDataIn(const AtaRegisters& regs, MutableByteView data) override {
        Record(regs, DataDirection::kIn, data.size(), {});
        if (regs.command == 0xEC) {
            bool answer = true;
            if (!identifyAnswers.empty()) {
                answer = identifyAnswers.front();
                identifyAnswers.erase(identifyAnswers.begin());
            }
            std::memcpy(data.data(), identify.data(), std::min(data.size(), identify.size()));
            return answer;
        }
        return ok(regs.command);
    }
    bool ExecDataOut(const AtaRegisters& regs, ByteView data) override {
        Record(regs, DataDirection::kOut, data.size(), data);
        return ok(regs.command);
    }

private:
    void Record(const AtaRegisters& r, DataDirection d, std::size_t n, ByteView sent) {
        calls.push_back({r, d, n, {sent.begin(), sent.end()}, CommandTimeout(0)});
    }
};

AtaRegisters Regs(std::uint8_t features, std::uint8_t count, std::uint8_t low, std::uint8_t mid,
                  std::uint8_t high, std::uint8_t device, std::uint8_t command) {
    return AtaRegisters{features, count, low, mid, high, device, command, 0};
}

TEST(ClAta, RegisterCommands) {
    struct Case {
        const char* what;
        std::function<void(clAta&, MutableByteView)> run;
        AtaRegisters regs;
        DataDirection dir;
    };
    const Case cases[] = {
        {"identify", [](clAta& a, MutableByteView b) { a.Identify(b); },
         Regs(0, 0, 0, 0, 0, 0xB0, 0xEC), DataDirection::kIn},
        {"return status", [](clAta& a, MutableByteView) { a.SmartReturnStatus(); },
         Regs(0xDA, 0, 0, 0x4F, 0xC2, 0xB0, 0xB0), DataDirection::kNone},
        {"thresholds", [](clAta& a, MutableByteView b) { a.SmartReadThresholds(b); },
         Regs(0xD1, 0, 0, 0x4F, 0xC2, 0xB0, 0xB0), DataDirection::kIn},
        {"data", [](clAta& a, MutableByteView b) { a.SmartReadData(b); },
         Regs(0xD0, 0, 0, 0x4F, 0xC2, 0xB0, 0xB0), DataDirection::kIn},
        {"off-line", [](clAta& a, MutableByteView) { a.SmartExecuteOffline(0x81); },
         Regs(0xD4, 0, 0x81, 0x4F, 0xC2, 0xB0, 0xB0), DataDirection::kNone},
        {"log", [](clAta& a, MutableByteView b) { a.SmartReadLog(b, 0x06); },
         Regs(0xD5, 1, 0x06, 0x4F, 0xC2, 0xB0, 0xB0), DataDirection::kIn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingAta ata;
        ata.SetDevice(0xB0);
        std::vector<std::uint8_t> buffer(1024);
        c.run(ata, buffer);
        ASSERT_EQ(ata.calls.size(), 1u);
        EXPECT_EQ(ata.calls[0].regs, c.regs);
        EXPECT_EQ(ata.calls[0].dir, c.dir);
        EXPECT_EQ(ata.calls[0].length, c.dir == DataDirection::kIn ? 512u : 0u);

        // A buffer too short for a sector sends nothing.
        RecordingAta shortAta;
        std::vector<std::uint8_t> small(511);
        c.run(shortAta, small);
        EXPECT_EQ(shortAta.calls.size(), c.dir == DataDirection::kIn ? 0u : 1u);
    }
}

TEST(ClAta, SmartReturnStatusIsZeroOnFailure) {
    RecordingAta ata;
    ata.result = Regs(0, 0, 0, 0xF4, 0x2C, 0, 0x50);
    EXPECT_EQ(ata.SmartReturnStatus(), 0xF42C);
    ata.result = Regs(0, 0, 0, 0x4F, 0xC2, 0, 0x50);
    ata.ok = [](std::uint8_t) { return false; };
    EXPECT_EQ(ata.SmartReturnStatus(), 0);
}

TEST(ClAta, GetIdentifyCachesValidDataAndRetriesFailures) {
    const auto valid = AtaIdentityBuilder().FixChecksum();
    RecordingAta ata;
    ata.identify.assign(valid.Page().begin(), valid.Page().end());
    ata.identifyAnswers = {false, true};
    std::string model;
    EXPECT_FALSE(ata.GetModel(model));
    EXPECT_EQ(ata.closes, 1);
    ByteView id = ata.GetIdentify();
    ASSERT_EQ(id.size(), 512u);
    EXPECT_TRUE(std::equal(id.begin(), id.end(), valid.Page().begin()));
    EXPECT_EQ(ata.closes, 2);
    ata.GetIdentify();
    EXPECT_EQ(ata.calls.size(), 2u);
    EXPECT_EQ(ata.closes, 2);
    std::string serial, firmware;
    EXPECT_TRUE(ata.GetModel(model) && ata.GetSerial(serial) && ata.GetFirmware(firmware));
    EXPECT_EQ(model, ataid::Model(valid.View()));
    EXPECT_EQ(serial.size(), 20u);
    EXPECT_EQ(firmware, "FW1.0   ");
    EXPECT_EQ(AtaIdentifyOf(nullptr).size(), 0u);
}

TEST(ClAta, GetIdentifyRejectsGarbage) {
    const std::vector<std::vector<std::uint8_t>> answers = {
        AtaIdentityBuilder().Set(10, 0).Vector(),
        AtaIdentityBuilder().FixChecksum().Set(100, 1).Vector(),
        std::vector<std::uint8_t>(512, 0xFF),
    };
    for (const auto& answer : answers) {
        RecordingAta ata;
        ata.identify = answer;
        EXPECT_TRUE(ata.GetIdentify().empty());
        std::uint8_t wwn[8];
        EXPECT_FALSE(ata.GetWwn(wwn));
        EXPECT_EQ(ata.calls.size(), 2u); // retried, not cached
    }
}

TEST(ClAta, SecurityCommands) {
    std::uint8_t password[32];
    for (int i = 0; i < 32; ++i)
        password[i] = static_cast<std::uint8_t>(0x41 + i);
    std::vector<std::uint8_t> sector(512, 0);
    sector[0] = 1;
    std::memcpy(&sector[2], password, 32);

    RecordingAta setter;
    EXPECT_TRUE(setter.SecuritySetPassword(password));
    ASSERT_EQ(setter.calls.size(), 1u);
    // Count 1: through SAT the count is the transfer length, and 0 would move no sector.
    EXPECT_EQ(setter.calls[0].regs, Regs(0, 1, 0, 0, 0, 0xA0, 0xF1));
    EXPECT_EQ(setter.calls[0].sent, sector);

    struct Case {
        bool prepareOk, eraseOk;
    };
    for (const Case c : {Case{true, true}, Case{false, true}, Case{true, false}}) {
        RecordingAta ata;
        const auto id = AtaIdentityBuilder().Set(89, 45).Set(90, 3);
        ata.identify.assign(id.Page().begin(), id.Page().end());
        ata.SetCommandTimeout(77);
        ata.ok = [c](std::uint8_t cmd) { return cmd == 0xF3 ? c.prepareOk : c.eraseOk; };
        EXPECT_EQ(ata.SecurityEraseUnit(password), c.eraseOk);
        ASSERT_EQ(ata.calls.size(), 3u);
        EXPECT_EQ(ata.calls[1].regs, Regs(0, 0, 0, 0, 0, 0xA0, 0xF3));
        EXPECT_EQ(ata.calls[1].dir, DataDirection::kNone);
        EXPECT_EQ(ata.calls[1].timeout, 77u);
        EXPECT_EQ(ata.calls[2].regs, Regs(0, 1, 0, 0, 0, 0xA0, 0xF4));
        EXPECT_EQ(ata.calls[2].sent, sector);
        EXPECT_EQ(ata.calls[2].timeout, ataid::SecurityEraseTimeoutSeconds(id.View(), false));
        EXPECT_GT(ata.calls[2].timeout, 90u * 60);
        EXPECT_EQ(ata.CommandTimeout(0), 77u);
    }
}

} // namespace
} // namespace tvd
