#include "net/httptransport.h"

namespace tvd {

bool SplitRequestHeaders(const std::string& headers, std::vector<std::string>& lines) {
    lines.clear();
    std::size_t start = 0;
    while (start <= headers.size()) {
        std::size_t end = headers.find('\n', start);
        if (end == std::string::npos) end = headers.size();
        std::string line = headers.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        for (char c : line) {
            const auto u = static_cast<unsigned char>(c);
            if ((u < 0x20 && c != '\t') || u == 0x7f) return false;
        }
        constexpr std::string_view kLength = "content-length:";
        bool isLength = line.size() >= kLength.size();
        for (std::size_t i = 0; isLength && i < kLength.size(); ++i) {
            char c = line[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            isLength = c == kLength[i];
        }
        if (!isLength) lines.push_back(std::move(line));
    }
    return true;
}

} // namespace tvd
