#include "shell/processutil.h"

#include <algorithm>

namespace tvd {

namespace {

char Fold(char c) {
    if (c == '/') return '\\';
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string Normalized(std::string_view s) {
    std::string out(s.size(), '\0');
    std::transform(s.begin(), s.end(), out.begin(), Fold);
    return out;
}

bool IsAbsoluteDrivePath(std::string_view p) {
    const bool letter = !p.empty() && ((p[0] >= 'a' && p[0] <= 'z'));
    return p.size() >= 3 && letter && p[1] == ':' && p[2] == '\\';
}

bool HasUnsafePart(std::string_view p) {
    if (p.find_first_of("\"<>|*?") != p.npos) return true;
    // A colon only after the drive letter: anything else is a stream or a device form.
    if (p.find(':', 2) != p.npos) return true;
    for (char c : p)
        if (static_cast<unsigned char>(c) < 0x20) return true;
    std::size_t start = 3;
    while (start <= p.size()) {
        std::size_t end = p.find('\\', start);
        if (end == p.npos) end = p.size();
        const std::string_view part = p.substr(start, end - start);
        if (part.empty() || part == "." || part == ".." || part.back() == '.' || part.back() == ' ')
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

bool IsRunnableProgramPath(std::string_view program, const std::vector<std::string>& folders) {
    const std::string p = Normalized(program);
    if (!IsAbsoluteDrivePath(p) || HasUnsafePart(p)) return false;
    for (const std::string& folder : folders) {
        std::string f = Normalized(folder);
        while (f.size() > 3 && f.back() == '\\')
            f.pop_back();
        if (!IsAbsoluteDrivePath(f) || (f.size() > 3 && HasUnsafePart(f))) continue;
        if (f.back() != '\\') f += '\\';
        if (p.size() > f.size() && p.compare(0, f.size(), f) == 0) return true;
    }
    return false;
}

bool IsWellFormedHttpsUrl(std::string_view url) {
    constexpr std::string_view kScheme = "https://";
    if (url.size() <= kScheme.size() || url.size() > 2048) return false;
    for (std::size_t i = 0; i < kScheme.size(); ++i)
        if (Fold(url[i]) != kScheme[i] && !(kScheme[i] == '/' && url[i] == '/')) return false;
    const std::string_view rest = url.substr(kScheme.size());
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    std::string_view host = rest.substr(0, authorityEnd);
    const std::size_t colon = host.find(':');
    if (colon != host.npos) {
        const std::string_view port = host.substr(colon + 1);
        if (port.empty() || port.size() > 5) return false;
        unsigned value = 0;
        for (char c : port) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + unsigned(c - '0');
        }
        if (value == 0 || value > 65535) return false;
        host = host.substr(0, colon);
    }
    // Host labels: letters, digits and inner hyphens, 1 to 63 characters each.
    if (host.empty() || host.size() > 253) return false;
    std::size_t start = 0;
    while (true) {
        std::size_t end = host.find('.', start);
        if (end == host.npos) end = host.size();
        const std::string_view label = host.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (char c : label)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-'))
                return false;
        if (end == host.size()) break;
        start = end + 1;
    }
    // Path, query and fragment: unreserved and reserved URL characters, percent escapes.
    const std::string_view tail = rest.substr(authorityEnd);
    constexpr std::string_view kAllowed = "-._~:/?#[]@!$&'()*+,;=";
    for (std::size_t i = 0; i < tail.size(); ++i) {
        const char c = tail[i];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            kAllowed.find(c) != kAllowed.npos)
            continue;
        auto hex = [](char h) {
            return (h >= '0' && h <= '9') || (h >= 'a' && h <= 'f') || (h >= 'A' && h <= 'F');
        };
        if (c == '%' && i + 2 < tail.size() && hex(tail[i + 1]) && hex(tail[i + 2])) {
            i += 2;
            continue;
        }
        return false;
    }
    return true;
}

} // namespace tvd
