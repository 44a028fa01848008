#include "foundation/inibufutilw.h"

#include "foundation/bytesutil.h"

#include <algorithm>
#include <new>

namespace tvd {

bool IniParseW(IniBufferW* buffer, const void* text, std::size_t bytes) {
    if (!buffer || !text) return false;
    const ByteView in(static_cast<const std::uint8_t*>(text), bytes);
    if (Le<std::uint16_t>(in, 0) != 0xFEFF) return false;
    const std::size_t count = bytes / 2 - 1;
    if (count >= inidetail::kMaxUnits) return false;
    try {
        std::vector<char16_t> lines(count + 1);
        const std::size_t used = inidetail::ParseLines(
            count, [in](std::size_t i) { return char32_t(Le<std::uint16_t>(in, 2 + 2 * i)); },
            lines);
        buffer->data.swap(lines);
        buffer->capacity = static_cast<std::uint32_t>(buffer->data.size());
        buffer->used = static_cast<std::uint32_t>(used);
        buffer->modified = false;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::u16string_view IniLineDataW(const IniBufferW* buffer) {
    if (!buffer) return {};
    return {buffer->data.data(), std::min<std::size_t>(buffer->used, buffer->data.size())};
}

std::optional<std::u16string_view>
IniGetValueW(const IniBufferW* buffer, std::u16string_view section, std::u16string_view key) {
    return inidetail::GetValue(IniLineDataW(buffer), section, key);
}

void IniReleaseW(IniBufferW* buffer) {
    if (!buffer) return;
    std::vector<char16_t>().swap(buffer->data);
    buffer->used = buffer->capacity = 0;
    buffer->modified = false;
}

} // namespace tvd
