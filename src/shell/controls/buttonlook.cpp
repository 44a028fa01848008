#include "shell/controls/buttonlook.h"

namespace tvd {

void ButtonState::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (!enabled) pressed_ = false;
}

void ButtonState::LeftDown() {
    if (enabled_) pressed_ = true;
}

bool ButtonState::LeftUp() {
    bool wasPressed = pressed_;
    pressed_ = false;
    return enabled_ && hot_ && wasPressed;
}

ButtonLook ButtonState::Look() const {
    if (!enabled_) return ButtonLook::kDisabled;
    if (pressed_ && hasPressedLook_) return ButtonLook::kPressed;
    return hot_ ? ButtonLook::kHot : ButtonLook::kNormal;
}

CursorKind ButtonCursor(bool enabled, bool hasClickHandler, CursorKind own) {
    return enabled && hasClickHandler ? own : CursorKind::kArrow;
}

StdButtonSlices StdButtonLookSlices(ButtonLook look) {
    switch (look) {
    case ButtonLook::kPressed:
        return {"IMG_BTN_LEFT_BLUE", "IMG_BTN_MID_BLUE", "IMG_BTN_RIGHT_BLUE", kBlack};
    case ButtonLook::kDisabled:
        return {"IMG_BTN_LEFT_GRAY", "IMG_BTN_MID_GRAY", "IMG_BTN_RIGHT_GRAY", 0x9F9F9F};
    case ButtonLook::kNormal:
    case ButtonLook::kHot:
        break;
    }
    return {"IMG_BTN_LEFT_WHITE", "IMG_BTN_MID_WHITE", "IMG_BTN_RIGHT_WHITE", kBlack};
}

std::optional<StdButtonLayout> LayOutStdButton(int width) {
    if (width < 2 * kStdButtonSlice) return std::nullopt;
    int h = kStdButtonHeight;
    return StdButtonLayout{{0, 0, kStdButtonSlice, h},
                           {kStdButtonSlice, 0, width - 2 * kStdButtonSlice, h},
                           {width - kStdButtonSlice, 0, kStdButtonSlice, h}};
}

const std::string& ImageButtonPicture(const ImageButtonPictures& pictures, ButtonLook look) {
    const std::string* name = &pictures.normal;
    switch (look) {
    case ButtonLook::kDisabled:
        name = &pictures.disabled;
        break;
    case ButtonLook::kHot:
        name = &pictures.hot;
        break;
    case ButtonLook::kPressed:
        name = &pictures.pressed;
        break;
    case ButtonLook::kNormal:
        break;
    }
    return name->empty() ? pictures.normal : *name;
}

ImageButtonPictures OptionButtonPictures() {
    return {"IMG_OPT_WHITE", "IMG_OPT_BLUE", "", ""};
}

Rgb CaptionColour(const CaptionLookColours& colours, ButtonLook look) {
    switch (look) {
    case ButtonLook::kDisabled:
        return colours.disabled;
    case ButtonLook::kHot:
    case ButtonLook::kPressed:
        return colours.hot;
    case ButtonLook::kNormal:
        break;
    }
    return colours.normal;
}

MenuButtonLook MenuButtonLookFor(bool selected) {
    return selected ? MenuButtonLook{true, kWhite, true} : MenuButtonLook{false, kBlack, false};
}

Rect CentredIn(const Rect& box, int width, int height) {
    return {box.left + (box.width - width) / 2, box.top + (box.height - height) / 2, width, height};
}

} // namespace tvd
