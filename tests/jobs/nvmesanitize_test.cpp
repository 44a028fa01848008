#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "jobs/nvmesanitizeutil.h"

namespace tvd {
namespace {

TEST(NvmeSanitizeAction, ChosenFromSanicapOrRefused) {
    struct Row {
        std::uint32_t sanicap;
        std::uint8_t requested;
        bool overwriteAllowed;
        std::uint8_t expected;
    } rows[] = {
        {0x7, 0, true, sanact::kBlockErase},
        {0x1, 0, true, sanact::kCryptoErase},
        {0x5, 0, true, sanact::kCryptoErase},
        {0x4, 0, true, sanact::kOverwrite},
        {0x4, 0, false, 0},
        {0x0, 0, true, 0},
        {0x7, sanact::kOverwrite, true, 3},
        {0x7, sanact::kOverwrite, false, 0},
        {0x2, sanact::kCryptoErase, true, 0},
        {0x1, sanact::kCryptoErase, true, 4},
        {0x3, sanact::kBlockErase, false, 2},
        {0x7, 1, true, 0}, // exit failure mode is no erase
        {0xFFFFFFF8u, 0, true, 0},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ChooseSanitizeAction(r.sanicap, r.requested, r.overwriteAllowed), r.expected)
            << r.sanicap << " " << int(r.requested);
    // One overwrite pass: OWPASS 0 would mean sixteen.
    EXPECT_EQ(SanitizeCdw10(sanact::kOverwrite), 0x13u);
    EXPECT_EQ(SanitizeCdw10(sanact::kBlockErase), 0x2u);
    EXPECT_EQ(SanitizeCdw10(sanact::kCryptoErase), 0x4u);
    EXPECT_EQ(SanitizeCdw10(sanact::kExitFailureMode), 0x1u);
}

TEST(NvmeSanitizeStatus, DecodesProgressStateAndShortLogs) {
    struct Row {
        std::vector<std::uint8_t> log;
        bool ok;
        std::uint16_t progress;
        std::uint8_t state;
        bool erased;
        unsigned percent;
    } rows[] = {
        {{0xFF, 0xFF, 0x02, 0x00}, true, 0xFFFF, sstat::kInProgress, false, 99},
        {{0x00, 0x80, 0x02, 0x00}, true, 0x8000, sstat::kInProgress, false, 50},
        {{0xFF, 0xFF, 0x01, 0x01}, true, 0xFFFF, sstat::kSucceeded, true, 99},
        {{0x00, 0x00, 0xFB, 0x00}, true, 0, 3, false, 0}, // bits above 2-0 are not the state
        {{0x00, 0x00, 0x02}, false, 0, 0, false, 0},
        {{}, false, 0, 0, false, 0},
    };
    for (const Row& r : rows) {
        SanitizeStatus s;
        ASSERT_EQ(DecodeSanitizeStatus(r.log, s), r.ok);
        EXPECT_EQ(s.progress, r.progress);
        EXPECT_EQ(s.state, r.state);
        EXPECT_EQ(s.globalDataErased, r.erased);
        EXPECT_EQ(SanitizePercent(s), r.percent);
    }
}

} // namespace
} // namespace tvd
