// TclComboBoxBasic's item list and selection rules, and the size of its popup.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shell/controls/controltypes.h"

namespace tvd {

inline constexpr int kComboMaxVisibleBasic = 8;
inline constexpr int kComboMaxVisibleMain = 32;

// Entries carry a full 64-bit value, wide enough for a pointer on every target.
class ComboBoxModel {
public:
    struct Item {
        std::u16string text;
        std::uint64_t data = 0;
    };
    static constexpr int kNone = -1;

    // The first item becomes selected when nothing is.
    void Add(std::u16string text, std::uint64_t data);
    // Removes the first item holding `data`. The selection stays on the same item when another
    // one goes; when the selected one goes, the first remaining item is selected. True when the
    // selection now names another item (or none).
    bool RemoveByData(std::uint64_t data);
    void Clear();
    // Out of range selects nothing and answers false.
    bool Select(int index);

    int Selected() const { return selected_; }
    std::uint64_t SelectedData() const; // 0 when none
    std::u16string SelectedText() const;
    int Count() const { return static_cast<int>(items_.size()); }
    int IndexOfData(std::uint64_t data) const; // kNone when absent
    const std::vector<Item>& Items() const { return items_; }

private:
    std::vector<Item> items_;
    int selected_ = kNone;
};

// The popup opens below the control, overlapping its last row of pixels, as wide as the control
// and min(count, maxVisible) rows high plus 4. Nothing opens for an empty list.
std::optional<Rect> ComboPopupRect(const Rect& controlOnScreen, int itemCount, int maxVisible,
                                   int itemHeight);

// Row of the popup's list under a client y (the list starts 2 pixels in), or kNone.
int ComboPopupRowAt(int y, int itemHeight, int topIndex, int itemCount, int visibleRows);

// First row shown, kept so the visible rows stay filled.
int ClampComboTopIndex(int topIndex, int itemCount, int visibleRows);

// What closes the popup. Losing the mouse capture closes it too: the popup would otherwise stay
// on top with nothing routing the mouse to it.
enum class PopupEvent { kPressInside, kPressOutside, kCaptureLost, kItemChosen, kEscape };
bool PopupClosesOn(PopupEvent event);

// TclMainComboBox's look.
inline constexpr int kMainComboHeight = 34;
inline constexpr Rgb kMainComboBorder = 0x9FA0A0;
inline constexpr Rgb kMainComboText = 0x0071B5;
inline constexpr int kMainComboTextPx = 17;
// The drop-down picture, 16 x 16 at top + 9, 4 pixels from the right edge.
Rect ComboDropDownRect(const Rect& control);
// The caption: left + 4, width - 8, full height (vertically centred text).
Rect ComboCaptionRect(const Rect& control);

} // namespace tvd
