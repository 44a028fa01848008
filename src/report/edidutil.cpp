#include "report/edidutil.h"

#include <algorithm>

namespace tvd {

namespace {

constexpr std::uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr std::size_t kDescriptors = 54, kDescriptorSize = 18, kDescriptorCount = 4;
constexpr std::size_t kTextOffset = 5, kTextSize = 13;

// A descriptor text: up to a line feed, trailing blanks cut, non-printable bytes as '?'.
std::string DescriptorText(ByteView block, std::size_t at) {
    std::string text;
    for (std::size_t i = 0; i < kTextSize; ++i) {
        const std::uint8_t c = block[at + kTextOffset + i];
        if (c == 0x0A) break;
        text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

} // namespace

std::optional<EdidIdentity> DecodeEdid(ByteView edid) {
    if (edid.size() < kEdidBlockSize || !std::equal(kHeader, kHeader + 8, edid.begin()))
        return std::nullopt;
    const ByteView block = edid.first(kEdidBlockSize);
    EdidIdentity id;
    const std::uint16_t maker = Be<std::uint16_t>(block, 8);
    for (int shift = 10; shift >= 0; shift -= 5) {
        const unsigned letter = (maker >> shift) & 0x1F;
        id.makerId += letter >= 1 && letter <= 26 ? static_cast<char>('A' + letter - 1) : '?';
    }
    id.productCode = Le<std::uint16_t>(block, 10);
    id.serialNumber = Le<std::uint32_t>(block, 12);
    id.week = block[16];
    id.year = static_cast<std::uint16_t>(1990 + block[17]);
    id.version = block[18];
    id.revision = block[19];
    id.extensions = block[126];
    std::uint8_t sum = 0;
    for (std::uint8_t b : block)
        sum = static_cast<std::uint8_t>(sum + b);
    id.checksumOk = sum == 0;
    for (std::size_t n = 0; n < kDescriptorCount; ++n) {
        const std::size_t at = kDescriptors + n * kDescriptorSize;
        // A display descriptor has a zero pixel clock and a zero byte before its tag.
        if (block[at] != 0 || block[at + 1] != 0 || block[at + 2] != 0) continue;
        const std::uint8_t tag = block[at + 3];
        if (tag == 0xFC && !id.name) id.name = DescriptorText(block, at);
        if (tag == 0xFF && !id.serialText) id.serialText = DescriptorText(block, at);
    }
    return id;
}

} // namespace tvd
