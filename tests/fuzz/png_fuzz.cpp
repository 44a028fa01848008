#include <cstddef>
#include <cstdint>

#include "foundation/pngimageutil.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvd::PngImage image;
    if (tvd::DecodePng(tvd::ByteView(data, size), image) == tvd::err::kSuccess) {
        if (image.rgba.size() != std::size_t(image.width) * image.height * 4) __builtin_trap();
    }
    return 0;
}
