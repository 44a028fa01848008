#include "foundation/pngimageutil.h"

#include <gtest/gtest.h>
#include <string>
#include <zlib.h>

namespace tvd {
namespace {

// Builds a PNG file from raw chunks, with zlib's own compressor and CRC, so the decoder is
// checked against data it did not make.
class PngBuilder {
public:
    PngBuilder& Chunk(const char* type, const std::vector<std::uint8_t>& body) {
        Be32(static_cast<std::uint32_t>(body.size()));
        std::vector<std::uint8_t> typed(type, type + 4);
        typed.insert(typed.end(), body.begin(), body.end());
        bytes_.insert(bytes_.end(), typed.begin(), typed.end());
        Be32(static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
        return *this;
    }
    // An 8-bit truecolour-with-alpha picture from RGBA rows (filter type 0 on every row).
    static std::vector<std::uint8_t> Rgba(std::uint32_t w, std::uint32_t h,
                                          const std::vector<std::uint8_t>& rgba) {
        std::vector<std::uint8_t> ihdr = {0, 0, 0, 0, 0, 0, 0, 0, 8, 6, 0, 0, 0};
        for (int i = 0; i < 4; ++i) {
            ihdr[i] = static_cast<std::uint8_t>(w >> (24 - 8 * i));
            ihdr[4 + i] = static_cast<std::uint8_t>(h >> (24 - 8 * i));
        }
        std::vector<std::uint8_t> raw;
        for (std::uint32_t y = 0; y < h; ++y) {
            raw.push_back(0);
            raw.insert(raw.end(), rgba.begin() + y * w * 4, rgba.begin() + (y + 1) * w * 4);
        }
        uLongf zlen = compressBound(static_cast<uLong>(raw.size()));
        std::vector<std::uint8_t> z(zlen);
        EXPECT_EQ(compress(z.data(), &zlen, raw.data(), static_cast<uLong>(raw.size())), Z_OK);
        z.resize(zlen);
        PngBuilder b;
        return b.Chunk("IHDR", ihdr).Chunk("IDAT", z).Chunk("IEND", {}).bytes_;
    }

private:
    void Be32(std::uint32_t v) {
        for (int i = 3; i >= 0; --i)
            bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    std::vector<std::uint8_t> bytes_ = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
};

const std::vector<std::uint8_t> kPixels = {
    255, 0,  0,  255, /**/ 0,  255, 0,  128, /**/ 0,  0,   255, 0,
    10,  20, 30, 40,  /**/ 50, 60,  70, 80,  /**/ 90, 100, 110, 120,
};

TEST(PngImage, DecodesRgbaPicture) {
    auto file = PngBuilder::Rgba(3, 2, kPixels);
    PngImage img;
    ASSERT_EQ(DecodePng(file, img), err::kSuccess);
    EXPECT_EQ(img.width, 3u);
    EXPECT_EQ(img.height, 2u);
    EXPECT_EQ(img.rgba, kPixels);
}

TEST(PngImage, RefusesDamagedFiles) {
    auto good = PngBuilder::Rgba(3, 2, kPixels);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    auto badCrc = good;
    badCrc[8 + 4 + 4 + 13] ^= 0xFF; // IHDR's CRC
    auto badSig = good;
    badSig[1] = 'Q';
    std::vector<std::uint8_t> truncated(good.begin(), good.begin() + good.size() / 2);
    Case cases[] = {
        {"empty", {}}, {"bad signature", badSig}, {"bad CRC", badCrc}, {"truncated", truncated}};
    for (auto& c : cases) {
        PngImage img;
        EXPECT_EQ(DecodePng(c.bytes, img), err::kInvalidData) << c.what;
        EXPECT_TRUE(img.rgba.empty()) << c.what;
    }
}

TEST(PngImage, RefusesPicturesAboveTheSizeLimit) {
    // A header claiming 20000 x 1 pixels: refused before any pixel buffer is allocated.
    std::vector<std::uint8_t> one(4 * 20000, 7);
    auto file = PngBuilder::Rgba(20000, 1, one);
    PngImage img;
    EXPECT_EQ(DecodePng(file, img), err::kNotEnoughMemory);
}

} // namespace
} // namespace tvd
