// The nine Windows settings suited to a system on an SSD, as one table: what Apply and Restore
// write for each, in table order, through the registry's both-view writes. Nothing found before
// is remembered: Restore writes fixed Windows defaults. Apply and Restore are "done" only when
// every write of the set succeeded in both views; each item carries its own result.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "foundation/errorcodes.h"
#include "foundation/regutil.h"

namespace tvd {

enum class TweakSet : std::uint8_t { kStandard, kAdvanced };

struct TweakItem {
    const char* name;
    const char* key; // under HKEY_LOCAL_MACHINE
    const char* value;
    bool advanced;
    std::uint32_t applyOnSsd, applyOtherwise; // REG_DWORD written by Apply
    bool deleteOnWin10;                       // Apply deletes on Windows 10 or later
    const char* applyOlderText;               // REG_SZ Apply writes before Windows 10; null: DWORD
    bool restoreDeletes;                      // Restore deletes, else writes `restore`
    std::uint32_t restore;
};

// The items in table order: the Standard set first, then the Advanced additions.
std::span<const TweakItem> TweakItems();

// One registry operation.
struct TweakWrite {
    enum Kind : std::uint8_t { kDword, kString, kDelete } kind = kDword;
    std::uint32_t number = 0;
    const char* text = nullptr;
};
TweakWrite TweakApplyWrite(const TweakItem& item, bool ssd, bool win10);
TweakWrite TweakRestoreWrite(const TweakItem& item);
// "3", "\"N\"" or "delete".
std::string TweakWriteText(const TweakWrite& w);
// Whether the set includes the item.
bool TweakInSet(const TweakItem& item, TweakSet set);

struct TweakItemResult {
    const TweakItem* item = nullptr;
    TweakWrite write;
    ErrorCode error = err::kSuccess;
};
struct TweakReport {
    std::vector<TweakItemResult> items;
    bool done = false; // every write of the set succeeded in both views
};
// Apply with the SSD test and the Windows version given (the caller evaluates them anew for
// each Apply); Restore. Both write the set's items in table order.
TweakReport ApplyTweaks(TweakSet set, bool ssd, bool win10);
TweakReport RestoreTweaks(TweakSet set);

// The option text "Include: %s." of a set.
std::string TweakIncludeText(TweakSet set, bool win10);

// A value as one registry view holds it.
struct TweakValue {
    ErrorCode error = err::kSuccess; // kFileNotFound: the key or value is absent
    std::uint32_t type = 0;
    std::uint32_t number = 0; // REG_DWORD
    std::string text;         // REG_SZ
};
TweakValue ReadTweakValue(const TweakItem& item, RegView view);
// "3", "\"N\"", "absent", or the error.
std::string TweakValueText(const TweakValue& v);

} // namespace tvd
