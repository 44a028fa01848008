#include "shell/mainlayoututil.h"

#include <deque>

#include "shell/controls/comboboxmodel.h"
#include "shell/mainpagesutil.h"

namespace tvd {

namespace {

// Names made from a page's name; the rows point into it for the life of the process.
const char* KeepName(const std::string& name) {
    static std::deque<std::string> names;
    names.push_back(name);
    return names.back().c_str();
}

std::vector<LayoutRow> BuildRows() {
    std::vector<LayoutRow> rows = {
        {"Frame", "outline", {0, 0, kMainClientWidth, kMainClientHeight}, 0xB9B9B9, nullptr, 0},
        {"DragArea", "TclFormMove", {0, 0, kMainClientWidth, kMainClientHeight}, 0, nullptr, 0},
        {"Title", "picture", {41, 30, 205, 15}, 0, "IMG_APP_TITLE", 0},
        {"MinimizeButton", "TclImageButton", {1208, 8, 16, 16}, 0, "IMG_BTN_MINI", 20017},
        {"CloseButton", "TclImageButton", {1248, 8, 16, 16}, 0, "IMG_BTN_CLOSE", 20006},
        {"Logo", "picture", {45, 488, 197, 220}, 0, "IMG_LOGO", 0},
    };
    static const char* const kSeparators[] = {"Separator1", "Separator2", "Separator3",
                                              "Separator4", "Separator5", "Separator6"};
    const auto& menu = MainMenuEntries();
    for (std::size_t i = 0; i < menu.size(); ++i) {
        rows.push_back({KeepName(std::string("Menu") + menu[i].name),
                        "TclMenuButton",
                        {35, menu[i].menuTop, kMenuButtonWidth, kMenuButtonHeight},
                        0,
                        menu[i].normalPicture,
                        menu[i].captionId});
        if (i < 6)
            rows.push_back({kSeparators[i],
                            "TclHorzLine",
                            {35, 132 + 57 * static_cast<int>(i), 218, 1},
                            0xD2D2D2,
                            nullptr,
                            0});
    }
    rows.push_back({"Divider", "rectangle", {288, 76, 2, 632}, 0xD2D2D2, nullptr, 0});
    rows.push_back({"ActiveDriveLabel", "label", {368, 35, 0, 0}, 0x000000, nullptr, 21010});
    rows.push_back({"DeviceCountLabel", "label", {0, 35, 0, 0}, 0x0071B5, nullptr, 0});
    rows.push_back(
        {"DriveSelector", "TclMainComboBox", {607, 25, 440, kMainComboHeight}, 0, nullptr, 0});
    for (const MenuEntry& e : menu)
        rows.push_back({KeepName(std::string("Frame") + e.name),
                        "TclCustomFrame",
                        {323, 76, 769, 631},
                        0,
                        nullptr,
                        0});
    rows.push_back({"Advertisement", "clPanelAd", {1102, 76, 147, 631}, 0xF4F4F4, "IMAGE_AD_2", 0});
    return rows;
}

} // namespace

const std::vector<LayoutRow>& MainLayoutRows() {
    static const std::vector<LayoutRow> rows = BuildRows();
    return rows;
}

const LayoutRow* FindLayoutRow(const char* name) {
    if (!name) return nullptr;
    for (const LayoutRow& r : MainLayoutRows())
        if (std::strcmp(r.name, name) == 0) return &r;
    return nullptr;
}

LayoutRect ScaleRect(const LayoutRect& r, int dpi) {
    const Rect s = ScaleRect(Rect{r.left, r.top, r.width, r.height}, dpi);
    return {s.left, s.top, s.width, s.height};
}

std::string AdvertisementAddress(const std::string& base, std::uint16_t langId) {
    if (base.empty()) return {};
    const char* path = "/en/creator/";
    switch (langId) {
    case 1028:
        path = "/tw/creator/";
        break;
    case 1041:
        path = "/jp/creator/";
        break;
    case 1042:
        path = "/kr/creator/";
        break;
    case 1049:
        path = "/ru/creator/";
        break;
    case 2052:
        path = "/cn/creator/";
        break;
    default:
        break;
    }
    std::string out = base;
    while (!out.empty() && out.back() == '/')
        out.pop_back();
    return out + path;
}

} // namespace tvd
