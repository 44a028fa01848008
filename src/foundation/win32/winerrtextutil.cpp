#include "foundation/errtextutil.h"

#include <windows.h>

#include <string>

#include "foundation/langutil.h"
#include "foundation/textconvutil.h"
#include "foundation/win32/winhandle.h"

namespace tvd {

namespace {

constexpr std::uint16_t kNeutralLanguage = 0x0400;
constexpr std::uint16_t kUsEnglish = 1033;

bool SystemText(ErrorCode code, std::uint16_t langId, std::u16string& text) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, langId, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    win::LocalPtr<wchar_t> owned(buffer);
    if (n == 0 || !buffer) return false;
    text = win::U16(buffer, n);
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n'))
        text.pop_back();
    return !text.empty();
}

} // namespace

std::u16string ErrorTextW(ErrorCode code, std::uint16_t langId, std::uint8_t* charset) {
    const std::uint16_t asked = langId ? langId : kNeutralLanguage;
    const std::uint16_t tries[] = {asked, kUsEnglish, UserUiLanguageId()};
    std::u16string text;
    std::uint16_t used = 0;
    for (std::uint16_t lang : tries) {
        if (SystemText(code, lang, text)) {
            used = lang;
            break;
        }
    }
    // The neutral language resolves to the user's; report the font of that one.
    if (used == kNeutralLanguage) used = UserUiLanguageId();
    if (charset) *charset = CharsetFromLangId(used ? used : UserUiLanguageId());
    if (used == 0) text = Utf8ToUtf16("Error " + std::to_string(code));
    return text;
}

std::string ErrorText(ErrorCode code, std::uint16_t langId, std::uint8_t* charset) {
    return Utf16ToUtf8(ErrorTextW(code, langId, charset));
}

std::string SystemErrorText(ErrorCode code) {
    return ErrorText(code);
}

} // namespace tvd
