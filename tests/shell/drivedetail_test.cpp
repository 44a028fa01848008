#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shell/drivedetailutil.h"
#include "storage/ataidentitybuilder.h"
#include "storage/nvmeidentitybuilder.h"

namespace tvd {
namespace {

using F = DetailFormat;

const DetailRow* RowAt(const std::vector<DetailRow>& rows, std::uint16_t first) {
    for (const DetailRow& r : rows)
        if (r.first == first) return &r;
    return nullptr;
}

TEST(DriveDetailTables, AscendWithoutGapsOrOverlapsAndCoverTheWholeStructure) {
    struct Case {
        const char* what;
        std::span<const DetailField> fields;
        std::size_t count;
        std::size_t end;
    };
    for (const Case& c : {Case{"ATA", AtaDetailFields(), 99, kAtaDetailWords},
                          Case{"NVMe", NvmeDetailFields(), 97, kNvmeDetailBytes}}) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.fields.size(), c.count);
        std::size_t next = 0;
        for (const DetailField& f : c.fields) {
            EXPECT_EQ(f.first, next) << "gap or overlap before " << f.first;
            EXPECT_LE(f.first, f.last);
            ASSERT_NE(f.description, nullptr);
            EXPECT_NE(f.description[0], u'\0');
            next = f.last + 1u;
        }
        EXPECT_EQ(next, c.end);
    }
    for (const DetailField& f : NvmeDetailFields()) {
        ASSERT_NE(f.name, nullptr);
        EXPECT_NE(f.name[0], '\0');
    }
}

// The punctuation is UTF-16 text, never code-page bytes.
TEST(DriveDetailTables, PunctuationIsStoredAsUtf16) {
    struct Case {
        std::uint16_t word;
        const char16_t* description;
    };
    const auto fields = AtaDetailFields();
    for (const Case& c : {
             Case{66, u"Manufacturer\u2019s recommended Multiword DMA transfer cycle time"},
             Case{96, u"Streaming Transfer Time \u2013 DMA"},
             Case{97, u"Streaming Access Latency \u2013 DMA and PIO"},
             Case{104, u"Streaming Transfer Time \u2013 PIO"},
         }) {
        const DetailField* f = nullptr;
        for (const DetailField& x : fields)
            if (x.first == c.word) f = &x;
        ASSERT_NE(f, nullptr) << c.word;
        EXPECT_EQ(std::u16string_view(f->description), std::u16string_view(c.description));
    }
    for (const DetailField& f : fields)
        for (const char16_t* p = f.description; *p; ++p)
            EXPECT_TRUE(*p < 0x80 || *p == u'\u2019' || *p == u'\u2013') << f.first;
}

TEST(DriveDetailFormat, EachFormatPrintsItsBytes) {
    const std::uint8_t b[] = {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A, 0xF0, 0xDE,
                              0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80};
    const ByteView all(b);
    struct Case {
        F format;
        std::size_t size;
        const char* want;
    };
    for (const Case& c : {
             Case{F::kAtaRaw, 4, "1234 5678 "},
             Case{F::kAtaWord, 2, "0x1234 (4660)"},
             Case{F::kAtaDword, 4, "0x56781234 (1450709556)"},
             Case{F::kAtaQword, 8, "0xDEF09ABC56781234 (-2382234069183753676)"},
             Case{F::kAtaHex, 8,
                  "12345678"
                  "9ABCDEF0"},
             Case{F::kNvmeRaw, 3, "34 12 78 "},
             Case{F::kNvmeByte, 1, "0x34"},
             Case{F::kNvmeWord, 2, "0x1234"},
             Case{F::kNvmeDword, 4, "0x56781234"},
             Case{F::kNvmeWordInt, 2, "0x1234 (4660)"},
             Case{F::kNvmeDwordInt, 4, "0x56781234 (1450709556)"},
             Case{F::kNvmeOcta, 16,
                  "0x8000000000000001"
                  "DEF09ABC56781234 (16064510004525797940)"},
             // Too few bytes for a number: nothing, not a read past the end.
             Case{F::kAtaDword, 3, ""},
             Case{F::kAtaQword, 7, ""},
             Case{F::kNvmeOcta, 15, ""},
             Case{F::kNvmeWord, 1, ""},
             Case{F::kNvmeByte, 0, ""},
         }) {
        EXPECT_EQ(FormatDetailValue(c.format, all.first(c.size)), c.want)
            << DetailFormatCode(c.format) << " of " << c.size << " bytes";
    }
    // Unsigned where the decimal is unsigned, signed where it is signed.
    const std::uint8_t ff[] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(FormatDetailValue(F::kAtaWord, ff), "0xFFFF (65535)");
    EXPECT_EQ(FormatDetailValue(F::kNvmeWordInt, ff), "0xFFFF (65535)");
    EXPECT_EQ(FormatDetailValue(F::kAtaDword, ff), "0xFFFFFFFF (4294967295)");
    EXPECT_EQ(FormatDetailValue(F::kNvmeDwordInt, ff), "0xFFFFFFFF (-1)");
}

