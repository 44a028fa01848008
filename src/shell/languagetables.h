// The UI language: every message table the program carries, the one chosen for the user, and
// text lookups that fall back to the default (English) table.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/clmsgobject.h"
#include "foundation/clzoltitemlist.h"
#include "shell/formattext.h"

namespace tvd {

struct UiLanguage {
    const char* code;
    std::uint16_t langId;
};
// The languages whose tables are looked for, in that order; ENG first.
std::span<const UiLanguage> UiLanguages();

// Face name of the UI font for a language id.
std::u16string UiFontNameFor(std::uint16_t langId);

// Finds a resource's bytes by name ("MSG_ENG"); the view must stay valid while tables live.
using TableFinder = std::function<bool(const char* name, ByteView& bytes)>;

class clLanguageRegistry {
public:
    clLanguageRegistry() = default;
    clLanguageRegistry(const clLanguageRegistry&) = delete;
    clLanguageRegistry& operator=(const clLanguageRegistry&) = delete;

    // Loads every table `find` has, then chooses the current one: the table named by the first
    // three characters of `lang` (case-sensitive) when `lang` is not empty; the table of
    // `userLangId` when it is empty or missing; the default table otherwise, and always for a
    // value shorter than three characters. False only when the registry cannot be built.
    bool Load(const TableFinder& find, std::optional<std::u16string_view> lang,
              std::uint16_t userLangId) noexcept;
    void Clear() noexcept;

    std::size_t TableCount() const noexcept { return tables_.Count(); }
    // Code of the current table, "" when there is none.
    const char* CurrentCode() const noexcept;
    const char* DefaultCode() const noexcept;
    std::uint16_t UiLanguageId() const noexcept;
    std::uint8_t UiCharset() const noexcept;
    std::u16string UiFontName() const;

    // The current table's text, else the default table's, else none; escapes expanded.
    std::optional<std::u16string> Text(std::int32_t id) noexcept;
    // The text formatted with `args`. A table's text is used only when its conversions take
    // exactly these arguments (a damaged translation cannot read what it was not given): the
    // current table's, else the default table's; empty when neither fits.
    std::u16string Format(std::int32_t id, const std::vector<FormatArg>& args) noexcept;
    std::u16string Format(std::int32_t id, FormatArgs args) noexcept {
        return Format(id, std::vector<FormatArg>(args));
    }

private:
    clMsgObject* TableAt(std::size_t i) const noexcept;
    clMsgObject* FindCode(std::string_view code) const noexcept;

    clZoltItemList tables_;
    clMsgObject* default_ = nullptr;
    clMsgObject* current_ = nullptr;
};

// A message-table resource: accepted when larger than 2 bytes and starting with the byte-order
// mark; the text after the mark (a trailing odd byte dropped) goes to the table.
bool LoadMessageTable(clMsgObject& table, ByteView resource) noexcept;

// The program's registry: tables from the program's resources ("MSG_%s"), `Lang` of section
// `UI` in ConfigIniPath(), the user's UI language.
bool LoadLanguageTables() noexcept;
clLanguageRegistry& LanguageRegistry() noexcept;
std::optional<std::u16string> MessageText(std::int32_t id) noexcept;
std::u16string MessageFormat(std::int32_t id, FormatArgs args) noexcept;
std::uint16_t UiLanguageId() noexcept;
std::uint8_t UiCharset() noexcept;
std::u16string UiFontName();

// What ApplyLanguage gives every text-bearing window: the character set and the face name.
struct UiFontChoice {
    std::uint8_t charset = 1;
    std::u16string faceName;
};
UiFontChoice UiFont();

// Text for an error box by id: the table's, else the fixed English fallbacks ("Memory
// allocation failed." for 20021, "An error occurred. The application will exit." otherwise).
std::u16string ErrorMessageText(std::int32_t id);

// Message ids the shell uses by name.
namespace msgid {
inline constexpr std::int32_t kYes = 20002;
inline constexpr std::int32_t kNo = 20003;
inline constexpr std::int32_t kOk = 20004;
inline constexpr std::int32_t kMemoryAllocationFailed = 20021;
inline constexpr std::int32_t kNotSupportedOn = 20022;
} // namespace msgid

} // namespace tvd
