// Builds SMBIOS structure tables for tests: typed structures with their string sets, raw bytes
// for malformed ones, and the blob form the decoders read.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/smbiosutil.h"

namespace tvd::test {

// The formatted part of one structure; offsets count from the structure's start (header
// included), as SMBIOS documents them.
class SmbiosFields {
public:
    explicit SmbiosFields(std::uint8_t length) : bytes_(length) {}
    SmbiosFields& Byte(std::size_t off, std::uint8_t v) {
        StoreLe(MutableByteView(bytes_), off, v);
        return *this;
    }
    SmbiosFields& Word(std::size_t off, std::uint16_t v) {
        StoreLe(MutableByteView(bytes_), off, v);
        return *this;
    }
    SmbiosFields& Dword(std::size_t off, std::uint32_t v) {
        StoreLe(MutableByteView(bytes_), off, v);
        return *this;
    }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

class SmbiosTableBuilder {
public:
    // Appends a structure; returns its offset in the blob (the table starts at 8).
    std::int64_t Add(std::uint8_t type, std::uint16_t handle, const SmbiosFields& fields,
                     const std::vector<std::string>& strings = {}) {
        const auto offset = static_cast<std::int64_t>(kSmbiosHeaderSize + table_.size());
        std::vector<std::uint8_t> s = fields.Bytes();
        s[0] = type;
        s[1] = static_cast<std::uint8_t>(s.size());
        StoreLe<std::uint16_t>(s, 2, handle);
        for (const auto& text : strings) {
            s.insert(s.end(), text.begin(), text.end());
            s.push_back(0);
        }
        if (strings.empty()) s.push_back(0);
        s.push_back(0);
        table_.insert(table_.end(), s.begin(), s.end());
        return offset;
    }
    std::int64_t AddRaw(const std::vector<std::uint8_t>& bytes) {
        const auto offset = static_cast<std::int64_t>(kSmbiosHeaderSize + table_.size());
        table_.insert(table_.end(), bytes.begin(), bytes.end());
        return offset;
    }
    std::int64_t AddEnd(std::uint16_t handle = 0xFEFF) { return Add(127, handle, SmbiosFields(4)); }

    const std::vector<std::uint8_t>& Table() const { return table_; }
    std::vector<std::uint8_t> Blob(std::uint8_t major = 3, std::uint8_t minor = 2) const {
        return MakeSmbiosBlob(major, minor, table_);
    }

private:
    std::vector<std::uint8_t> table_;
};

// Typical structures, with the lengths of SMBIOS 2.7 to 3.2 firmware.
inline SmbiosFields BiosFields() {
    return SmbiosFields(0x18).Byte(0x04, 1).Byte(0x05, 2).Byte(0x08, 3).Byte(0x09, 0x3F);
}
inline SmbiosFields SystemFields() {
    return SmbiosFields(0x1B).Byte(0x04, 1).Byte(0x05, 2).Byte(0x06, 3).Byte(0x07, 4);
}
inline SmbiosFields BoardFields(std::uint8_t boardType) {
    return SmbiosFields(0x0F).Byte(0x04, 1).Byte(0x05, 2).Byte(0x06, 3).Byte(0x0D, boardType);
}
inline SmbiosFields ChassisFields(std::uint8_t chassisType) {
    return SmbiosFields(0x15).Byte(0x04, 1).Byte(0x05, chassisType).Byte(0x14, 0);
}
inline SmbiosFields ProcessorFields() {
    return SmbiosFields(0x2A).Byte(0x04, 1).Byte(0x05, 3).Byte(0x07, 2).Byte(0x10, 3);
}
// A memory device: size word (0x0C), extended size (0x1C), device and bank locators (strings 1
// and 2), memory type (0x12). `length` below 0x20 leaves the extended size out.
inline SmbiosFields MemoryFields(std::uint16_t size, std::uint32_t extended = 0,
                                 std::uint8_t memoryType = 26, std::uint8_t length = 0x22) {
    SmbiosFields f(length);
    f.Word(0x04, 0x1000).Word(0x06, 0xFFFE).Word(0x08, 64).Word(0x0A, 64).Word(0x0C, size);
    f.Byte(0x0E, 9).Byte(0x10, 1).Byte(0x11, 2).Byte(0x12, memoryType);
    if (length >= 0x20) f.Dword(0x1C, extended);
    return f;
}

} // namespace tvd::test
