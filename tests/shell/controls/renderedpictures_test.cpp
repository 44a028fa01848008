// The pictures as the build rendered them, read back through the program's own PNG decoder.
#include <gtest/gtest.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/pngimageutil.h"
#include "shell/controls/dpiscale.h"
#include "shell/controls/picturetable.h"

namespace tvd {
namespace {

TEST(RenderedPictures, EveryPictureAtOneAndTwoTimesItsSize) {
#ifndef TVD_PICTURES_DIR
    GTEST_SKIP() << "built without the pictures (rsvg-convert missing)";
#else
    for (const auto& p : ShellPictures()) {
        for (int scale : {1, 2}) {
            std::string name = PictureResourceName(p.name, scale);
            std::ifstream in(std::string(TVD_PICTURES_DIR) + "/" + name + ".png", std::ios::binary);
            ASSERT_TRUE(in) << name;
            std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
            PngImage image;
            ASSERT_EQ(DecodePng(bytes, image), err::kSuccess) << name;
            EXPECT_EQ(image.width, static_cast<std::uint32_t>(p.width * scale)) << name;
            EXPECT_EQ(image.height, static_cast<std::uint32_t>(p.height * scale)) << name;
            // Something is drawn: not every pixel transparent.
            bool drawn = false;
            for (std::size_t i = 3; i < image.rgba.size() && !drawn; i += 4)
                drawn = image.rgba[i] != 0;
            EXPECT_TRUE(drawn) << name << " is empty";
        }
    }
#endif
}

} // namespace
} // namespace tvd
