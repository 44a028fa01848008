// The decoders of the USB hub answers: what came back bounds every read, whatever the counts and
// lengths inside say.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "storage/usbdescriptorutil.h"

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A string request answered with `descriptor` (cut to `returned` bytes in all when given).
Bytes StringAnswer(Bytes descriptor, std::size_t returned = 0) {
    Bytes b = usbdesc::StringRequest(1, 2);
    b.resize(usbdescreq::kData);
    b.insert(b.end(), descriptor.begin(), descriptor.end());
    if (returned) b.resize(returned);
    return b;
}

TEST(UsbDescriptor, StringAnswers) {
    struct Case {
        const char* name;
        Bytes answer;
        std::optional<std::string> text;
    } cases[] = {
        {"plain", StringAnswer({8, 3, 'A', 0, 'B', 0, 'C', 0}), "ABC"},
        {"empty text", StringAnswer({2, 3}), ""},
        {"odd length", StringAnswer({7, 3, 'A', 0, 'B', 0, 'C'}), std::nullopt},
        {"not a string", StringAnswer({8, 2, 'A', 0, 'B', 0, 'C', 0}), std::nullopt},
        {"length 0", StringAnswer({0, 3, 'A', 0}), std::nullopt},
        {"longer than came back", StringAnswer({40, 3, 'A', 0, 'B', 0}), std::nullopt},
        {"cut answer", StringAnswer({8, 3, 'A', 0, 'B', 0, 'C', 0}, usbdescreq::kData + 6),
         std::nullopt},
        {"only the header", StringAnswer({}), std::nullopt},
        {"stops at NUL", StringAnswer({8, 3, 'A', 0, 0, 0, 'C', 0}), "A"},
        {"low byte of each unit", StringAnswer({6, 3, 0xE9, 0x00, 'x', 0x04}), "\xE9x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(usbdesc::DecodeStringAnswer(c.answer), c.text) << c.name;

    // A descriptor made here decodes to its text, and a long text is cut to fit 255 bytes.
    const Bytes made = usbdesc::EncodeStringDescriptor("Enclosure");
    EXPECT_EQ(usbdesc::DecodeStringAnswer(StringAnswer(made)), "Enclosure");
    const Bytes longOne = usbdesc::EncodeStringDescriptor(std::string(300, 'x'));
    EXPECT_LE(longOne.size(), 255u);
    EXPECT_EQ(longOne[0], longOne.size());
    EXPECT_EQ(usbdesc::DecodeStringAnswer(StringAnswer(longOne))->size(), 126u);

    const Bytes req = usbdesc::StringRequest(3, 2);
    ASSERT_EQ(req.size(), 267u);
    EXPECT_EQ(Bytes(req.begin(), req.begin() + 12),
              (Bytes{3, 0, 0, 0, 0x80, 6, 0x02, 0x03, 0x09, 0x04, 0xFF, 0}));
}

// A connection record with `pipes` bulk pipes of `packet` bytes, cut to `size` bytes.
Bytes Connection(std::uint32_t claimedPipes, std::size_t entries, std::uint16_t packet,
                 std::size_t size = usbconn::kSize) {
    UsbConnectionInfo info;
    info.port = 2;
    info.deviceDescriptor[usbdevdesc::kMaxPacketSize0] = 64;
    StoreLe<std::uint16_t>(info.deviceDescriptor, usbdevdesc::kIdVendor, 0x152D);
    for (std::size_t i = 0; i < entries; ++i)
        info.pipes.push_back({static_cast<std::uint8_t>(0x81 + i), 2, 0, packet});
    Bytes b = usbdesc::EncodeConnectionInfo(info);
    StoreLe<std::uint32_t>(b, usbconn::kNumberOfOpenPipes, claimedPipes);
    b.resize(size);
    return b;
}

TEST(UsbDescriptor, ConnectionRecords) {
    const auto full = usbdesc::DecodeConnectionInfo(Connection(2, 2, 512));
    ASSERT_TRUE(full);
    EXPECT_EQ(full->port, 2u);
    EXPECT_EQ(full->VendorId(), 0x152D);
    EXPECT_EQ(full->pipes.size(), 2u);

    // The count is clamped to the entries that came back.
    const auto cut = usbdesc::DecodeConnectionInfo(Connection(30, 2, 512, 35 + 11 + 5));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->pipes.size(), 1u);
    const auto lying = usbdesc::DecodeConnectionInfo(Connection(0xFFFFFFFF, 1, 512));
    ASSERT_TRUE(lying);
    EXPECT_EQ(lying->pipes.size(), 30u);
    EXPECT_FALSE(usbdesc::DecodeConnectionInfo(Connection(0, 0, 0, 34)));
    EXPECT_TRUE(usbdesc::DecodeConnectionInfo(Connection(0, 0, 0, 35)));
}

TEST(UsbDescriptor, LinkVersion) {
    auto info = [](std::uint8_t maxPacket0, bool low, std::vector<UsbPipe> pipes) {
        UsbConnectionInfo i;
        i.deviceDescriptor[usbdevdesc::kMaxPacketSize0] = maxPacket0;
        i.lowSpeed = low;
        i.pipes = std::move(pipes);
        return i;
    };
    const UsbPipe bulk512{0x81, 2, 0, 512}, bulk64{0x81, 2, 0, 64}, bulk1024{0x81, 2, 0, 1024};
    const UsbPipe interrupt{0x83, 3, 8, 1024}, bulkOdd{0x02, 2, 0, 256};
    struct Case {
        const char* name;
        UsbConnectionInfo info;
        std::uint16_t version;
    } cases[] = {
        {"low speed", info(8, true, {bulk512}), 0x0100},
        {"USB 3 whatever its pipes say", info(9, false, {bulk64}), 0x0300},
        {"full speed bulk", info(64, false, {bulk64}), 0x0110},
        {"high speed bulk", info(64, false, {bulk512}), 0x0200},
        {"1024-byte bulk", info(64, false, {bulk1024}), 0x0300},
        {"first bulk pipe decides", info(64, false, {interrupt, bulk512, bulk64}), 0x0200},
        {"other packet size", info(64, false, {bulkOdd, bulk512}), 0},
        {"no bulk pipe", info(64, false, {interrupt}), 0},
        {"no pipes", info(64, false, {}), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(usbdesc::LinkVersion(c.info), c.version) << c.name;
}

TEST(UsbDescriptor, HubPortCountAndNames) {
    EXPECT_EQ(usbdesc::HubPortCount(usbdesc::EncodeHubInformation(4, false)), 4);
    EXPECT_EQ(usbdesc::HubPortCount(usbdesc::EncodeHubInformation(15, true)), 15);
    Bytes other = usbdesc::EncodeHubInformation(4, false);
    other[usbnode::kDescriptorType] = 0x02;
    EXPECT_EQ(usbdesc::HubPortCount(other), 0);
    EXPECT_EQ(usbdesc::HubPortCount(ByteView(usbdesc::EncodeHubInformation(4, false)).first(6)), 0);

    // Name answers: the size asked first, the name when it fits.
    Bytes small(usbname::kDriverKeySize);
    std::uint32_t returned = 0;
    ASSERT_TRUE(usbdesc::EncodeNameAnswer("1-2.3", usbname::kDriverKeyActualLength,
                                          usbname::kDriverKeyName, small, returned));
    const std::uint32_t needed = Le<std::uint32_t>(ByteView(small), 4);
    EXPECT_EQ(needed, 8u + 2 * 6);
    EXPECT_LE(returned, small.size());
    Bytes big(needed);
    ASSERT_TRUE(usbdesc::EncodeNameAnswer("1-2.3", usbname::kDriverKeyActualLength,
                                          usbname::kDriverKeyName, big, returned));
    EXPECT_EQ(usbdesc::DecodeName(ByteView(big).first(returned), usbname::kDriverKeyName), "1-2.3");
    // A name without its NUL ends where the answer ends.
    EXPECT_EQ(usbdesc::DecodeName(Bytes{0, 0, 0, 0, 'A', 0, 'B'}, 4), "A");
}

} // namespace
} // namespace tvd
