#include "shell/controls/boxlayout.h"

#include <algorithm>

#include "shell/controls/buttonlook.h"

namespace tvd {

namespace {
constexpr int kLeft = 13, kRight = 14, kTop = 12, kBottom = 15;
}

std::optional<InfoBoxLayout> LayOutInfoBox(const Rect& box) {
    if (box.width < kInfoBoxMinSize || box.height < kInfoBoxMinSize) return std::nullopt;
    int x = box.left, y = box.top;
    int iw = box.width - (kLeft + kRight);
    int ih = box.height - (kTop + kBottom);
    InfoBoxLayout l{};
    l.pieces = {{
        {"IMG_INFOBOX_UL", {x, y, kLeft, kTop}},
        {"IMG_INFOBOX_UR", {x + kLeft + iw, y, kRight, kTop}},
        {"IMG_INFOBOX_DL", {x, y + kTop + ih, kLeft, kBottom}},
        {"IMG_INFOBOX_DR", {x + kLeft + iw, y + kTop + ih, kRight, kBottom}},
        {"IMG_INFOBOX_UM", {x + kLeft, y, iw, kTop}},
        {"IMG_INFOBOX_DM", {x + kLeft, y + kTop + ih, iw, kBottom}},
        {"IMG_INFOBOX_LM", {x, y + kTop, kLeft, ih}},
        {"IMG_INFOBOX_RM", {x + kLeft + iw, y + kTop, kRight, ih}},
    }};
    l.inner = {x + kLeft, y + kTop, iw, ih};
    return l;
}

TitledBoxLayout LayOutTitledBox(const Rect& box) {
    int x = box.left, y = box.top;
    return {{x + 25, y + 16, 30, 30},
            {x + 71, y + 20},
            {x + 25, y + 60, std::max(box.width - 50, 0), 2}};
}

LinkBoxLayout LayOutLinkBox(const Rect& box) {
    int x = box.left, y = box.top;
    return {{x + 30, y + 20, 174, 40},
            {x + 30, y + 60, 174, 100},
            {x + 53, y + 168, 130, kStdButtonHeight}};
}

WarningLineLayout LayOutWarningLine(Point at, int totalWidth) {
    return {{at.x, at.y, 27, 25}, {at.x + 31, at.y, std::max(totalWidth - 35, 0), 25}};
}

} // namespace tvd
