#include "foundation/textconvutil.h"

#include <windows.h>

#include <climits>

namespace tvd {

namespace {

// UTF-8 and UTF-7 (and the stateful code pages) refuse a default character; the others get '?'.
bool TakesDefaultChar(std::uint32_t codePage) {
    return codePage != CP_UTF8 && codePage != CP_UTF7 && codePage != 54936 &&
           !(codePage >= 50220 && codePage <= 50229) && !(codePage >= 57002 && codePage <= 57011);
}

} // namespace

std::string Utf16ToCodePage(std::u16string_view text, std::uint32_t codePage) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const auto* src = reinterpret_cast<const wchar_t*>(text.data());
    const int srcLen = static_cast<int>(text.size());
    const char* defaultChar = TakesDefaultChar(codePage) ? "?" : nullptr;
    const int n = WideCharToMultiByte(codePage, 0, src, srcLen, nullptr, 0, defaultChar, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    const int done =
        WideCharToMultiByte(codePage, 0, src, srcLen, out.data(), n, defaultChar, nullptr);
    out.resize(done > 0 ? static_cast<std::size_t>(done) : 0);
    return out;
}

std::u16string CodePageToUtf16(std::string_view text, std::uint32_t codePage) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int srcLen = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(codePage, 0, text.data(), srcLen, nullptr, 0);
    if (n <= 0) return {};
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    const int done = MultiByteToWideChar(codePage, 0, text.data(), srcLen,
                                         reinterpret_cast<wchar_t*>(out.data()), n);
    out.resize(done > 0 ? static_cast<std::size_t>(done) : 0);
    return out;
}

} // namespace tvd
