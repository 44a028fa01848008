// PNG pictures (window pictures, buttons, gauges) decoded to 8-bit RGBA.
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

namespace tvd {

struct PngImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgba; // width * height * 4 bytes, rows top to bottom
};

// Pictures larger than this on either side are refused rather than allocated.
inline constexpr std::uint32_t kPngMaxSide = 16384;

// kInvalidData for anything that is not a complete, valid PNG (bad signature, CRC, truncated
// data); kNotEnoughMemory for a picture above the size limit.
ErrorCode DecodePng(ByteView data, PngImage& image);

} // namespace tvd
