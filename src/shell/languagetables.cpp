#include "shell/languagetables.h"

#include <cstring>
#include <new>

#include "foundation/fileutil.h"
#include "foundation/langutil.h"
#include "shell/appdatafolder.h"
#include "shell/inireadutil.h"

namespace tvd {

namespace {

constexpr UiLanguage kLanguages[] = {
    {"ENG", 2057}, {"CHT", 1028}, {"CHS", 2052}, {"JPN", 1041}, {"KOR", 1042},
    {"NLD", 1043}, {"FRA", 1036}, {"DEU", 1031}, {"ITA", 1040}, {"PTG", 2070},
    {"RUS", 1049}, {"ESN", 3082}, {"SVE", 1053}, {"ARA", 1025},
};

} // namespace

std::span<const UiLanguage> UiLanguages() {
    return kLanguages;
}

std::u16string UiFontNameFor(std::uint16_t langId) {
    switch (langId) {
    case 1041:
        return u"Yu Gothic UI";
    case 2052:
        return u"Microsoft YaHei";
    case 1028:
        // The Traditional Chinese face by its own name; its Big5 spelling would only survive the
        // ANSI conversion on a Big5 system.
        return u"\u5FAE\u8EDF\u6B63\u9ED1\u9AD4";
    default:
        return u"Segoe UI";
    }
}

bool LoadMessageTable(clMsgObject& table, ByteView resource) noexcept {
    if (resource.size() <= 2 || resource[0] != 0xFF || resource[1] != 0xFE) return false;
    const ByteView text = resource.subspan(2, (resource.size() - 2) & ~std::size_t{1});
    return table.Load(text.data(), text.size());
}

clMsgObject* clLanguageRegistry::TableAt(std::size_t i) const noexcept {
    std::size_t k = 0;
    for (clZoltItem* item : tables_)
        if (k++ == i) return ZoltCast<clMsgObject>(item);
    return nullptr;
}

clMsgObject* clLanguageRegistry::FindCode(std::string_view code) const noexcept {
    for (clZoltItem* item : tables_) {
        auto* table = ZoltCast<clMsgObject>(item);
        if (table && code == table->Language()) return table;
    }
    return nullptr;
}

void clLanguageRegistry::Clear() noexcept {
    tables_.Clear();
    default_ = current_ = nullptr;
}

bool clLanguageRegistry::Load(const TableFinder& find, std::optional<std::u16string_view> lang,
                              std::uint16_t userLangId) noexcept {
    Clear();
    try {
        for (const UiLanguage& language : kLanguages) {
            ByteView bytes;
            const std::string name = std::string("MSG_") + language.code;
            if (!find || !find(name.c_str(), bytes)) continue;
            auto* table = new (std::nothrow) clMsgObject;
            if (!table) return false;
            ZoltRef<clMsgObject> hold(table);
            if (!LoadMessageTable(*table, bytes)) continue;
            table->SetLanguage(language.code);
            tables_.Append(table);
        }
    } catch (...) {
        Clear();
        return false;
    }
    default_ = FindCode("ENG");
    if (!default_) default_ = TableAt(0);

    if (lang && !lang->empty()) {
        // Only the first three characters count; a shorter value names no table.
        if (lang->size() >= 3) {
            char code[4] = {0, 0, 0, 0};
            bool ascii = true;
            for (std::size_t i = 0; i < 3; ++i) {
                if ((*lang)[i] == 0 || (*lang)[i] > 0x7F) ascii = false;
                code[i] = static_cast<char>((*lang)[i]);
            }
            if (ascii) current_ = FindCode(code);
        }
    } else {
        current_ = FindCode(LangCodeFromId(userLangId));
    }
    if (!current_) current_ = default_;
    return true;
}

const char* clLanguageRegistry::CurrentCode() const noexcept {
    return current_ ? current_->Language() : "";
}

const char* clLanguageRegistry::DefaultCode() const noexcept {
    return default_ ? default_->Language() : "";
}

std::uint16_t clLanguageRegistry::UiLanguageId() const noexcept {
    return LangIdFromCode(CurrentCode());
}

std::uint8_t clLanguageRegistry::UiCharset() const noexcept {
    return CharsetFromLangId(UiLanguageId());
}

std::u16string clLanguageRegistry::UiFontName() const {
    return UiFontNameFor(UiLanguageId());
}

std::optional<std::u16string> clLanguageRegistry::Text(std::int32_t id) noexcept {
    try {
        for (clMsgObject* table : {current_, default_}) {
            if (!table) continue;
            if (const char16_t* text = table->GetText(id)) return std::u16string(text);
        }
    } catch (...) {
    }
    return std::nullopt;
}

std::u16string clLanguageRegistry::Format(std::int32_t id,
                                          const std::vector<FormatArg>& args) noexcept {
    try {
        for (clMsgObject* table : {current_, default_}) {
            if (!table) continue;
            const char16_t* text = table->GetText(id);
            if (text && FormatMatches(text, args))
                return FormatText(std::u16string_view(text), args);
        }
    } catch (...) {
    }
    return {};
}

clLanguageRegistry& LanguageRegistry() noexcept {
    static clLanguageRegistry registry;
    return registry;
}

bool LoadLanguageTables() noexcept {
    std::optional<std::u16string> lang;
    std::string config;
    if (ConfigIniPath(config) == err::kSuccess) lang = IniReadWideString(config, u"UI", u"Lang");
    std::optional<std::u16string_view> value;
    if (lang) value = *lang;
    return LanguageRegistry().Load(
        [](const char* name, ByteView& bytes) { return FindRcData(name, bytes); }, value,
        UserUiLanguageId());
}

std::optional<std::u16string> MessageText(std::int32_t id) noexcept {
    return LanguageRegistry().Text(id);
}

std::u16string MessageFormat(std::int32_t id, FormatArgs args) noexcept {
    return LanguageRegistry().Format(id, args);
}

std::uint16_t UiLanguageId() noexcept {
    return LanguageRegistry().UiLanguageId();
}

std::uint8_t UiCharset() noexcept {
    return LanguageRegistry().UiCharset();
}

std::u16string UiFontName() {
    return LanguageRegistry().UiFontName();
}

UiFontChoice UiFont() {
    return {UiCharset(), UiFontName()};
}

std::u16string ErrorMessageText(std::int32_t id) {
    if (auto text = MessageText(id)) return *text;
    return id == msgid::kMemoryAllocationFailed ? u"Memory allocation failed."
                                                : u"An error occurred. The application will exit.";
}

} // namespace tvd
