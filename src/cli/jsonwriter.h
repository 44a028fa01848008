// A small streaming JSON writer for the command-line tool's --json output.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvd::cli {

class JsonWriter {
public:
    // `compact`: the whole value on one line (event streams); otherwise indented, one member a
    // line. Either way a finished top-level value ends with a line break.
    explicit JsonWriter(bool compact = false) : compact_(compact) {}
    JsonWriter& BeginObject(std::string_view key = {});
    JsonWriter& EndObject();
    JsonWriter& BeginArray(std::string_view key = {});
    JsonWriter& EndArray();
    JsonWriter& String(std::string_view key, std::string_view value);
    JsonWriter& Number(std::string_view key, std::int64_t value);
    JsonWriter& Unsigned(std::string_view key, std::uint64_t value);
    JsonWriter& Bool(std::string_view key, bool value);
    JsonWriter& Null(std::string_view key);
    // A number with `decimals` places; not-a-number and infinities are null.
    JsonWriter& Real(std::string_view key, double value, int decimals = 2);
    const std::string& Text() const { return out_; }

    // JSON string literal of UTF-8 text; bytes that are not valid UTF-8 become U+FFFD.
    static std::string Quote(std::string_view text);

private:
    void Key(std::string_view key);
    void Break(); // line break and indentation before a member or a closing bracket
    bool compact_ = false;
    std::string out_;
    std::vector<bool> first_; // per open container: no member written yet
    int depth_ = 0;
};

} // namespace tvd::cli
