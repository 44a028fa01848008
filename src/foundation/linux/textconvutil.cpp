// Code-page conversions on Linux. There are no system code-page tables: UTF-8 stands in for the
// OEM and ANSI code pages, and Latin-1 and ASCII are mapped directly. Other code pages are not
// supported and convert to an empty text.
#include "foundation/textconvutil.h"

namespace tvd {

namespace {

bool IsUtf8CodePage(std::uint32_t codePage) {
    return codePage == kCodePageUtf8 || codePage == kCodePageOem || codePage == kCodePageAnsi;
}

} // namespace

std::string Utf16ToCodePage(std::u16string_view text, std::uint32_t codePage) {
    if (IsUtf8CodePage(codePage)) return Utf16ToUtf8(text);
    if (codePage != kCodePageLatin1 && codePage != kCodePageAscii) return {};
    const char16_t highest = codePage == kCodePageLatin1 ? 0xFF : 0x7F;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        // A surrogate pair is one character: one '?'.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
        out += c <= highest ? static_cast<char>(c) : '?';
    }
    return out;
}

std::u16string CodePageToUtf16(std::string_view text, std::uint32_t codePage) {
    if (IsUtf8CodePage(codePage)) return Utf8ToUtf16(text);
    if (codePage != kCodePageLatin1 && codePage != kCodePageAscii) return {};
    std::u16string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto b = static_cast<std::uint8_t>(ch);
        out += (codePage == kCodePageAscii && b > 0x7F) ? u'?' : static_cast<char16_t>(b);
    }
    return out;
}

} // namespace tvd
