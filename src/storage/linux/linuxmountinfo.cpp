#include "storage/linux/linuxmountinfo.h"

#include <algorithm>
#include <cstdint>

namespace tvd::linuxsys {

namespace {

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        const std::size_t end = std::min(line.find(' ', pos), line.size());
        if (end > pos) out.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return out;
}

bool ParseUnsigned(std::string_view s, unsigned& v) {
    if (s.empty() || s.size() > 9) return false;
    unsigned r = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        r = r * 10 + unsigned(c - '0');
    }
    v = r;
    return true;
}

} // namespace

std::string UnescapeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        auto octal = [&](std::size_t k) { return field[k] >= '0' && field[k] <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) &&
            octal(i + 3)) {
            const unsigned v = unsigned(field[i + 1] - '0') * 64 +
                               unsigned(field[i + 2] - '0') * 8 + unsigned(field[i + 3] - '0');
            if (v <= 0xFF) {
                out.push_back(static_cast<char>(v));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::vector<std::string_view> f = Fields(text.substr(pos, end - pos));
        pos = end + 1;
        // id parent major:minor root mount-point options [optional...] - type source super
        const auto dash = std::find(f.begin(), f.end(), std::string_view("-"));
        if (f.size() < 6 || dash == f.end() || dash - f.begin() < 6 || f.end() - dash < 3) continue;
        const std::string_view dev = f[2];
        const std::size_t colon = dev.find(':');
        MountEntry e;
        if (colon == std::string_view::npos || !ParseUnsigned(dev.substr(0, colon), e.major) ||
            !ParseUnsigned(dev.substr(colon + 1), e.minor))
            continue;
        e.root = UnescapeMountField(f[3]);
        e.mountPoint = UnescapeMountField(f[4]);
        e.fsType = UnescapeMountField(dash[1]);
        e.source = UnescapeMountField(dash[2]);
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<std::string> MountPointsOf(const std::vector<MountEntry>& mounts, unsigned major,
                                       unsigned minor, const std::string& sourcePath) {
    std::vector<std::string> out;
    for (const MountEntry& m : mounts) {
        const bool same = (m.major == major && m.minor == minor) ||
                          (!sourcePath.empty() && m.source == sourcePath);
        if (same && std::find(out.begin(), out.end(), m.mountPoint) == out.end())
            out.push_back(m.mountPoint);
    }
    return out;
}

} // namespace tvd::linuxsys