TEST(DriveDetailFormat, TextsStopAtZeroOrAtTheFieldsEnd) {
    struct Case {
        F format;
        std::vector<std::uint8_t> bytes;
        const char* want;
    };
    for (const Case& c : {
             Case{F::kAtaText, {'B', 'A', 'D', 'C'}, "ABCD"},
             Case{F::kAtaText, {'B', 'A', 0, 'C', 'E', 'D'}, "ABC"},
             Case{F::kAtaText, {0, 'A', 'D', 'C'}, "A"},
             Case{F::kAtaText, {'A', 0, 'D', 'C'}, ""},
             Case{F::kAtaText, {'B', 'A', 'X'}, "AB"}, // an odd byte is no word
             Case{F::kNvmeText, {'N', 'V', 0, 'X'}, "NV"},
             Case{F::kNvmeText, {'N', 'V', 'M', 'e'}, "NVMe"},
         }) {
        EXPECT_EQ(FormatDetailValue(c.format, c.bytes), c.want);
    }
}

TEST(DriveDetailAtaRows, FullPageGivesTheFieldsRowsWithRawFieldsSplit) {
    test::AtaIdentityBuilder id;
    const std::string model = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcd"; // all 40 characters
    id.Text(27, 20, model).Set(1, 16383).Set32(60, 0x0FFFFFFF).Set64(100, 976773168);
    id.Set(108, 0x5000).Set(109, 0xC500).Set(110, 0x1234).Set(111, 0xABCD).Set(217, 1);
    for (std::uint16_t w = 129; w <= 159; ++w)
        id.Set(w, w);
    const auto rows = BuildAtaDetailRows(id.View());
    // 99 fields; words 129-159, 176-205 and 236-254 take two rows each.
    ASSERT_EQ(rows.size(), 102u);
    EXPECT_EQ(rows.front().position, "0");

    const DetailRow* m = RowAt(rows, 27);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->position, "27..46");
    EXPECT_EQ(m->value, model);
    EXPECT_EQ(RowAt(rows, 1)->value, "0x3FFF (16383)");
    EXPECT_EQ(RowAt(rows, 60)->value, "0x0FFFFFFF (268435455)");
    EXPECT_EQ(RowAt(rows, 100)->value, "0x000000003A386030 (976773168)");
    EXPECT_EQ(RowAt(rows, 108)->value, "5000C5001234ABCD");
    EXPECT_EQ(RowAt(rows, 217)->value, "0x0001 (1)");

    const DetailRow* v1 = RowAt(rows, 129);
    const DetailRow* v2 = RowAt(rows, 145);
    ASSERT_TRUE(v1 && v2);
    EXPECT_EQ(v1->position, "129..144");
    EXPECT_EQ(v1->description, u"Vendor specific");
    EXPECT_EQ(v1->value, "0081 0082 0083 0084 0085 0086 0087 0088 "
                         "0089 008A 008B 008C 008D 008E 008F 0090 ");
    EXPECT_EQ(v2->position, "145..159");
    EXPECT_TRUE(v2->description.empty());
    EXPECT_EQ(v2->value.size(), 15u * 5);
    EXPECT_EQ(rows.back().position, "255");
}

TEST(DriveDetailAtaRows, ShortDataGivesRowsOnlyFromTheReturnedBytes) {
    test::AtaIdentityBuilder id;
    id.Set32(60, 1234);
    const ByteView page = id.View();
    struct Case {
        std::size_t bytes;
        std::size_t rows;
        const char* lastPosition;
        const char* lastValue;
    };
    for (const Case& c : {
             Case{0, 0, nullptr, nullptr},
             Case{1, 0, nullptr, nullptr}, // half a word is no word
             Case{2, 1, "0", "0000 "},
             Case{10, 5, "4", "0000 "}, // word 5 is missing: 4..5 shows word 4
             Case{38, 8, "9", "0000 "}, // the serial needs all its words
             Case{40, 9, "10..19", "SN0123456789        "},
             Case{122, 24, "59", "0000 "},
             Case{123, 24, "59", "0000 "}, // words 60-61 need 4 bytes, 61 is half there
             Case{124, 25, "60..61", "0x000004D2 (1234)"},
             Case{2 * 150, 75, "145..149", "0000 0000 0000 0000 0000 "},
         }) {
        SCOPED_TRACE(c.bytes);
        const auto rows = BuildAtaDetailRows(page.first(c.bytes));
        ASSERT_EQ(rows.size(), c.rows);
        if (!c.lastPosition) continue;
        EXPECT_EQ(rows.back().position, c.lastPosition);
        if (c.lastValue) {
            EXPECT_EQ(rows.back().value, c.lastValue);
        }
        for (const DetailRow& r : rows)
            EXPECT_LE(2u * r.last + 1, c.bytes - 1) << r.position;
    }
}

