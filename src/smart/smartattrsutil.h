// The attribute list every SMART object carries (ATA attributes, or NVMe health-log fields as
// numbered pseudo attributes), the parse of the ATA SMART data and threshold pages into it, and
// the rating of attributes against their thresholds.
#pragma once
#include <cstdint>

#include "foundation/bytesutil.h"

namespace tvd {

inline constexpr int kSmartMaxAttributes = 30;
inline constexpr int kSmartAtaCapacity = 30;
inline constexpr int kSmartNvmeCapacity = 15;
inline constexpr std::size_t kSmartPageSize = 512;

// Attribute rating (entry status) and object status share these values; 0 means "not rated" for
// an entry and "unknown" for an object.
namespace smartstatus {
inline constexpr std::uint8_t kUnknown = 0;
inline constexpr std::uint8_t kGood = 1; // above threshold
inline constexpr std::uint8_t kAtThreshold = 2;
inline constexpr std::uint8_t kBelowThreshold = 3;
} // namespace smartstatus

struct SmartAttribute {
    std::uint8_t id = 0; // 1-255; 0 never stored
    std::uint8_t threshold = 0;
    std::uint8_t current = 0;
    std::uint8_t worst = 0;
    std::uint64_t raw = 0;
    std::uint8_t status = smartstatus::kUnknown;
};

struct SmartAttributeList {
    std::int32_t capacity = kSmartAtaCapacity; // at most kSmartMaxAttributes
    std::int32_t count = 0;
    SmartAttribute entries[kSmartMaxAttributes]{};
};

// Index of `id` in the list, or -1.
int FindSmartAttribute(const SmartAttributeList& list, std::uint8_t id);
// The entry of `id`, appended when missing; null for id 0 or when the list is full.
SmartAttribute* FindOrAppendSmartAttribute(SmartAttributeList& list, std::uint8_t id);

// A SMART data or threshold page is usable when it is 512 bytes, not all zero, and its checksum
// byte (511) either is 0 (the drive keeps none) or makes the page sum to 0 modulo 256.
bool SmartPageUsable(ByteView page);

// Updates the list from a SMART data page: current, worst and the 56-bit raw value of each of
// the first 30 entries up to the first id 0. False (list unchanged) for an unusable page.
bool ParseAtaSmartData(ByteView page, SmartAttributeList& list);
// Stores the threshold of each listed id; ids not in the list are ignored.
bool ParseAtaSmartThresholds(ByteView page, SmartAttributeList& list);

// The ids of the list in stored order (the order the drive reported them).
std::size_t SmartAttributeIds(const SmartAttributeList& list,
                              std::uint8_t (&ids)[kSmartMaxAttributes]);

// Entry rating against a non-zero threshold: below, at or above.
std::uint8_t RateSmartAttribute(const SmartAttribute& attribute);
// The worst rating of the list: below, else at, else good, else unknown.
std::uint8_t WorstSmartStatus(const SmartAttributeList& list);

} // namespace tvd
