#include "foundation/smbiosutil.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/smbiosfixture.h"

namespace tvd {
namespace {

using test::SmbiosFields;
using test::SmbiosTableBuilder;

std::string Str(std::optional<std::string_view> s) {
    return s ? std::string(*s) : std::string("(none)");
}

// A small machine: BIOS, system, board, chassis, processor, two memory devices, end.
struct Machine {
    SmbiosTableBuilder b;
    std::int64_t bios, system, board, chassis, cpu, dimm1, dimm2, end;
    Machine() {
        bios = b.Add(0, 0x0000, test::BiosFields(), {"Vendor Inc.", "1.07", "03/14/2024"});
        system = b.Add(1, 0x0001, test::SystemFields(), {"Maker", "Model X", "1.0", "SN123"});
        board = b.Add(2, 0x0002, test::BoardFields(10), {"Board Co", "B-450", "Rev 1"});
        chassis = b.Add(3, 0x0003, test::ChassisFields(10), {"Case Co"});
        cpu = b.Add(4, 0x0004, test::ProcessorFields(), {"CPU0", "ChipCo", "ChipCo 9000"});
        dimm1 = b.Add(17, 0x0011, test::MemoryFields(8192), {"DIMM_A1", "BANK 0"});
        dimm2 = b.Add(17, 0x0012, test::MemoryFields(0x7FFF, 32768), {"DIMM_B1", "BANK 1"});
        end = b.AddEnd();
    }
};

TEST(SmbiosUtil, BlobHeader) {
    Machine m;
    auto blob = m.b.Blob(3, 4);
    EXPECT_TRUE(SmbiosBlobValid(blob));
    EXPECT_EQ(blob[1], 3);
    EXPECT_EQ(blob[2], 4);
    EXPECT_EQ(Le<std::uint32_t>(blob, 4), m.b.Table().size());
    blob.push_back(0);
    EXPECT_FALSE(SmbiosBlobValid(blob));
    EXPECT_FALSE(SmbiosBlobValid(ByteView(blob.data(), 7)));
}

TEST(SmbiosUtil, FindsByTypeAndHandle) {
    Machine m;
    const auto blob = m.b.Blob();
    struct Row {
        std::int64_t from;
        std::uint8_t type;
        std::uint16_t handle;
        std::int64_t want;
    } rows[] = {
        {0, 1, 0, m.system},
        {8, 17, 0, m.dimm1},
        {m.dimm1 + 1, 17, 0, m.dimm2}, // at or after: the next one
        {m.dimm2, 17, 0, m.dimm2},
        {8, 17, 0x0012, m.dimm2},
        {8, 17, 0x0099, -1},
        {8, 5, 0, -1},
        {8, 127, 0, m.end},
        {m.end + 1, 17, 0, -1},
        {-1, 1, 0, -1},
        {1 << 30, 1, 0, -1},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FindSmbiosStructure(blob, r.from, r.type, r.handle), r.want)
            << "from " << r.from << " type " << int(r.type);

    // Walking with Next visits every structure once and ends.
    int count = 0;
    for (std::int64_t at = 8; at >= 0; at = NextSmbiosStructure(blob, at))
        ++count;
    EXPECT_EQ(count, 8);
}

TEST(SmbiosUtil, StringsAndFields) {
    Machine m;
    const auto blob = m.b.Blob();
    struct Row {
        std::int64_t at;
        std::size_t field;
        const char* want;
    } rows[] = {
        {m.bios, 0x04, "Vendor Inc."}, {m.bios, 0x08, "03/14/2024"}, {m.system, 0x05, "Model X"},
        {m.system, 0x07, "SN123"},     {m.board, 0x04, "Board Co"},  {m.board, 0x05, "B-450"},
        {m.cpu, 0x10, "ChipCo 9000"},  {m.dimm2, 0x10, "DIMM_B1"},   {m.dimm2, 0x11, "BANK 1"},
        {m.board, 0x07, "(none)"},                                // index 0
        {m.chassis, 0x14, "(none)"},   {m.board, 0x0F, "(none)"}, // past the formatted part
    };
    for (const auto& r : rows)
        EXPECT_EQ(Str(SmbiosFieldString(blob, r.at, r.field)), r.want)
            << "at " << r.at << " field " << r.field;

    EXPECT_EQ(Str(SmbiosString(blob, m.system, 3)), "1.0");
    EXPECT_EQ(Str(SmbiosString(blob, m.system, 4)), "SN123");
    EXPECT_EQ(Str(SmbiosString(blob, m.system, 5)), "(none)");
    EXPECT_EQ(Str(SmbiosString(blob, m.end, 1)), "(none)");
    EXPECT_EQ(SmbiosByte(blob, m.board, 0x0D), 10);
    EXPECT_EQ(SmbiosWord(blob, m.dimm1, 0x0C), 8192);
    EXPECT_EQ(SmbiosDword(blob, m.dimm2, 0x1C), 32768u);
    EXPECT_FALSE(SmbiosByte(blob, m.board, 0x0F).has_value());
    EXPECT_FALSE(SmbiosWord(blob, m.board, 0x0E).has_value()); // one byte short
    EXPECT_FALSE(SmbiosDword(blob, m.dimm1, 0x1F).has_value());
}

TEST(SmbiosUtil, MemorySize) {
    struct Row {
        std::uint16_t size;
        std::uint32_t extended;
        std::uint8_t length;
        std::uint64_t bytes;
    } rows[] = {
        {0, 0, 0x22, 0},                                     // empty slot
        {0xFFFF, 0, 0x22, 0},                                // unknown
        {8192, 0, 0x22, 8192ull << 20},                      // MiB
        {0x8000 | 512, 0, 0x22, 512ull << 10},               // KiB bit
        {0x7FFF, 32768, 0x22, 32768ull << 20},               // extended size
        {0x7FFF, 0x80000000u | 65536, 0x22, 65536ull << 20}, // reserved top bit ignored
        {0x7FFF, 32768, 0x1C, 0},                            // no room for the extended size
        {0x7FFE, 0, 0x22, 0x7FFEull << 20},
    };
    for (const auto& r : rows) {
        SmbiosTableBuilder b;
        auto at = b.Add(17, 1, test::MemoryFields(r.size, r.extended, 26, r.length), {"D"});
        b.AddEnd();
        EXPECT_EQ(SmbiosMemorySize(b.Blob(), at), r.bytes) << std::hex << r.size;
    }
    // Only memory devices have a size.
    Machine m;
    EXPECT_EQ(SmbiosMemorySize(m.b.Blob(), m.board), 0u);
}

TEST(SmbiosUtil, NameTables) {
    EXPECT_STREQ(SmbiosBoardTypeName(2), "Other");
    EXPECT_STREQ(SmbiosBoardTypeName(10), "MotherBoard");
    EXPECT_STREQ(SmbiosBoardTypeName(3), "Unknown");
    EXPECT_STREQ(SmbiosChassisTypeName(4), "Low Profile Desktop");
    EXPECT_STREQ(SmbiosChassisTypeName(10), "Notbook");
    EXPECT_STREQ(SmbiosChassisTypeName(2), "Unknown");
    EXPECT_STREQ(SmbiosChassisTypeName(11), "Unknown");
    EXPECT_STREQ(SmbiosMemoryTypeName(20), "DDR2 FB-DIMM");
    EXPECT_STREQ(SmbiosMemoryTypeName(26), "DDR4");
    EXPECT_STREQ(SmbiosMemoryTypeName(35), "LPDDR5");
    for (std::uint8_t gap : {0, 21, 22, 23, 36, 255})
        EXPECT_EQ(SmbiosMemoryTypeName(gap), nullptr) << int(gap);
}

// Firmware tables are not trusted: every one of these must end the walk cleanly (run under the
// address sanitizer, an out-of-range read fails the test too).
TEST(SmbiosUtil, MalformedTables) {
    {
        SCOPED_TRACE("last structure's formatted part runs past the end");
        SmbiosTableBuilder b;
        auto sys = b.Add(1, 1, test::SystemFields(), {"Maker"});
        auto cut = b.AddRaw({17, 0x22, 0x11, 0x00, 0x00, 0x10});
        const auto blob = b.Blob();
        EXPECT_EQ(NextSmbiosStructure(blob, sys), cut);
        EXPECT_EQ(FindSmbiosStructure(blob, 8, 17), -1);
        EXPECT_FALSE(SmbiosWord(blob, cut, 0x0C).has_value());
        EXPECT_EQ(SmbiosMemorySize(blob, cut), 0u);
    }
    {
        SCOPED_TRACE("string set without its double NUL at the end of the table");
        SmbiosTableBuilder b;
        b.Add(1, 1, test::SystemFields(), {"Maker"});
        auto board = b.AddRaw({2, 0x0F, 0x02, 0x00, 1, 2, 0, 0, 0, 0, 0, 0, 0, 10, 0});
        b.AddRaw({'B', 'o', 'a', 'r', 'd', 0, 'X'});
        const auto blob = b.Blob();
        EXPECT_EQ(FindSmbiosStructure(blob, 8, 2), board); // the formatted part is whole
        EXPECT_EQ(SmbiosByte(blob, board, 0x0D), 10);
        EXPECT_EQ(Str(SmbiosFieldString(blob, board, 0x04)), "(none)");
        EXPECT_EQ(NextSmbiosStructure(blob, board), -1);
        EXPECT_EQ(FindSmbiosStructure(blob, 8, 127), -1);
    }
    {
        SCOPED_TRACE("length byte below 4 stops the walk");
        SmbiosTableBuilder b;
        b.Add(1, 1, test::SystemFields(), {"Maker"});
        auto bad = b.AddRaw({2, 0x02, 0x02, 0x00, 0, 0});
        b.Add(17, 3, test::MemoryFields(1024), {"D"});
        b.AddEnd();
        const auto blob = b.Blob();
        EXPECT_EQ(FindSmbiosStructure(blob, 8, 17), -1);
        EXPECT_EQ(FindSmbiosStructure(blob, 8, 2), -1);
        EXPECT_FALSE(SmbiosByte(blob, bad, 0).has_value());
        EXPECT_EQ(NextSmbiosStructure(blob, bad), -1);
    }
    {
        SCOPED_TRACE("Length header larger than the blob");
        Machine m;
        auto blob = m.b.Blob();
        StoreLe<std::uint32_t>(blob, 4, 0xFFFFFFF0u);
        blob.resize(static_cast<std::size_t>(m.dimm2) + 20); // cut inside the last DIMM
        EXPECT_EQ(FindSmbiosStructure(blob, 8, 17), m.dimm1);
        EXPECT_EQ(FindSmbiosStructure(blob, m.dimm1 + 1, 17), -1);
        EXPECT_EQ(Str(SmbiosFieldString(blob, m.dimm1, 0x10)), "DIMM_A1");
    }
    {
        SCOPED_TRACE("Length header smaller than the blob hides what follows");
        Machine m;
        auto blob = m.b.Blob();
        StoreLe<std::uint32_t>(blob, 4, static_cast<std::uint32_t>(m.dimm1 - 8));
        EXPECT_EQ(FindSmbiosStructure(blob, 8, 4), m.cpu);
        EXPECT_EQ(FindSmbiosStructure(blob, 8, 17), -1);
        EXPECT_EQ(Str(SmbiosFieldString(blob, m.cpu, 0x04)), "CPU0");
    }
    {
        SCOPED_TRACE("all zeros, short blobs");
        std::vector<std::uint8_t> zeros(4096);
        StoreLe<std::uint32_t>(zeros, 4, 4096 - 8);
        EXPECT_EQ(FindSmbiosStructure(zeros, 8, 1), -1);
        EXPECT_EQ(NextSmbiosStructure(zeros, 8), -1);
        for (std::size_t n : {0, 7, 8, 11}) {
            auto blob = Machine().b.Blob();
            blob.resize(n);
            EXPECT_EQ(FindSmbiosStructure(blob, 0, 0), -1) << n;
            EXPECT_FALSE(SmbiosString(blob, 8, 1).has_value()) << n;
        }
    }
    {
        SCOPED_TRACE("structures without strings, back to back, never loop");
        SmbiosTableBuilder b;
        for (int i = 0; i < 50; ++i)
            b.Add(200, static_cast<std::uint16_t>(i + 1), SmbiosFields(4));
        auto last = b.Add(201, 99, SmbiosFields(4));
        const auto blob = b.Blob();
        EXPECT_EQ(FindSmbiosStructure(blob, 8, 201), last);
        EXPECT_EQ(FindSmbiosStructure(blob, 8, 200, 50), last - 6);
        EXPECT_EQ(NextSmbiosStructure(blob, last), -1);
    }
}

} // namespace
} // namespace tvd
