#include <gtest/gtest.h>

#include <vector>

#include "storage/winpassthroughatafun.h"

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes r;
    for (const Bytes& p : parts)
        r.insert(r.end(), p.begin(), p.end());
    return r;
}

const AtaRegisters kIdentify{0, 0, 0, 0, 0, 0xA0, 0xEC, 0};
const Bytes kIdentifyBytes = {0, 0, 0, 0, 0, 0xA0, 0xEC, 0};

TEST(WinAtaRequests, PassThroughHeaders) {
    struct Case {
        LayoutWidth width;
        DataDirection dir;
        Bytes header;
        std::uint32_t in, out;
    };
    const Bytes zero8(8, 0), zero4(4, 0);
    const Case cases[] = {
        {LayoutWidth::k32, DataDirection::kIn,
         Cat({{40, 0, 3, 0},
              zero4,
              {0, 2, 0, 0},
              {0xE8, 3, 0, 0},
              zero4,
              {40, 0, 0, 0},
              zero8,
              kIdentifyBytes}),
         40, 552},
        {LayoutWidth::k32, DataDirection::kOut,
         Cat({{40, 0, 5, 0},
              zero4,
              {0, 2, 0, 0},
              {0xE8, 3, 0, 0},
              zero4,
              {40, 0, 0, 0},
              zero8,
              kIdentifyBytes}),
         552, 40},
        {LayoutWidth::k32, DataDirection::kNone,
         Cat({{40, 0, 1, 0}, zero4, zero4, {0xE8, 3, 0, 0}, zero4, zero4, zero8, kIdentifyBytes}),
         40, 40},
        {LayoutWidth::k64, DataDirection::kIn,
         Cat({{48, 0, 3, 0},
              zero4,
              {0, 2, 0, 0},
              {0xE8, 3, 0, 0},
              zero4,
              zero4,
              {48, 0, 0, 0, 0, 0, 0, 0},
              zero8,
              kIdentifyBytes}),
         48, 560},
        {LayoutWidth::k64, DataDirection::kOut,
         Cat({{48, 0, 5, 0},
              zero4,
              {0, 2, 0, 0},
              {0xE8, 3, 0, 0},
              zero4,
              zero4,
              {48, 0, 0, 0, 0, 0, 0, 0},
              zero8,
              kIdentifyBytes}),
         560, 48},
        {LayoutWidth::k64, DataDirection::kNone,
         Cat({{48, 0, 1, 0},
              zero4,
              zero4,
              {0xE8, 3, 0, 0},
              zero4,
              zero4,
              zero8,
              zero8,
              kIdentifyBytes}),
         48, 48},
    };
    Bytes payload(512);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 7);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.width) << "/" << int(c.dir));
        const Bytes b = winata::BuildAtaPassThrough(c.width, kIdentify, c.dir, 512, payload, 1000);
        const std::size_t header = c.header.size();
        ASSERT_EQ(b.size(), c.dir == DataDirection::kNone ? header : header + 512);
        EXPECT_EQ(Bytes(b.begin(), b.begin() + header), c.header);
        if (c.dir == DataDirection::kOut) {
            EXPECT_EQ(Bytes(b.begin() + header, b.end()), payload);
        }
        const auto lengths = winata::AtaPassThroughLengths(c.width, c.dir, 512);
        EXPECT_EQ(lengths.in, c.in);
        EXPECT_EQ(lengths.out, c.out);

        winata::AtaPassThroughRequest req;
        ASSERT_EQ(winata::ParseAtaPassThrough(c.width, b, req), err::kSuccess);
        EXPECT_EQ(req.regs, kIdentify);
        EXPECT_EQ(req.dir, c.dir);
        EXPECT_EQ(req.dataLength, c.dir == DataDirection::kNone ? 0u : 512u);
        EXPECT_EQ(req.timeoutSeconds, 1000u);
        if (c.dir != DataDirection::kNone) {
            EXPECT_EQ(req.dataOffset, header);
        }
    }
}

