// Builds the SMART pages simulated drives answer with, as the hexadecimal drive-file keys
// ([Ata] SmartData / SmartThresholds, [Nvme] Log.02).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "smartpagebuilder.h"

namespace tvd::test {

struct SmartAttr {
    std::uint8_t id;
    std::uint8_t current;
    std::uint8_t worst;
    std::uint8_t threshold;
    std::uint64_t raw; // 56 bits: six raw bytes and the reserved byte after them
};

inline std::string HexText(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    for (std::uint8_t b : bytes) {
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    }
    return s;
}

// Data and threshold pages in drive order; the checksum byte makes each page sum to 0, or
// misses by one with `badChecksum`.
inline std::string AtaSmartKeys(const std::vector<SmartAttr>& attrs, bool badChecksum = false) {
    SmartPageBuilder dataBuilder, thresholdBuilder;
    for (std::size_t i = 0; i < attrs.size() && i < 30; ++i) {
        dataBuilder.Attr(attrs[i].id, attrs[i].current, attrs[i].worst, attrs[i].raw);
        thresholdBuilder.Threshold(attrs[i].id, attrs[i].threshold);
    }
    std::vector<std::uint8_t> data = dataBuilder.Build();
    const std::vector<std::uint8_t> thresholds = thresholdBuilder.Build();
    // One more than right, and never 0, which would mean "no checksum kept".
    constexpr std::size_t kChecksum = 511;
    if (badChecksum) data[kChecksum] = data[kChecksum] == 0xFF ? 2 : data[kChecksum] + 1;
    return "SmartData=" + HexText(data) + "\nSmartThresholds=" + HexText(thresholds) + "\n";
}

// The NVMe SMART / health information log fields a test sets.
struct NvmeHealth {
    std::uint8_t criticalWarning = 0;
    std::uint16_t kelvin = 0;
    std::uint8_t spare = 100, spareThreshold = 10, percentUsed = 0;
    std::uint64_t unitsRead = 0, unitsWritten = 0, powerCycles = 0, powerOnHours = 0;
    std::uint64_t unsafeShutdowns = 0, mediaErrors = 0;
};

inline std::string NvmeHealthKey(const NvmeHealth& h) {
    std::vector<std::uint8_t> log(512, 0);
    const auto put = [&](std::size_t at, std::uint64_t v, int bytes) {
        for (int b = 0; b < bytes; ++b)
            log[at + b] = static_cast<std::uint8_t>(v >> (8 * b));
    };
    put(0, h.criticalWarning, 1);
    put(1, h.kelvin, 2);
    put(3, h.spare, 1);
    put(4, h.spareThreshold, 1);
    put(5, h.percentUsed, 1);
    put(32, h.unitsRead, 8);
    put(48, h.unitsWritten, 8);
    put(112, h.powerCycles, 8);
    put(128, h.powerOnHours, 8);
    put(144, h.unsafeShutdowns, 8);
    put(160, h.mediaErrors, 8);
    return "Log.02=" + HexText(log) + "\n";
}

} // namespace tvd::test
