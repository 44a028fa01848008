// Type-checked printf-style formatting for the clone log. The conversion letters of the log
// texts ("%i", "%I64u", "%s", "%02i") only say where an argument goes and how wide it is: each
// argument is rendered by its own type, so a 64-bit count, a narrow or a wide text always comes
// out as itself on every runtime, and a missing argument renders as nothing. Paths, labels and
// disk texts are arguments, never formats.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace tvd {

class CloneArg {
public:
    enum class Kind { kSigned, kUnsigned, kText, kTextW };

    template <class T,
              std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                   !std::is_same_v<T, char> && !std::is_same_v<T, char16_t>,
                               int> = 0>
    CloneArg(T v) {
        if constexpr (std::is_signed_v<T>) {
            kind_ = Kind::kSigned;
            signed_ = v;
        } else {
            kind_ = Kind::kUnsigned;
            unsigned_ = v;
        }
    }
    CloneArg(bool v) : kind_(Kind::kSigned), signed_(v ? 1 : 0) {}
    CloneArg(const char* s) : kind_(Kind::kText), text_(s ? s : "") {}
    CloneArg(std::string_view s) : kind_(Kind::kText), text_(s) {}
    CloneArg(const std::string& s) : kind_(Kind::kText), text_(s) {}
    CloneArg(const char16_t* s) : kind_(Kind::kTextW), textW_(s ? s : u"") {}
    CloneArg(std::u16string_view s) : kind_(Kind::kTextW), textW_(s) {}
    CloneArg(const std::u16string& s) : kind_(Kind::kTextW), textW_(s) {}

    Kind GetKind() const { return kind_; }
    std::int64_t Signed() const { return signed_; }
    std::uint64_t Unsigned() const { return unsigned_; }
    std::string_view Text() const { return text_; }
    std::u16string_view TextW() const { return textW_; }

private:
    Kind kind_ = Kind::kSigned;
    std::int64_t signed_ = 0;
    std::uint64_t unsigned_ = 0;
    std::string_view text_;
    std::u16string_view textW_;
};

// Formats into at most `maxUnits` UTF-16 code units (a longer text is cut). A narrow format is
// ASCII; narrow text arguments are UTF-8.
std::u16string CloneFormat(std::string_view format, std::span<const CloneArg> args,
                           std::size_t maxUnits);
std::u16string CloneFormat(std::u16string_view format, std::span<const CloneArg> args,
                           std::size_t maxUnits);

} // namespace tvd