TEST(WinAtaRequests, PassThroughResultAndMalformedRequests) {
    for (LayoutWidth w : {LayoutWidth::k32, LayoutWidth::k64}) {
        const std::size_t header = winata::AtaPassThroughLayoutOf(w).size;
        Bytes b = winata::BuildAtaPassThrough(w, kIdentify, DataDirection::kOut, 512, {}, 60);
        const AtaRegisters status{0x04, 1, 2, 3, 4, 0xA0, 0x51, 0};
        winata::StoreAtaPassThroughResult(w, b, status);
        EXPECT_EQ(winata::AtaPassThroughResult(w, b), status);
        EXPECT_EQ(b[header - 2], 0x51);

        struct Bad {
            const char* what;
            Bytes request;
        };
        const auto patched = [&](std::size_t off, std::uint8_t v) {
            Bytes r = b;
            r[off] = v;
            return r;
        };
        const Bad bad[] = {
            {"short", Bytes(b.begin(), b.begin() + header - 1)},
            {"wrong Length", patched(winata::apt::kLength, 44)},
            {"both directions", patched(winata::apt::kAtaFlags, 0x07)},
            {"48-bit", patched(winata::apt::kAtaFlags, 0x0D)},
            {"offset inside header",
             patched(winata::AtaPassThroughLayoutOf(w).dataBufferOffset, 8)},
            {"data beyond buffer", Bytes(b.begin(), b.end() - 1)},
        };
        for (const Bad& x : bad) {
            winata::AtaPassThroughRequest req;
            EXPECT_EQ(winata::ParseAtaPassThrough(w, x.request, req), err::kInvalidParameter)
                << x.what << " " << int(w);
        }
    }
    EXPECT_TRUE(winata::BuildAtaPassThrough(LayoutWidth::k32, kIdentify, DataDirection::kIn,
                                            std::size_t(0xFFFFFFF0), {}, 1)
                    .empty());
}

TEST(WinAtaRequests, SmartAndMiniportRequests) {
    const AtaRegisters status{0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0};
    const Bytes statusBytes = {0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0};
    const Bytes smartIn = Cat({{32, 0, 0, 0}, statusBytes, {5}, Bytes(19, 0)});
    EXPECT_EQ(winata::BuildSmartInput(status, 5), smartIn);
    EXPECT_EQ(winata::SmartOutputLength(true), 528u);
    EXPECT_EQ(winata::SmartOutputLength(false), 24u);
    EXPECT_EQ(winata::BuildSmartRequest(status, 5, true).size(), 528u);

    struct Case {
        std::uint32_t code;
        Bytes lengthField;
        std::uint32_t in, out;
    };
    const Case cases[] = {
        {0x1B0501, {0x10, 2, 0, 0}, 60, 556}, {0x1B0502, {0x10, 2, 0, 0}, 60, 556},
        {0x1B0503, {0x10, 2, 0, 0}, 60, 556}, {0x1B0506, {32, 0, 0, 0}, 60, 60},
        {0x1B0509, {32, 0, 0, 0}, 60, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const Bytes b = winata::BuildMiniportSmart(c.code, status, 5);
        const Bytes expected =
            Cat({{28, 0, 0, 0},
                 {'S', 'C', 'S', 'I', 'D', 'I', 'S', 'K'},
                 {0xE8, 3, 0, 0},
                 {std::uint8_t(c.code), std::uint8_t(c.code >> 8), std::uint8_t(c.code >> 16), 0},
                 {0, 0, 0, 0},
                 c.lengthField,
                 smartIn});
        ASSERT_GE(b.size(), expected.size());
        EXPECT_EQ(Bytes(b.begin(), b.begin() + expected.size()), expected);
        EXPECT_EQ(b.size(), c.out);
        const auto lengths = winata::MiniportSmartLengths(c.code);
        EXPECT_EQ(lengths.in, c.in);
        EXPECT_EQ(lengths.out, c.out);
        winata::MiniportSmartRequest req;
        ASSERT_EQ(winata::ParseMiniportSmart(b, req), err::kSuccess);
        EXPECT_EQ(req.controlCode, c.code);
        EXPECT_EQ(req.regs, status);
        EXPECT_EQ(req.driveNumber, 5);
    }
    Bytes other = winata::BuildMiniportSmart(0x1B0501, status, 0);
    other[4] = 'X';
    winata::MiniportSmartRequest req;
    EXPECT_EQ(winata::ParseMiniportSmart(other, req), err::kNotSupported);
    EXPECT_EQ(winata::ParseMiniportSmart(Bytes(40, 0), req), err::kNotSupported);
    Bytes truncated = winata::BuildMiniportSmart(0x1B0501, status, 0);
    truncated.resize(50);
    EXPECT_EQ(winata::ParseMiniportSmart(truncated, req), err::kInvalidParameter);
}

} // namespace
} // namespace tvd
