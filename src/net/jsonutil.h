// A small key-lookup reader for the update services' JSON replies. Every function takes the
// bytes and their length, looks only at the members of the object that starts at the first byte,
// and never reads past the length. Member and bracket scans step over strings (quotes and
// escapes honoured), so a comma or brace inside a string hides nothing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tvd {

// The offset of the first '{' after an optional UTF-8 byte-order mark and white space; npos when
// the text does not start with an object there.
std::size_t JsonObjectStart(const std::uint8_t* text, std::size_t length);

struct JsonValueSpan {
    std::size_t start = 0; // first byte of the value
    std::size_t end = 0;   // one past its last byte
};

// The first member named `key` (compared byte for byte) of the object at text[0].
std::optional<JsonValueSpan> JsonFindMember(const std::uint8_t* text, std::size_t length,
                                            std::string_view key);
// The offset of the member's value when it is an object, else -1.
std::ptrdiff_t JsonObjectOffset(const std::uint8_t* text, std::size_t length, std::string_view key);
// The member's string value with its escapes decoded into UTF-8; none when the value is not a
// string, holds an invalid escape or control character, or decodes to a zero byte.
std::optional<std::string> JsonGetString(const std::uint8_t* text, std::size_t length,
                                         std::string_view key);
// The member's value when it is an unsigned decimal integer that fits 64 bits.
std::optional<std::uint64_t> JsonGetNumber(const std::uint8_t* text, std::size_t length,
                                           std::string_view key);

} // namespace tvd