TEST(DriveDetailNvmeRows, FullControllerGivesTheFieldsRows) {
    test::NvmeControllerBuilder c;
    c.Model("TEST NVME CONTROLLER 1TB", 0).Le16(2, 0x1AF4).Byte(263, 4);
    // TNVMCAP of 1 TB.
    c.Le32(280, static_cast<std::uint32_t>(1000204886016ull)).Le32(284, 1000204886016ull >> 32);
    c.Text(768, 256, std::string(256, 'q'), 'q'); // no terminating zero anywhere
    for (std::size_t i = 3072; i < 4096; ++i)
        c.Byte(i, static_cast<std::uint8_t>(i));
    const auto rows = BuildNvmeDetailRows(c.Bytes());
    ASSERT_EQ(rows.size(), 97u + 31 + 3 + 5 + 7 + 23 + 7); // the raw fields longer than 32 bytes
    EXPECT_EQ(rows[0].position, "0..1");
    EXPECT_EQ(rows[0].name, "VID");
    EXPECT_EQ(rows[0].value, "0x144D");
    EXPECT_EQ(rows[1].value, "0x1AF4");
    EXPECT_EQ(RowAt(rows, 24)->value, "TEST NVME CONTROLLER 1TB");
    EXPECT_EQ(RowAt(rows, 80)->value, "0x00010400");
    EXPECT_EQ(RowAt(rows, 263)->value, "0x04");
    EXPECT_EQ(RowAt(rows, 280)->value, "0x0000000000000000000000E8E0DB6000 (1000204886016)");
    EXPECT_EQ(RowAt(rows, 516)->value, "0x00000001 (1)");
    EXPECT_EQ(RowAt(rows, 768)->value, std::string(256, 'q'));
    const DetailRow* psd3 = RowAt(rows, 2048 + 3 * 32);
    ASSERT_NE(psd3, nullptr);
    EXPECT_EQ(psd3->name, "PSD3");
    EXPECT_EQ(psd3->description, u"Power State 3 Descriptor");
    EXPECT_EQ(psd3->position, "2144..2175");

    // Bytes 3072-4095: 32 rows of 32 bytes, only the first named and described.
    std::size_t vendorRows = 0;
    for (const DetailRow& r : rows) {
        if (r.first < 3072) continue;
        ++vendorRows;
        EXPECT_EQ(r.last - r.first, 31);
        EXPECT_EQ(r.name.empty(), r.first != 3072);
        EXPECT_EQ(r.description.empty(), r.first != 3072);
        EXPECT_EQ(r.value.size(), 32u * 3);
    }
    EXPECT_EQ(vendorRows, 32u);
    EXPECT_EQ(rows.back().position, "4064..4095");
    EXPECT_EQ(rows.back().value.substr(0, 6), "E0 E1 ");
}

TEST(DriveDetailNvmeRows, ShortDataGivesRowsOnlyFromTheReturnedBytes) {
    test::NvmeControllerBuilder c;
    const ByteView all(c.Bytes());
    struct Case {
        std::size_t bytes;
        std::size_t rows;
        const char* lastPosition;
    };
    for (const Case& c : {
             Case{0, 0, nullptr},
             Case{1, 0, nullptr},
             Case{4, 2, "2..3"},
             Case{63, 3, "4..23"}, // the model is cut: it and all after it are left out
             Case{73, 6, "72"},
             Case{74, 7, "73"}, // raw: the bytes that came
             Case{75, 7, "73..74"},
             Case{512, 53, "492..511"},
         }) {
        SCOPED_TRACE(c.bytes);
        const auto rows = BuildNvmeDetailRows(all.first(c.bytes));
        ASSERT_EQ(rows.size(), c.rows);
        if (c.lastPosition) {
            EXPECT_EQ(rows.back().position, c.lastPosition);
        }
        for (const DetailRow& r : rows)
            EXPECT_LT(r.last, c.bytes) << r.position;
    }
    // More than the structure: the extra bytes are no field.
    std::vector<std::uint8_t> longer(c.Bytes());
    longer.resize(5000, 0xEE);
    EXPECT_EQ(BuildNvmeDetailRows(longer).back().position, "4064..4095");
}

} // namespace
} // namespace tvd
