#include "shell/controls/picturetable.h"

#include <array>

namespace tvd {

namespace {
// Edges of the info box and the middle of the std button are one pixel long: they are
// stretched.
constexpr std::array<PictureSpec, 58> kPictures = {{
    {"IMG_MENU_SSD_N", 30, 30},
    {"IMG_MENU_SSD_S", 30, 30},
    {"IMG_MENU_DIAG_N", 30, 30},
    {"IMG_MENU_DIAG_S", 30, 30},
    {"IMG_MENU_UTIL_N", 30, 30},
    {"IMG_MENU_UTIL_S", 30, 30},
    {"IMG_MENU_OPTI_N", 30, 30},
    {"IMG_MENU_OPTI_S", 30, 30},
    {"IMG_MENU_SYS_N", 30, 30},
    {"IMG_MENU_SYS_S", 30, 30},
    {"IMG_MENU_BENCH_N", 30, 30},
    {"IMG_MENU_BENCH_S", 30, 30},
    {"IMG_MENU_CLONE_N", 30, 30},
    {"IMG_MENU_CLONE_S", 30, 30},
    {"IMG_APP_TITLE", 205, 15},
    {"IMG_BTN_MINI", 16, 16},
    {"IMG_BTN_CLOSE", 16, 16},
    {"IMG_LOGO", 197, 220},
    {"IMAGE_AD_2", 147, 631},
    {"IMG_LOADING", 520, 290},
    {"MSG_ERROR", 32, 32},
    {"MSG_WARNING", 32, 32},
    {"MSG_INFO", 32, 32},
    {"MSG_QUESTION", 32, 32},
    {"MSG_WARNING_QUESTION", 32, 32},
    {"IMG_ICON_SSD", 30, 30},
    {"IMG_ICON_HDD", 30, 30},
    {"IMG_CIRCLE_BACK_BLUE", 136, 136},
    {"IMG_CIRCLE_BACK_RED", 136, 136},
    {"IMG_CIRCLE_BACK_WHITE", 136, 136},
    {"IMG_RING_HEALTH", 116, 116},
    {"IMG_RING_RED", 126, 126},
    {"IMG_RING_GREEN", 126, 126},
    {"IMG_RING_FRONT", 110, 110},
    {"IMG_BTN_LEFT_WHITE", 6, 27},
    {"IMG_BTN_MID_WHITE", 1, 27},
    {"IMG_BTN_RIGHT_WHITE", 6, 27},
    {"IMG_BTN_LEFT_BLUE", 6, 27},
    {"IMG_BTN_MID_BLUE", 1, 27},
    {"IMG_BTN_RIGHT_BLUE", 6, 27},
    {"IMG_BTN_LEFT_GRAY", 6, 27},
    {"IMG_BTN_MID_GRAY", 1, 27},
    {"IMG_BTN_RIGHT_GRAY", 6, 27},
    {"IMG_OPT_WHITE", 18, 18},
    {"IMG_OPT_BLUE", 18, 18},
    {"IMG_COMBO_DOWN", 16, 16},
    {"IMG_INFOBOX_UL", 13, 12},
    {"IMG_INFOBOX_UM", 1, 12},
    {"IMG_INFOBOX_UR", 14, 12},
    {"IMG_INFOBOX_LM", 13, 1},
    {"IMG_INFOBOX_RM", 14, 1},
    {"IMG_INFOBOX_DL", 13, 15},
    {"IMG_INFOBOX_DM", 1, 15},
    {"IMG_INFOBOX_DR", 14, 15},
    {"IMG_CLONE_WARNING", 27, 25},
    // The uninstaller's.
    {"SETUP_ICON48", 36, 40},
    {"SETUP_BACKGROUND", 279, 77},
    {"SETUP_ARROW", 12, 10},
}};
} // namespace

std::span<const PictureSpec> ShellPictures() {
    return kPictures;
}

const PictureSpec* FindShellPicture(std::string_view name) {
    for (const auto& p : kPictures)
        if (name == p.name) return &p;
    return nullptr;
}

} // namespace tvd
