#include "shell/controls/picturetable.h"

#include <gtest/gtest.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "shell/controls/boxlayout.h"
#include "shell/controls/buttonlook.h"

namespace tvd {
namespace {

struct Row {
    int width = 0, height = 0;
    std::string source;
};

std::map<std::string, Row> ReadTable() {
    std::map<std::string, Row> rows;
    std::ifstream in(std::string(TVD_SOURCE_DIR) + "/resources/pictures/pictures.tsv");
    EXPECT_TRUE(in) << "pictures.tsv missing";
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name;
        Row r;
        fields >> name >> r.width >> r.height >> r.source;
        EXPECT_TRUE(rows.emplace(name, r).second) << "twice: " << name;
    }
    return rows;
}

TEST(PictureTable, CodeAndResourceTableAgree) {
    auto table = ReadTable();
    EXPECT_EQ(table.size(), ShellPictures().size());
    for (const auto& p : ShellPictures()) {
        auto it = table.find(p.name);
        ASSERT_NE(it, table.end()) << p.name << " has no source";
        EXPECT_EQ(it->second.width, p.width) << p.name;
        EXPECT_EQ(it->second.height, p.height) << p.name;
        std::ifstream svg(std::string(TVD_SOURCE_DIR) + "/resources/pictures/" + it->second.source);
        EXPECT_TRUE(svg) << it->second.source;
    }
}

TEST(PictureTable, EveryPictureTheLooksNameExists) {
    std::vector<std::string> used = {"IMG_COMBO_DOWN", "IMG_CLONE_WARNING", "IMG_BTN_MINI",
                                     "IMG_BTN_CLOSE"};
    for (auto look : {ButtonLook::kNormal, ButtonLook::kPressed, ButtonLook::kDisabled}) {
        auto s = StdButtonLookSlices(look);
        used.insert(used.end(), {s.left, s.middle, s.right});
    }
    auto o = OptionButtonPictures();
    used.insert(used.end(), {o.normal, o.disabled});
    auto box = LayOutInfoBox({0, 0, 100, 100});
    ASSERT_TRUE(box);
    for (const auto& piece : box->pieces)
        used.push_back(piece.picture);
    for (const auto& name : used)
        EXPECT_NE(FindShellPicture(name), nullptr) << name;
    // Slices are drawn at their own size except along the stretched side.
    EXPECT_EQ(FindShellPicture("IMG_BTN_LEFT_WHITE")->width, kStdButtonSlice);
    EXPECT_EQ(FindShellPicture("IMG_BTN_MID_GRAY")->height, kStdButtonHeight);
    EXPECT_EQ(FindShellPicture("IMG_NOPE"), nullptr);
}

} // namespace
} // namespace tvd
