#include "smart/smartattrsutil.h"

#include <algorithm>

namespace tvd {

namespace {

constexpr std::size_t kFirstEntry = 2;
constexpr std::size_t kEntrySize = 12;
constexpr std::size_t kChecksumOffset = 511;

int Count(const SmartAttributeList& list) {
    return std::clamp<int>(list.count, 0, std::clamp<int>(list.capacity, 0, kSmartMaxAttributes));
}

} // namespace

int FindSmartAttribute(const SmartAttributeList& list, std::uint8_t id) {
    if (id == 0) return -1;
    const int count = Count(list);
    for (int i = 0; i < count; ++i)
        if (list.entries[i].id == id) return i;
    return -1;
}

SmartAttribute* FindOrAppendSmartAttribute(SmartAttributeList& list, std::uint8_t id) {
    if (id == 0) return nullptr;
    const int index = FindSmartAttribute(list, id);
    if (index >= 0) return &list.entries[index];
    const int count = Count(list);
    if (count >= std::clamp<int>(list.capacity, 0, kSmartMaxAttributes)) return nullptr;
    SmartAttribute& entry = list.entries[count];
    entry = SmartAttribute{};
    entry.id = id;
    list.count = count + 1;
    return &entry;
}

bool SmartPageUsable(ByteView page) {
    if (page.size() != kSmartPageSize) return false;
    if (std::all_of(page.begin(), page.end(), [](std::uint8_t b) { return b == 0; })) return false;
    if (page[kChecksumOffset] == 0) return true;
    std::uint8_t sum = 0;
    for (std::uint8_t b : page)
        sum = static_cast<std::uint8_t>(sum + b);
    return sum == 0;
}

bool ParseAtaSmartData(ByteView page, SmartAttributeList& list) {
    if (!SmartPageUsable(page)) return false;
    for (int i = 0; i < kSmartMaxAttributes; ++i) {
        const ByteView entry = page.subspan(kFirstEntry + kEntrySize * i, kEntrySize);
        if (entry[0] == 0) break;
        SmartAttribute* attribute = FindOrAppendSmartAttribute(list, entry[0]);
        if (!attribute) continue;
        attribute->current = entry[3];
        attribute->worst = entry[4];
        // Six raw bytes and the reserved byte after them, as bits 0-55.
        std::uint64_t raw = 0;
        for (int b = 6; b >= 0; --b)
            raw = (raw << 8) | entry[5 + b];
        attribute->raw = raw;
    }
    return true;
}

bool ParseAtaSmartThresholds(ByteView page, SmartAttributeList& list) {
    if (!SmartPageUsable(page)) return false;
    for (int i = 0; i < kSmartMaxAttributes; ++i) {
        const ByteView entry = page.subspan(kFirstEntry + kEntrySize * i, kEntrySize);
        if (entry[0] == 0) break;
        const int index = FindSmartAttribute(list, entry[0]);
        if (index >= 0) list.entries[index].threshold = entry[1];
    }
    return true;
}

std::size_t SmartAttributeIds(const SmartAttributeList& list,
                              std::uint8_t (&ids)[kSmartMaxAttributes]) {
    const int count = Count(list);
    for (int i = 0; i < count; ++i)
        ids[i] = list.entries[i].id;
    return static_cast<std::size_t>(count);
}

std::uint8_t RateSmartAttribute(const SmartAttribute& attribute) {
    if (attribute.threshold == 0) return smartstatus::kUnknown;
    if (attribute.current < attribute.threshold) return smartstatus::kBelowThreshold;
    if (attribute.current == attribute.threshold) return smartstatus::kAtThreshold;
    return smartstatus::kGood;
}

std::uint8_t WorstSmartStatus(const SmartAttributeList& list) {
    std::uint8_t worst = smartstatus::kUnknown;
    const int count = Count(list);
    for (int i = 0; i < count; ++i)
        worst = std::max(worst, list.entries[i].status);
    return worst;
}

} // namespace tvd
