// Builds IDENTIFY CONTROLLER and IDENTIFY NAMESPACE structures for the NVMe tests: a plausible
// controller by default, with setters for the text fields, single values and raw bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"
#include "storage/commandtypes.h"

namespace tvd::test {

class NvmeControllerBuilder {
public:
    NvmeControllerBuilder() {
        Le16(0, 0x144D); // VID
        Model("TEST NVME CONTROLLER");
        Serial("S0NVME0123");
        Firmware("1.0");
        Le32(80, 0x00010400); // 1.4
        Le32(516, 1);         // one namespace
    }
    // Space padded to the field, as controllers do; `pad` 0 leaves NULs instead.
    NvmeControllerBuilder& Model(const std::string& s, char pad = ' ') {
        return Text(24, 40, s, pad);
    }
    NvmeControllerBuilder& Serial(const std::string& s, char pad = ' ') {
        return Text(4, 20, s, pad);
    }
    NvmeControllerBuilder& Firmware(const std::string& s, char pad = ' ') {
        return Text(64, 8, s, pad);
    }
    NvmeControllerBuilder& Oacs(std::uint16_t v) { return Le16(256, v); }
    NvmeControllerBuilder& Sanicap(std::uint32_t v) { return Le32(328, v); }

    NvmeControllerBuilder& Text(std::size_t off, std::size_t len, const std::string& s, char pad) {
        for (std::size_t i = 0; i < len; ++i)
            data_[off + i] = static_cast<std::uint8_t>(i < s.size() ? s[i] : pad);
        return *this;
    }
    NvmeControllerBuilder& Byte(std::size_t off, std::uint8_t v) {
        data_[off] = v;
        return *this;
    }
    NvmeControllerBuilder& Le16(std::size_t off, std::uint16_t v) {
        StoreLe(MutableByteView(data_), off, v);
        return *this;
    }
    NvmeControllerBuilder& Le32(std::size_t off, std::uint32_t v) {
        StoreLe(MutableByteView(data_), off, v);
        return *this;
    }
    const std::vector<std::uint8_t>& Bytes() const { return data_; }

private:
    std::vector<std::uint8_t> data_ = std::vector<std::uint8_t>(kNvmeDataSize, 0);
};

class NvmeNamespaceBuilder {
public:
    NvmeNamespaceBuilder() {
        Le64(0, 1000000).Le64(8, 1000000).Le64(16, 5000);
        Format(0, 9);
    }
    // LBA format `index` (NLBAF is set separately) with 2^lbads-byte blocks and `ms` metadata
    // bytes.
    NvmeNamespaceBuilder& Format(unsigned index, unsigned lbads, std::uint16_t ms = 0) {
        StoreLe(MutableByteView(data_), 128 + 4 * index,
                std::uint32_t{ms} | (std::uint32_t{lbads & 0xFF} << 16));
        return *this;
    }
    NvmeNamespaceBuilder& Nlbaf(std::uint8_t zeroBased) {
        data_[25] = zeroBased;
        return *this;
    }
    NvmeNamespaceBuilder& Flbas(std::uint8_t v) {
        data_[26] = v;
        return *this;
    }
    NvmeNamespaceBuilder& Byte(std::size_t off, std::uint8_t v) {
        data_[off] = v;
        return *this;
    }
    NvmeNamespaceBuilder& Le64(std::size_t off, std::uint64_t v) {
        StoreLe(MutableByteView(data_), off, v);
        return *this;
    }
    const std::vector<std::uint8_t>& Bytes() const { return data_; }

private:
    std::vector<std::uint8_t> data_ = std::vector<std::uint8_t>(kNvmeDataSize, 0);
};

} // namespace tvd::test
