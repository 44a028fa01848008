// EDID base blocks built for the tests: the fields the report reads, a valid checksum unless
// asked otherwise.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tvd::test {

struct EdidSpec {
    std::string maker = "RHT";
    std::uint16_t product = 0x1234;
    std::uint32_t serial = 0;
    std::uint8_t week = 42, yearSince1990 = 24;
    std::string name;       // FCh descriptor when not empty
    std::string serialText; // FFh descriptor when not empty
    bool badChecksum = false;
};

inline void EdidDescriptor(std::vector<std::uint8_t>& b, std::size_t at, std::uint8_t tag,
                           const std::string& text) {
    b[at + 3] = tag;
    std::string t = text.substr(0, 13);
    if (t.size() < 13) t += '\n';
    t.resize(13, ' ');
    for (std::size_t i = 0; i < 13; ++i)
        b[at + 5 + i] = static_cast<std::uint8_t>(t[i]);
}

inline std::vector<std::uint8_t> BuildEdid(const EdidSpec& s) {
    std::vector<std::uint8_t> b(128, 0);
    const std::uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::copy(header, header + 8, b.begin());
    unsigned maker = 0;
    for (char c : s.maker.substr(0, 3))
        maker = (maker << 5) | static_cast<unsigned>((c - 'A' + 1) & 0x1F);
    b[8] = static_cast<std::uint8_t>(maker >> 8);
    b[9] = static_cast<std::uint8_t>(maker);
    b[10] = static_cast<std::uint8_t>(s.product);
    b[11] = static_cast<std::uint8_t>(s.product >> 8);
    for (int i = 0; i < 4; ++i)
        b[12 + i] = static_cast<std::uint8_t>(s.serial >> (8 * i));
    b[16] = s.week;
    b[17] = s.yearSince1990;
    b[18] = 1;
    b[19] = 4;
    std::size_t at = 54;
    // A detailed timing first, as real monitors have it; descriptors follow.
    b[at] = 0x01;
    b[at + 1] = 0x1D;
    at += 18;
    if (!s.name.empty()) EdidDescriptor(b, at, 0xFC, s.name), at += 18;
    if (!s.serialText.empty()) EdidDescriptor(b, at, 0xFF, s.serialText), at += 18;
    for (; at < 126; at += 18)
        EdidDescriptor(b, at, 0x10, "");
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 127; ++i)
        sum = static_cast<std::uint8_t>(sum + b[i]);
    b[127] = static_cast<std::uint8_t>(0x100 - sum);
    if (s.badChecksum) b[127] ^= 0x55;
    return b;
}

} // namespace tvd::test
