// The shell's own printf-style formatter. Arguments are typed, so a format never reads an
// argument it was not given and both platforms print the same text whatever their C runtime
// does with "%s" in wide formats or with "I64".
//
// Supported: flags "-+ 0#", width, precision, conversions d i u x X c C s S f and "%%", length
// prefixes h l ll I64 (accepted; "h" narrows an integer to 16 bits, every other integer prints
// its full value). "*", "%n" and any other conversion are not formats: they are copied as
// written and consume no argument, and so is a conversion whose argument is missing or of
// another kind. Narrow output is UTF-8.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvd {

// What a conversion consumes: d i u x X c C take an integer, f a floating-point value, s S a
// text.
enum class FormatArgClass : std::uint8_t { kInteger, kFloat, kText };

class FormatArg {
public:
    enum class Kind : std::uint8_t { kSigned, kUnsigned, kFloat, kNarrow, kWide };

    FormatArg(int v) : kind_(Kind::kSigned), i_(v) {}
    FormatArg(long v) : kind_(Kind::kSigned), i_(v) {}
    FormatArg(long long v) : kind_(Kind::kSigned), i_(v) {}
    FormatArg(unsigned v) : kind_(Kind::kUnsigned), u_(v) {}
    FormatArg(unsigned long v) : kind_(Kind::kUnsigned), u_(v) {}
    FormatArg(unsigned long long v) : kind_(Kind::kUnsigned), u_(v) {}
    FormatArg(char16_t v) : kind_(Kind::kUnsigned), u_(v) {}
    FormatArg(double v) : kind_(Kind::kFloat), f_(v) {}
    // A null text prints as empty.
    FormatArg(const char* s) : kind_(Kind::kNarrow), narrow_(s ? s : "") {}
    FormatArg(std::string_view s) : kind_(Kind::kNarrow), narrow_(s) {}
    FormatArg(const std::string& s) : kind_(Kind::kNarrow), narrow_(s) {}
    FormatArg(const char16_t* s) : kind_(Kind::kWide), wide_(s ? s : u"") {}
    FormatArg(std::u16string_view s) : kind_(Kind::kWide), wide_(s) {}
    FormatArg(const std::u16string& s) : kind_(Kind::kWide), wide_(s) {}

    Kind kind() const { return kind_; }
    FormatArgClass Class() const;
    std::int64_t Signed() const { return kind_ == Kind::kSigned ? i_ : std::int64_t(u_); }
    std::uint64_t Unsigned() const { return kind_ == Kind::kSigned ? std::uint64_t(i_) : u_; }
    double Float() const { return f_; }
    std::string_view Narrow() const { return narrow_; }
    std::u16string_view Wide() const { return wide_; }

private:
    Kind kind_;
    std::int64_t i_ = 0;
    std::uint64_t u_ = 0;
    double f_ = 0;
    std::string_view narrow_;
    std::u16string_view wide_;
};

using FormatArgs = std::initializer_list<FormatArg>;

// Output is cut to this many code units (bytes for narrow text) without splitting a character.
inline constexpr std::size_t kFormatTextMax = 1023;

std::string FormatText(std::string_view format, FormatArgs args);
std::u16string FormatText(std::u16string_view format, FormatArgs args);
std::string FormatText(std::string_view format, const std::vector<FormatArg>& args);
std::u16string FormatText(std::u16string_view format, const std::vector<FormatArg>& args);

// The argument classes of a format's conversions in order; none when the format holds anything
// that is not a supported conversion ("*", "%n", an unknown letter, a lone "%" at the end).
std::optional<std::vector<FormatArgClass>> FormatSpecifiers(std::string_view format);
std::optional<std::vector<FormatArgClass>> FormatSpecifiers(std::u16string_view format);

// True when the format is valid and consumes exactly these arguments, one per conversion, each
// of the conversion's class.
bool FormatMatches(std::u16string_view format, FormatArgs args);
bool FormatMatches(std::u16string_view format, const std::vector<FormatArg>& args);

} // namespace tvd
