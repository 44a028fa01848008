// Builds IDENTIFY DEVICE pages for the ATA tests: a valid ATA-8 SATA drive by default, with
// setters for the byte-swapped text fields and single words, and a checksum fixer.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"
#include "storage/commandtypes.h"

namespace tvd::test {

class AtaIdentityBuilder {
public:
    AtaIdentityBuilder() {
        Model("TEST DRIVE MODEL 1000");
        Serial("SN0123456789");
        Firmware("FW1.0");
        Set(80, 0x01F0); // ATA-4 to ATA8-ACS
    }

    // Pads with spaces to the field's length, as drives do.
    AtaIdentityBuilder& Model(const std::string& s) { return Text(27, 20, s); }
    AtaIdentityBuilder& Serial(const std::string& s) { return Text(10, 10, s); }
    AtaIdentityBuilder& Firmware(const std::string& s) { return Text(23, 4, s); }

    // Characters go high byte first within each word; the rest of the field becomes spaces.
    AtaIdentityBuilder& Text(std::size_t firstWord, std::size_t words, const std::string& s) {
        for (std::size_t i = 0; i < 2 * words; ++i) {
            const std::uint8_t c = i < s.size() ? static_cast<std::uint8_t>(s[i]) : ' ';
            page_[2 * firstWord + (i ^ 1)] = c;
        }
        return *this;
    }
    AtaIdentityBuilder& Byte(std::size_t offset, std::uint8_t v) {
        page_[offset] = v;
        return *this;
    }
    AtaIdentityBuilder& Set(std::size_t word, std::uint16_t v) {
        StoreLe<std::uint16_t>(page_, 2 * word, v);
        return *this;
    }
    AtaIdentityBuilder& Set32(std::size_t word, std::uint32_t v) {
        StoreLe<std::uint32_t>(page_, 2 * word, v);
        return *this;
    }
    AtaIdentityBuilder& Set64(std::size_t word, std::uint64_t v) {
        StoreLe<std::uint64_t>(page_, 2 * word, v);
        return *this;
    }
    // Word 255: signature 0xA5 and the byte that makes the page sum to 0.
    AtaIdentityBuilder& FixChecksum() {
        page_[510] = 0xA5;
        page_[511] = 0;
        std::uint8_t sum = 0;
        for (std::uint8_t b : page_)
            sum = static_cast<std::uint8_t>(sum + b);
        page_[511] = static_cast<std::uint8_t>(0x100 - sum);
        return *this;
    }

    const std::array<std::uint8_t, kAtaIdentifySize>& Page() const { return page_; }
    ByteView View() const { return page_; }
    std::vector<std::uint8_t> Vector() const { return {page_.begin(), page_.end()}; }

private:
    std::array<std::uint8_t, kAtaIdentifySize> page_{};
};

} // namespace tvd::test
