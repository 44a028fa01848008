#include "jobs/ssdregoptimizeutil.h"

#include "drive/kernelregistryutil.h"
#include "foundation/errtextutil.h"

namespace tvd {

namespace {

constexpr const char* kMemoryManagement =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management";
constexpr const char* kFileSystem = "SYSTEM\\CurrentControlSet\\Control\\FileSystem";

constexpr TweakItem kItems[] = {
    {"Prefetch",
     "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory "
     "Management\\PrefetchParameters",
     "EnablePrefetcher", false, 0, 3, false, nullptr, false, 3},
    {"Superfetch service", "SYSTEM\\CurrentControlSet\\Services\\SysMain", "Start", false, 3, 2,
     false, nullptr, false, 2},
    {"Boot defragmentation", "SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction", "Enable", false, 0,
     0, true, "N", true, 0},
    {"Automatic layout", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OptimalLayout",
     "EnableAutoLayout", false, 0, 0, true, nullptr, true, 0},
    {"Hibernation", "SYSTEM\\CurrentControlSet\\Control\\Power", "HibernateEnabled", true, 0, 1,
     false, nullptr, false, 1},
    {"8.3 names", kFileSystem, "NtfsDisable8dot3NameCreation", true, 1, 1, false, nullptr, false,
     2},
    {"NTFS memory", kFileSystem, "NtfsMemoryUsage", true, 2, 2, false, nullptr, false, 0},
    {"Page file clearing", kMemoryManagement, "ClearPageFileAtShutdown", true, 1, 1, false, nullptr,
     false, 0},
    {"System cache", kMemoryManagement, "LargeSystemCache", true, 1, 1, false, nullptr, false, 0},
};
static_assert(std::size(kItems) == 9);

ErrorCode Perform(const TweakItem& item, const TweakWrite& w) {
    switch (w.kind) {
    case TweakWrite::kDword:
        return RegWriteDwordBoth(RegRoot::kLocalMachine, item.key, item.value, w.number);
    case TweakWrite::kString:
        return RegWriteStringBoth(RegRoot::kLocalMachine, item.key, item.value, w.text);
    case TweakWrite::kDelete:
        return RegDeleteValueBoth(RegRoot::kLocalMachine, item.key, item.value);
    }
    return err::kInvalidParameter;
}

template <typename WriteOf> TweakReport Run(TweakSet set, WriteOf writeOf) {
    TweakReport report;
    report.done = true;
    for (const TweakItem& item : kItems) {
        if (!TweakInSet(item, set)) continue;
        TweakItemResult r;
        r.item = &item;
        r.write = writeOf(item);
        // Every item is attempted: one refused write does not keep the others from theirs.
        r.error = Perform(item, r.write);
        if (r.error != err::kSuccess) report.done = false;
        report.items.push_back(r);
    }
    return report;
}

} // namespace

std::span<const TweakItem> TweakItems() {
    return kItems;
}

bool TweakInSet(const TweakItem& item, TweakSet set) {
    return !item.advanced || set == TweakSet::kAdvanced;
}

TweakWrite TweakApplyWrite(const TweakItem& item, bool ssd, bool win10) {
    TweakWrite w;
    if (item.deleteOnWin10 && win10) {
        w.kind = TweakWrite::kDelete;
    } else if (item.applyOlderText) {
        w.kind = TweakWrite::kString;
        w.text = item.applyOlderText;
    } else {
        w.kind = TweakWrite::kDword;
        w.number = ssd ? item.applyOnSsd : item.applyOtherwise;
    }
    return w;
}

TweakWrite TweakRestoreWrite(const TweakItem& item) {
    TweakWrite w;
    if (item.restoreDeletes)
        w.kind = TweakWrite::kDelete;
    else
        w.number = item.restore;
    return w;
}

std::string TweakWriteText(const TweakWrite& w) {
    switch (w.kind) {
    case TweakWrite::kDword:
        return std::to_string(w.number);
    case TweakWrite::kString:
        return std::string("\"") + (w.text ? w.text : "") + "\"";
    case TweakWrite::kDelete:
        return "delete";
    }
    return "";
}

TweakReport ApplyTweaks(TweakSet set, bool ssd, bool win10) {
    return Run(set, [&](const TweakItem& item) { return TweakApplyWrite(item, ssd, win10); });
}

TweakReport RestoreTweaks(TweakSet set) {
    return Run(set, [](const TweakItem& item) { return TweakRestoreWrite(item); });
}

std::string TweakIncludeText(TweakSet set, bool win10) {
    const char* list = nullptr;
    if (set == TweakSet::kStandard)
        list =
            win10 ? "Superfetch / Prefetch" : "Superfetch / Prefetch / Automatic Defragmentation";
    else
        list = win10 ? "Hibernation / NTFS Memory Usage / Large System Cache / Superfetch / "
                       "Prefetch / System Files in Memory"
                     : "Automatic Defragmentation / Hibernation / NTFS Memory Usage / Large "
                       "System Cache / Superfetch / Prefetch / System Files in Memory";
    return std::string("Include: ") + list + ".";
}

TweakValue ReadTweakValue(const TweakItem& item, RegView view) {
    TweakValue v;
    std::vector<std::uint8_t> data;
    v.error =
        Registry().QueryValue(RegRoot::kLocalMachine, item.key, item.value, view, v.type, data);
    if (v.error != err::kSuccess) return v;
    if (v.type == regtype::kDword) {
        if (data.size() != 4) {
            v.error = err::kInvalidData;
            return v;
        }
        v.number = std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 |
                   std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24;
    } else if (v.type == regtype::kSz || v.type == regtype::kExpandSz) {
        // UTF-16LE up to its NUL; these values are ASCII, anything else shows as '?'.
        for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
            const std::uint16_t c = std::uint16_t(data[i] | data[i + 1] << 8);
            if (c == 0) break;
            v.text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
    }
    return v;
}

std::string TweakValueText(const TweakValue& v) {
    if (v.error == err::kFileNotFound) return "absent";
    if (v.error != err::kSuccess) return ErrorText(v.error);
    if (v.type == regtype::kDword) return std::to_string(v.number);
    if (v.type == regtype::kSz || v.type == regtype::kExpandSz) return "\"" + v.text + "\"";
    return "type " + std::to_string(v.type);
}

} // namespace tvd
