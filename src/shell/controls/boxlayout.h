// The composite components the pages assemble: the nine-piece info box and what sits on it.
#pragma once
#include <array>
#include <optional>

#include "shell/controls/controltypes.h"

namespace tvd {

struct PicturePlacement {
    const char* picture;
    Rect rect; // stretched to this rectangle; empty draws nothing
};

inline constexpr Rgb kInfoBoxInner = 0xF0ECEC;
inline constexpr int kInfoBoxMinSize = 27; // the corners alone

struct InfoBoxLayout {
    std::array<PicturePlacement, 8> pieces; // corners first, then the stretched edges
    Rect inner;
};
// Nothing to draw below the corners' size (the edges would be negative).
std::optional<InfoBoxLayout> LayOutInfoBox(const Rect& box);

struct TitledBoxLayout {
    Rect icon;  // 30 x 30 box, the picture centred in it
    Point name; // label, automatic size
    Rect line;  // 2 pixels thick; width 0 when the box is too narrow
};
inline constexpr Rgb kTitledBoxLine = 0xDDDDDD;
inline constexpr Rgb kTitleBlue = 0x0071B5;
TitledBoxLayout LayOutTitledBox(const Rect& box);

struct LinkBoxLayout {
    Rect title;
    Rect text;
    Rect button;
};
LinkBoxLayout LayOutLinkBox(const Rect& box);

// Option item: the button, a title beside it and a description below (the page places them).
inline constexpr int kOptionButtonSize = 18;
inline constexpr int kOptionTitlePoints = 10;
inline constexpr int kDescriptionPx = 13;
// Section titles of the pages: 11 pt bold.
inline constexpr int kSectionTitlePoints = 11;
// Link box: title 13 px bold blue, text 13 px black, a std button 130 wide.
inline constexpr int kLinkBoxTextPx = 13;
// Titled box header: 12 pt blue.
inline constexpr int kTitledBoxNamePoints = 12;

inline constexpr Rgb kWarningText = 0xFF0000;
inline constexpr int kWarningTextPx = 13;
struct WarningLineLayout {
    Rect picture;
    Rect label;
};
WarningLineLayout LayOutWarningLine(Point at, int totalWidth);

} // namespace tvd
