#include "net/weburlutil.h"

namespace tvd {
namespace {

bool IsAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsDnsName(std::string_view h) {
    if (h.empty() || h.size() > 253) return false;
    std::size_t start = 0;
    while (start <= h.size()) {
        std::size_t dot = h.find('.', start);
        if (dot == std::string_view::npos) dot = h.size();
        std::string_view label = h.substr(start, dot - start);
        if (label.empty() || label.size() > 63) return false;
        if (label.front() == '-' || label.back() == '-') return false;
        for (char c : label)
            if (!IsAlnum(c) && c != '-') return false;
        start = dot + 1;
    }
    return true;
}

bool IsIpv6Literal(std::string_view h) {
    if (h.size() < 2 || h.size() > 45) return false;
    int colons = 0;
    for (char c : h) {
        if (c == ':')
            ++colons;
        else if (!IsHex(c) && c != '.')
            return false;
    }
    return colons >= 2;
}

// Splits "https://authority rest"; false on anything IsSafeBrowserUrl refuses.
bool Split(std::string_view url, HttpsUrl& out, std::string_view& rest) {
    if (url.size() > kMaxBrowserUrl) return false;
    for (char c : url) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '\\' || c == '"' || c == '\'') return false;
    }
    constexpr std::string_view kScheme = "https://";
    if (url.size() < kScheme.size()) return false;
    for (std::size_t i = 0; i < kScheme.size(); ++i) {
        char c = url[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kScheme[i]) return false;
    }
    std::string_view tail = url.substr(kScheme.size());
    std::size_t end = tail.find_first_of("/?#");
    if (end == std::string_view::npos) end = tail.size();
    std::string_view authority = tail.substr(0, end);
    rest = tail.substr(end);
    if (authority.find('@') != std::string_view::npos) return false;

    std::string_view hostPart, portPart;
    bool hasPort = false;
    if (!authority.empty() && authority.front() == '[') {
        std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return false;
        hostPart = authority.substr(1, close - 1);
        if (!IsIpv6Literal(hostPart)) return false;
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return false;
            hasPort = true;
            portPart = after.substr(1);
        }
    } else {
        std::size_t colon = authority.find(':');
        hostPart = authority.substr(0, colon);
        if (colon != std::string_view::npos) {
            hasPort = true;
            portPart = authority.substr(colon + 1);
        }
        if (!IsDnsName(hostPart)) return false;
    }
    out.port = 443;
    if (hasPort) {
        if (portPart.empty() || portPart.size() > 5) return false;
        unsigned value = 0;
        for (char c : portPart) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value == 0 || value > 65535) return false;
        out.port = static_cast<std::uint16_t>(value);
    }
    out.host = std::string(hostPart);
    return true;
}

} // namespace

bool IsSafeBrowserUrl(std::string_view url) {
    HttpsUrl parts;
    std::string_view rest;
    return Split(url, parts, rest);
}

bool ParseHttpsUrl(std::string_view url, HttpsUrl& out) {
    HttpsUrl parts;
    std::string_view rest;
    if (!Split(url, parts, rest)) return false;
    std::size_t hash = rest.find('#');
    if (hash != std::string_view::npos) rest = rest.substr(0, hash);
    // A bare query still needs the root path before it.
    parts.path.assign(rest.empty() || rest.front() == '?' ? 1 : 0, '/');
    parts.path.append(rest.data(), rest.size());
    out = std::move(parts);
    return true;
}

bool ParseServiceUrl(std::string_view url, HttpsUrl& out) {
    HttpsUrl parts;
    std::string_view rest;
    if (!Split(url, parts, rest)) return false;
    if (!rest.empty() && rest != "/") return false;
    out = std::move(parts);
    return true;
}

std::string UrlFileName(std::string_view url) {
    const std::size_t slash = url.rfind('/');
    if (slash == std::string_view::npos) return std::string(url);
    return std::string(url.substr(slash + 1));
}

} // namespace tvd
