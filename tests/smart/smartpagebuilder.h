// Builds ATA SMART READ DATA / READ THRESHOLDS pages for the SMART tests: entries written in
// order from byte 2, and the checksum byte set the way drives set it.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "foundation/bytesutil.h"

namespace tvd::test {

class SmartPageBuilder {
public:
    // A data-page entry: id, flags, current, worst, 56-bit raw (6 raw bytes + reserved byte).
    SmartPageBuilder& Attr(std::uint8_t id, std::uint8_t current, std::uint8_t worst,
                           std::uint64_t raw) {
        std::uint8_t* e = Next();
        e[0] = id;
        e[1] = 0x32; // flags; not kept
        e[3] = current;
        e[4] = worst;
        for (int b = 0; b < 7; ++b)
            e[5 + b] = static_cast<std::uint8_t>(raw >> (8 * b));
        return *this;
    }
    // A threshold-page entry.
    SmartPageBuilder& Threshold(std::uint8_t id, std::uint8_t threshold) {
        std::uint8_t* e = Next();
        e[0] = id;
        e[1] = threshold;
        return *this;
    }
    SmartPageBuilder& Byte(std::size_t offset, std::uint8_t v) {
        page_[offset] = v;
        return *this;
    }
    // Revision word and checksum; `checksum` false leaves byte 511 as 0 (a drive keeping none).
    std::vector<std::uint8_t> Build(bool checksum = true) const {
        std::vector<std::uint8_t> page(page_.begin(), page_.end());
        page[0] = 0x10;
        page[511] = 0;
        if (checksum) {
            std::uint8_t sum = 0;
            for (std::uint8_t b : page)
                sum = static_cast<std::uint8_t>(sum + b);
            page[511] = static_cast<std::uint8_t>(0x100 - sum);
        }
        return page;
    }

private:
    std::uint8_t* Next() {
        std::uint8_t* e = &page_[2 + 12 * next_];
        next_ = next_ < 29 ? next_ + 1 : next_;
        return e;
    }
    std::array<std::uint8_t, 512> page_{};
    int next_ = 0;
};

} // namespace tvd::test
