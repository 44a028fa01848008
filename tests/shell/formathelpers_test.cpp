#include "shell/formathelpers.h"

#include <gtest/gtest.h>

namespace tvd {
namespace {

constexpr std::uint64_t KiB = 1024, MiB = KiB * 1024, GiB = MiB * 1024, TiB = GiB * 1024;

TEST(FormatHelpers, SizeExact) {
    struct Row {
        std::uint64_t bytes;
        const char* want;
    } rows[] = {
        {0, ""},
        {512, ""},
        {1023, ""},
        {1536, "1 KB"},
        {MiB - 1, "1023 KB"},
        {GiB + GiB / 2, "1536 MB"},
        {2 * GiB, "2 GB"},
        {TiB, "1 TB"},
        {TiB + GiB, "1025 GB"},
        // Counts beyond 32 bits print in full: 5 PiB is 5120 TB, 2^64-1 bytes 16777215 TB.
        {5 * 1024 * TiB, "5120 TB"},
        {~0ull, "17592186044415 MB"},
        {(4ull << 40) * 1024 * 1024, "4194304 TB"},
        {((3ull << 32) + 1) << 20, "12884901889 MB"},
        {3ull << 52, "12288 TB"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FormatSizeExact(r.bytes), r.want) << r.bytes;
}

TEST(FormatHelpers, SizeDecimalRoundedCompact) {
    struct Row {
        std::uint64_t bytes;
        const char* decimal;
        const char* rounded;
        const char* compact;
    } rows[] = {
        {0, "0 Byte", "0 Byte", "0 Byte"},
        {1, "1 Bytes", "1 Bytes", "1 Bytes"},
        {1023, "1023 Bytes", "1023 Bytes", "1023 Bytes"},
        {1536, "1.50 KB", "2 KB", "1.50 KB"},
        {2 * GiB, "2.00 GB", "2 GB", "2 GB"},
        {2 * GiB + GiB / 2, "2.50 GB", "2 GB", "2.50 GB"},
        {2 * TiB, "2.00 TB", "2 TB", "2048 GB"},
        {2048 * TiB, "2048.00 TB", "2048 TB", "2097152 GB"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(FormatSizeDecimal(r.bytes), r.decimal) << r.bytes;
        EXPECT_EQ(FormatSizeRounded(r.bytes), r.rounded) << r.bytes;
        EXPECT_EQ(FormatSizeCompact(r.bytes), r.compact) << r.bytes;
    }
}

TEST(FormatHelpers, Duration) {
    struct Row {
        std::uint64_t seconds;
        const char* want;
    } rows[] = {
        {0, "00:00:00"},
        {3725, "01:02:05"},
        {255 * 3600 + 59 * 60 + 59, "255:59:59"},
        {256 * 3600, "256:00:00"}, // no wrap to 0 after 255 hours
        {100000 * 3600ull + 1, "100000:00:01"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FormatDuration(r.seconds), r.want) << r.seconds;
}

TEST(FormatHelpers, VersionGuidLettersTemperatureTimestamp) {
    EXPECT_EQ(FormatVersionNumber(50208), "5.02.08");
    EXPECT_EQ(FormatVersionNumber(0), "0.00.00");
    EXPECT_EQ(FormatVersionNumber(123456), "12.34.56");

    Guid g;
    g.data1 = 0x0123ABCD;
    g.data2 = 0x4567;
    g.data3 = 0x89AB;
    const std::uint8_t tail[8] = {0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89, 0x0A};
    std::copy(tail, tail + 8, g.data4);
    EXPECT_EQ(FormatGuid(g), "{0123ABCD-4567-89AB-CDEF-01234567890A}");
    EXPECT_EQ(FormatGuid(g), GuidText(g));

    struct Row {
        std::uint32_t mask;
        const char* want;
    } rows[] = {
        {0, ""},
        {(1u << 2) | (1u << 3), "C:, D:"},
        {1u, "A:"},
        {1u << 25, "Z:"},
        {0xFC000000u, ""}, // bits above Z are no drives
        {(1u << 25) | (1u << 26) | 1u, "A:, Z:"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FormatDriveLetters(r.mask), r.want) << r.mask;

    EXPECT_EQ(FormatTemperature(42), u"42 \u00B0C");
    EXPECT_EQ(FormatTemperature(-5), u"-5 \u00B0C");

    EXPECT_EQ(FormatTimestamp({2026, 12, 10, 7, 5, 9}), "26-12-10, 07:05:09");
    EXPECT_EQ(FormatTimestamp({2000, 1, 1, 0, 0, 0}), "00-01-01, 00:00:00");
    EXPECT_EQ(FormatTimestamp({0, 12, 10, 7, 5, 9}), "");
    EXPECT_EQ(FormatTimestampNow().size(), std::string("26-12-10, 07:05:09").size());
}

} // namespace
} // namespace tvd
