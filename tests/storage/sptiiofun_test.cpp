#include "storage/sptiiofun.h"

#include <gtest/gtest.h>

#include <vector>

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kInquiryCdb = {0x12, 0, 0, 0, 0x24, 0};

spti::Request InquiryRequest() {
    spti::Request r;
    r.cdb = kInquiryCdb;
    r.direction = DataDirection::kIn;
    r.dataLength = 36;
    r.timeoutSeconds = 10;
    r.pathId = 1;
    r.targetId = 2;
    r.lun = 3;
    return r;
}

// The expected buffers, written out by hand from the request structure of each width.
Bytes Expected32() {
    Bytes b(80 + 36, 0);
    const Bytes header = {0x2C, 0x00, 0x00, 0x01, 0x02, 0x03,
                          0x06, 0x20, 0x01, 0,    0,    0,  // Length .. DataIn
                          0x24, 0,    0,    0,              // DataTransferLength
                          0x0A, 0,    0,    0,              // TimeOutValue
                          0x50, 0,    0,    0,              // DataBufferOffset
                          0x30, 0,    0,    0,              // SenseInfoOffset
                          0x12, 0,    0,    0,    0x24, 0}; // Cdb
    std::copy(header.begin(), header.end(), b.begin());
    return b;
}
Bytes Expected64() {
    Bytes b(88 + 36, 0);
    const Bytes header = {0x38, 0x00, 0x00, 0x01, 0x02, 0x03, 0x06, 0x20,
                          0x01, 0,    0,    0,                         // Length .. DataIn
                          0x24, 0,    0,    0,                         // DataTransferLength
                          0x0A, 0,    0,    0,                         // TimeOutValue
                          0,    0,    0,    0,                         // alignment
                          0x58, 0,    0,    0,    0,    0,    0,    0, // DataBufferOffset
                          0x38, 0,    0,    0,                         // SenseInfoOffset
                          0x12, 0,    0,    0,    0x24, 0};            // Cdb
    std::copy(header.begin(), header.end(), b.begin());
    return b;
}

TEST(SptiIo, EncodesBothWidthsByteExact) {
    struct Case {
        LayoutWidth width;
        Bytes expected;
    } cases[] = {{LayoutWidth::k32, Expected32()}, {LayoutWidth::k64, Expected64()}};
    for (const Case& c : cases) {
        Bytes buffer;
        ASSERT_EQ(spti::Encode(c.width, InquiryRequest(), buffer), err::kSuccess);
        EXPECT_EQ(buffer, c.expected) << (c.width == LayoutWidth::k32 ? "32" : "64");
    }
}

TEST(SptiIo, DirectionsAndData) {
    const Bytes payload = {1, 2, 3, 4};
    for (LayoutWidth w : {LayoutWidth::k32, LayoutWidth::k64}) {
        const std::size_t data = spti::LayoutOf(w).data;
        spti::Request out = InquiryRequest();
        out.direction = DataDirection::kOut;
        out.dataLength = 4;
        out.dataOut = payload;
        Bytes buffer;
        ASSERT_EQ(spti::Encode(w, out, buffer), err::kSuccess);
        EXPECT_EQ(buffer[spti::kDataInOff], 0);
        EXPECT_EQ(Bytes(buffer.begin() + data, buffer.end()), payload);

        spti::Request none = InquiryRequest();
        none.direction = DataDirection::kNone;
        ASSERT_EQ(spti::Encode(w, none, buffer), err::kSuccess);
        EXPECT_EQ(buffer.size(), data);
        EXPECT_EQ(buffer[spti::kDataInOff], 2);
        EXPECT_EQ(Le<std::uint32_t>(buffer, spti::kDataTransferLengthOff), 0u);
    }
}

TEST(SptiIo, RefusesBadRequests) {
    Bytes buffer;
    spti::Request r = InquiryRequest();
    r.cdb = {};
    EXPECT_EQ(spti::Encode(LayoutWidth::k32, r, buffer), 22u);
    const Bytes longCdb(17, 0);
    r.cdb = longCdb;
    EXPECT_EQ(spti::Encode(LayoutWidth::k64, r, buffer), 22u);
    r = InquiryRequest();
    r.direction = DataDirection::kOut; // names 36 bytes but holds none
    EXPECT_EQ(spti::Encode(LayoutWidth::k32, r, buffer), err::kInvalidParameter);
}

TEST(SptiIo, DecodesAnswer) {
    struct Case {
        const char* name;
        LayoutWidth width;
        std::uint32_t transferred;
        std::uint8_t senseLength;
        ErrorCode expected;
    } cases[] = {
        {"short answer", LayoutWidth::k32, 20, 18, err::kSuccess},
        {"full answer", LayoutWidth::k64, 36, 0, err::kSuccess},
        {"claims more than asked", LayoutWidth::k32, 37, 0, err::kNotEnoughMemory},
        {"sense length clipped", LayoutWidth::k64, 0, 200, err::kSuccess},
    };
    for (const Case& c : cases) {
        const spti::Request req = InquiryRequest();
        Bytes buffer;
        ASSERT_EQ(spti::Encode(c.width, req, buffer), err::kSuccess);
        const spti::Layout l = spti::LayoutOf(c.width);
        buffer[spti::kScsiStatusOff] = 2;
        buffer[spti::kSenseInfoLengthOff] = c.senseLength;
        StoreLe<std::uint32_t>(buffer, spti::kDataTransferLengthOff, c.transferred);
        buffer[l.sense] = 0x70;
        for (std::size_t i = 0; i < 36; ++i)
            buffer[l.data + i] = static_cast<std::uint8_t>(i + 1);
        spti::Answer a;
        ASSERT_EQ(spti::Decode(c.width, req, buffer, a), c.expected) << c.name;
        if (c.expected != err::kSuccess) continue;
        EXPECT_EQ(a.status, 2) << c.name;
        EXPECT_EQ(a.transferred, c.transferred) << c.name;
        ASSERT_EQ(a.data.size(), c.transferred) << c.name;
        if (!a.data.empty()) {
            EXPECT_EQ(a.data[0], 1) << c.name;
        }
        EXPECT_EQ(a.sense.size(), std::min<std::size_t>(c.senseLength, 32)) << c.name;
        if (!a.sense.empty()) {
            EXPECT_EQ(a.sense[0], 0x70) << c.name;
        }
    }
    // A buffer shorter than the request it answers.
    spti::Answer a;
    EXPECT_EQ(spti::Decode(LayoutWidth::k32, InquiryRequest(), Bytes(80), a), err::kInvalidData);
}

} // namespace
} // namespace tvd
