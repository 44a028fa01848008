// The PNG fuzz target's seeds must decode, or the fuzzer never gets past the signature.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "foundation/pngimageutil.h"

namespace tvd {
namespace {

TEST(PngFuzzSeeds, EverySeedDecodes) {
    const std::filesystem::path dir =
        std::filesystem::path(TVD_SOURCE_DIR) / "tests" / "fuzz" / "seeds" / "png_fuzz";
    std::size_t seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream f(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
        PngImage image;
        ASSERT_EQ(DecodePng(bytes, image), err::kSuccess);
        EXPECT_EQ(image.rgba.size(), std::size_t(image.width) * image.height * 4);
        ++seeds;
    }
    EXPECT_GE(seeds, 5u); // one per colour type, and an interlaced one
}

} // namespace
} // namespace tvd
