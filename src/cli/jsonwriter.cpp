#include "cli/jsonwriter.h"

#include <cmath>
#include <cstdio>

namespace tvd::cli {

namespace {
// Length of the valid UTF-8 sequence at text[i], 0 when invalid.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return 0;
    if (n == 2 && c < 0xC2) return 0; // overlong
    return n;
}
} // namespace

std::string JsonWriter::Quote(std::string_view text) {
    std::string q = "\"";
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            q += '\\';
            q += static_cast<char>(c);
        } else if (c == '\n') {
            q += "\\n";
        } else if (c == '\r') {
            q += "\\r";
        } else if (c == '\t') {
            q += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            q += buf;
        } else if (c >= 0x80) {
            std::size_t n = Utf8Length(text, i);
            if (n == 0) {
                q += "\\ufffd";
                ++i;
                continue;
            }
            q.append(text.substr(i, n));
            i += n;
            continue;
        } else {
            q += static_cast<char>(c);
        }
        ++i;
    }
    return q + "\"";
}

void JsonWriter::Break() {
    if (compact_) return;
    out_ += '\n';
    out_.append(static_cast<std::size_t>(depth_) * 2, ' ');
}

void JsonWriter::Key(std::string_view key) {
    if (!first_.empty()) {
        if (!first_.back()) out_ += ',';
        first_.back() = false;
        Break();
    }
    if (!key.empty()) {
        out_ += Quote(key);
        out_ += ": ";
    }
}

JsonWriter& JsonWriter::BeginObject(std::string_view key) {
    Key(key);
    out_ += '{';
    first_.push_back(true);
    ++depth_;
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    --depth_;
    bool empty = first_.back();
    first_.pop_back();
    if (!empty) Break();
    out_ += '}';
    if (first_.empty()) out_ += '\n';
    return *this;
}

JsonWriter& JsonWriter::BeginArray(std::string_view key) {
    Key(key);
    out_ += '[';
    first_.push_back(true);
    ++depth_;
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    --depth_;
    bool empty = first_.back();
    first_.pop_back();
    if (!empty) Break();
    out_ += ']';
    if (first_.empty()) out_ += '\n';
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view key, std::string_view value) {
    Key(key);
    out_ += Quote(value);
    return *this;
}

JsonWriter& JsonWriter::Number(std::string_view key, std::int64_t value) {
    Key(key);
    out_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Unsigned(std::string_view key, std::uint64_t value) {
    Key(key);
    out_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Real(std::string_view key, double value, int decimals) {
    if (!std::isfinite(value)) return Null(key);
    Key(key);
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals < 0 ? 0 : decimals > 9 ? 9 : decimals, value);
    out_ += text;
    return *this;
}

JsonWriter& JsonWriter::Bool(std::string_view key, bool value) {
    Key(key);
    out_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null(std::string_view key) {
    Key(key);
    out_ += "null";
    return *this;
}

} // namespace tvd::cli
