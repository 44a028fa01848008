#include "cli/textformat.h"

#include <algorithm>
#include <cstdio>

namespace tvd::cli {

std::string SizeText(std::uint64_t bytes) {
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    double v = static_cast<double>(bytes);
    int u = 0;
    while (v >= 1024 && u < 5) {
        v /= 1024;
        ++u;
    }
    char buf[32];
    if (u == 0)
        std::snprintf(buf, sizeof buf, "%llu B", static_cast<unsigned long long>(bytes));
    else
        std::snprintf(buf, sizeof buf, "%.1f %s", v, units[u]);
    return buf;
}

std::string Trimmed(std::string s) {
    const auto blank = [](char c) { return c == ' ' || c == '\0' || c == '\t'; };
    while (!s.empty() && blank(s.back()))
        s.pop_back();
    return std::string(std::find_if_not(s.begin(), s.end(), blank), s.end());
}

std::string HexBytes(ByteView bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (const std::uint8_t v : bytes) {
        s += kDigits[v >> 4];
        s += kDigits[v & 15];
    }
    return s;
}

std::string HexNumber(std::uint64_t v, int digits, bool upper) {
    char buf[24];
    std::snprintf(buf, sizeof buf, upper ? "0x%0*llX" : "0x%0*llx", digits,
                  static_cast<unsigned long long>(v));
    return buf;
}

namespace {
std::size_t Width(const std::string& s) {
    // Continuation bytes of UTF-8 take no column.
    return static_cast<std::size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}
} // namespace

TextTable::TextTable(std::vector<std::string> header) {
    rows_.push_back(std::move(header));
}

void TextTable::Row(std::vector<std::string> cells) {
    rows_.push_back(std::move(cells));
}

std::string TextTable::Text() const {
    std::vector<std::size_t> widths;
    for (const auto& r : rows_) {
        if (widths.size() < r.size()) widths.resize(r.size(), 0);
        for (std::size_t i = 0; i < r.size(); ++i)
            widths[i] = std::max(widths[i], Width(r[i]));
    }
    std::string out;
    for (const auto& r : rows_) {
        std::string line;
        for (std::size_t i = 0; i < r.size(); ++i) {
            line += r[i];
            if (i + 1 < r.size()) line.append(widths[i] - Width(r[i]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + '\n';
    }
    return out;
}

} // namespace tvd::cli
