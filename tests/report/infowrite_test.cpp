#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/textconvutil.h"
#include "report/infowriteutil.h"

namespace tvd {
namespace {

// The UTF-16LE bytes of a memory sink as UTF-8, with the BOM checked and removed.
std::string Decoded(const std::vector<std::uint8_t>& bytes, bool bom = false) {
    std::size_t start = 0;
    if (bom) {
        EXPECT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes[0], 0xFF);
        EXPECT_EQ(bytes[1], 0xFE);
        start = 2;
    }
    EXPECT_EQ(bytes.size() % 2, 0u);
    std::u16string units;
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    return Utf16ToUtf8(units);
}

std::string Written(const std::function<bool(ReportWriter&)>& write) {
    MemoryReportSink sink;
    ReportWriter w(&sink);
    EXPECT_TRUE(write(w));
    return Decoded(sink.Bytes());
}

TEST(ReportSizeText, UnitsAndRounding) {
    const struct {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 Byte"},
        {1, "1 Bytes"},
        {1023, "1023 Bytes"},
        {1024, "1.00 KB"},
        {1536, "1.50 KB"},
        {1024ull * 1024 - 1, "1024.00 KB"}, // 1023.999 rounds up in print but stays KB
        {1024ull * 1024, "1.00 MB"},
        {1536ull * 1024 * 1024, "1.50 GB"},
        {500107862016ull, "465.76 GB"},
        {1024ull * 1024 * 1024 * 1024, "1.00 TB"},
        {5ull * 1024 * 1024 * 1024 * 1024 * 1024, "5120.00 TB"}, // TB is the last unit
        {UINT64_MAX, "16777216.00 TB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReportSizeText(c.bytes), c.text) << c.bytes;
}

TEST(ReportWriter, LineStyles) {
    const std::uint8_t guid[16] = {0x6E, 0xE9, 0x36, 0x4D, 0x25, 0xE3, 0xCE, 0x11,
                                   0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18};
    const std::uint8_t bytes[3] = {0x00, 0xAB, 0x0F};
    const struct {
        std::function<bool(ReportWriter&)> write;
        const char* text;
    } cases[] = {
        {[](ReportWriter& w) { return w.Value("  Vendor", "ABC"); }, "  Vendor = [ABC]\r\n"},
        {[](ReportWriter& w) { return w.Value(" Drives", ""); }, " Drives = []\r\n"},
        {[&](ReportWriter& w) { return w.HexValue("  WWN", bytes); }, "  WWN = [00AB0F]\r\n"},
        {[](ReportWriter& w) { return w.Bool(" IsServer", false); }, " IsServer = [false]\r\n"},
        {[](ReportWriter& w) { return w.Bool("  LBA48 support", true); },
         "  LBA48 support = [true]\r\n"},
        {[&](ReportWriter& w) { return w.Guid("  Disk ID", guid); },
         "  Disk ID = [{4D36E96E-E325-11CE-BFC1-08002BE10318}]\r\n"},
        {[](ReportWriter& w) { return w.Int64("x", -5); }, "x = [-5]\r\n"},
        {[](ReportWriter& w) { return w.Hex02("x", 7); }, "x = [0x07]\r\n"},
        {[](ReportWriter& w) { return w.Hex04("x", 0xBEEF); }, "x = [0xBEEF]\r\n"},
        {[](ReportWriter& w) { return w.Hex08("x", 0x1234); }, "x = [0x00001234]\r\n"},
        {[](ReportWriter& w) { return w.Hex64("x", 0x8000000000000001ull); },
         "x = [0x8000000000000001]\r\n"},
        {[](ReportWriter& w) { return w.Unsigned("x", 4000000000u); }, "x = [4000000000]\r\n"},
        {[](ReportWriter& w) { return w.NumberName("  BusType", 11, "SATA"); },
         "  BusType = [11] (SATA)\r\n"},
        {[](ReportWriter& w) { return w.NumberName("  VendorIdOffset", 0, nullptr); },
         "  VendorIdOffset = [0] (NULL)\r\n"},
        {[](ReportWriter& w) { return w.Size(" DiskLength", 1024); },
         " DiskLength = [1024] (1.00 KB)\r\n"},
        {[](ReportWriter& w) { return w.Temperature("  Temperature", -1000); },
         "  Temperature = [N/A]\r\n"},
        {[](ReportWriter& w) { return w.Temperature("  Temperature", -32768); },
         "  Temperature = [N/A]\r\n"},
        {[](ReportWriter& w) { return w.Temperature("  Temperature", 41); },
         "  Temperature = [41 \xC2\xB0"
         "C]\r\n"},
        {[](ReportWriter& w) { return w.Bracketed(nullptr) && w.Bracketed("a"); }, "[][a]"},
        {[](ReportWriter& w) { return w.Error("Query StorageAdapterProperty", 5); },
         " ** Query StorageAdapterProperty fail, Error=[ERROR_ACCESS_DENIED].\r\n"},
        {[](ReportWriter& w) { return w.Error("x", 234); },
         " ** x fail, Error=[ERROR_MORE_DATA].\r\n"},
        {[](ReportWriter& w) { return w.Error("x", 1332); },
         " ** x fail, Error=[ERROR_NONE_MAPPED].\r\n"},
        {[](ReportWriter& w) { return w.GetError("Net BIOS", 1355); },
         " ** Get Net BIOS fail, Error=[ERROR_NO_SUCH_DOMAIN].\r\n"},
        {[](ReportWriter& w) { return w.Error("x", 87); }, " ** x fail, Error=[87].\r\n"},
        {[](ReportWriter& w) { return w.DriveType(3); }, "  DriveType = [3] (FIXED)\r\n"},
        {[](ReportWriter& w) { return w.DriveType(4); }, "  DriveType = [4] (REMOTE)\r\n"},
        {[](ReportWriter& w) { return w.DriveType(9); }, "  DriveType = [9] (UNKNOWN)\r\n"},
        {[](ReportWriter& w) { return w.DriveType(0); }, "  DriveType = [0] (UNKNOWN)\r\n"},
        {[](ReportWriter& w) { return w.NotSupported("STORAGE_ADAPTER_DESCRIPTOR"); },
         " * STORAGE_ADAPTER_DESCRIPTOR: not supported on this platform.\r\n"},
        // Device texts cannot forge lines: control characters become blanks.
        {[](ReportWriter& w) { return w.Value("  ModelName", "A\r\nB\x01\x7F"); },
         "  ModelName = [A  B  ]\r\n"},
        // Invalid UTF-8 becomes U+FFFD; Latin-1 device bytes are widened.
        {[](ReportWriter& w) { return w.Value("n", "a\xFF"); }, "n = [a\xEF\xBF\xBD]\r\n"},
        {[](ReportWriter& w) { return w.Value("n", DeviceText("\xE9")); }, "n = [\xC3\xA9]\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Written(c.write), c.text);
}

TEST(ReportWriter, StringListIsBoundedByItsLength) {
    auto units = [](std::u16string s) {
        std::vector<std::uint8_t> b;
        for (char16_t u : s) {
            b.push_back(static_cast<std::uint8_t>(u));
            b.push_back(static_cast<std::uint8_t>(u >> 8));
        }
        return b;
    };
    const struct {
        std::vector<std::uint8_t> bytes;
        const char* text;
    } cases[] = {
        {units(std::u16string(u"partmgr\0EhStorClass\0\0junk", 26)),
         "  partmgr\r\n  EhStorClass\r\n"},
        {units(std::u16string(u"abc", 3)), "  abc\r\n"}, // no NUL at all: cut at the length
        {units(std::u16string(u"ab\0cd", 5)), "  ab\r\n  cd\r\n"},
        {{'x', 0, 'y'}, "  x\r\n"}, // odd length: the half unit is dropped
        {{}, ""},
        {units(std::u16string(u"\0\0", 2)), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Written([&](ReportWriter& w) { return w.StringList(ByteView(c.bytes)); }),
                  c.text);
}

TEST(ReportWriter, HexDumpOfTwentyBytes) {
    std::vector<std::uint8_t> data(20);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>('A' + i);
    data[1] = 0x0A;
    data[2] = 0x80;
    const std::string text =
        Written([&](ReportWriter& w) { return w.HexDump(data.data(), data.size()); });
    const std::string header =
        "        0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F   [0123456789ABCDEF]\r\n";
    const std::string line0 = " 0000 : 41 0A 80 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50  "
                              "[A  DEFGHIJKLMNOP] \r\n";
    const std::string line1 =
        " 0010 : 51 52 53 54" + std::string(36, ' ') + "  [QRST" + std::string(12, ' ') + "] \r\n";
    EXPECT_EQ(text, header + line0 + line1);
    EXPECT_EQ(line1.size(), 8 + 68 + 2u);
    EXPECT_EQ(Written([](ReportWriter& w) { return w.HexDump(nullptr, 20); }), "");
}

TEST(ReportWriter, StopsAtTheFirstFailedWrite) {
    // Every primitive fails once the sink is full, and stays failed.
    for (std::size_t room : {0u, 1u, 2u, 9u, 30u}) {
        MemoryReportSink sink(room);
        ReportWriter w(&sink);
        bool ok = w.Bom() && w.Value("  Vendor", "ABCDEFG") && w.Eol();
        EXPECT_FALSE(ok) << room;
        EXPECT_FALSE(w.Ok());
        EXPECT_FALSE(w.Line("x"));
        EXPECT_LE(sink.Bytes().size(), room);
    }
    ReportWriter none(nullptr);
    EXPECT_FALSE(none.Line("x"));
}

TEST(ReportWriter, Utf8EncodingForStandardOutput) {
    MemoryReportSink sink;
    ReportWriter w(&sink, ReportEncoding::kUtf8Lf);
    ASSERT_TRUE(w.Bom() && w.Temperature(" T", 30) && w.Value("a", "b"));
    EXPECT_EQ(std::string(sink.Bytes().begin(), sink.Bytes().end()), " T = [30 \xC2\xB0"
                                                                     "C]\na = [b]\n");
}

} // namespace
} // namespace tvd
