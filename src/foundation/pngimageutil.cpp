#include "foundation/pngimageutil.h"

#include <png.h>

namespace tvd {

ErrorCode DecodePng(ByteView data, PngImage& image) {
    image = {};
    if (data.empty()) return err::kInvalidData;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    // libpng's simplified API reports errors through png.warning_or_error, never by longjmp
    // across our frames.
    if (!png_image_begin_read_from_memory(&png, data.data(), data.size())) return err::kInvalidData;
    if (png.width == 0 || png.height == 0 || png.width > kPngMaxSide || png.height > kPngMaxSide) {
        png_image_free(&png);
        return png.width == 0 || png.height == 0 ? err::kInvalidData : err::kNotEnoughMemory;
    }
    png.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(PNG_IMAGE_SIZE(png)));
    if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&png);
        return err::kInvalidData;
    }
    image.width = png.width;
    image.height = png.height;
    image.rgba = std::move(pixels);
    return err::kSuccess;
}

} // namespace tvd
