#include "report/pciidsutil.h"

#include <fstream>
#include <unordered_set>

namespace tvd {

namespace {

enum class Cat : std::uint8_t {
    kNone,
    kVendor,
    kDevice,
    kSubsystem,
    kGenericSubsystem,
    kClass,
    kSubclass,
    kProgIf,
    kUnknown
};

bool White(char c) {
    return c == ' ' || c == '\t';
}

// `digits` hex digits at p, or -1.
int Hex(const char* p, int digits) {
    int v = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = p[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return -1;
        v = v * 16 + d;
    }
    return v;
}

std::uint64_t Key(int a, int b, int c, int d) {
    return static_cast<std::uint64_t>(a & 0xFFFF) << 48 |
           static_cast<std::uint64_t>(b & 0xFFFF) << 32 |
           static_cast<std::uint64_t>(c & 0xFFFF) << 16 | static_cast<std::uint64_t>(d & 0xFFFF);
}

// One line without its newline; false at the end. `tooLong` when no newline came within the
// bound, `last` when the text ended the line.
bool NextLine(std::istream& in, std::string& line, bool& tooLong, bool& last, std::size_t& total) {
    line.clear();
    tooLong = last = false;
    bool any = false;
    for (int ch; (ch = in.get()) != std::char_traits<char>::eof();) {
        any = true;
        if (++total > kPciIdsMaxBytes) {
            tooLong = true;
            return true;
        }
        if (ch == '\n') return true;
        if (line.size() + 1 >= kPciIdsMaxLine) {
            tooLong = true;
            return true;
        }
        line.push_back(static_cast<char>(ch));
    }
    last = true;
    return any;
}

} // namespace

std::optional<PciIdNames> PciIdsLookup(std::istream& in, const PciIds& ids) {
    PciIdNames names;
    std::string genericSubsystem;
    // Every entry so far, by category, for pciutils' duplicate and unknown-vendor checks.
    std::unordered_set<std::uint64_t> seen[static_cast<int>(Cat::kUnknown) + 1];
    Cat cat = Cat::kNone;
    int id1 = 0, id2 = 0, id3 = 0, id4 = 0;
    std::size_t total = 0;
    std::string line;
    bool tooLong = false, last = false;
    while (NextLine(in, line, tooLong, last, total)) {
        if (tooLong) return std::nullopt;
        // pciutils takes a NUL for the end of a line cut short, which only the last line may be.
        if (const auto nul = line.find('\0'); nul != std::string::npos) {
            if (!last) return std::nullopt;
            line.resize(nul);
        }
        if (const auto cr = line.find('\r'); cr != std::string::npos) line.resize(cr);
        if (!line.empty() && White(line.back())) line.pop_back();
        std::size_t i = 0;
        while (i < line.size() && White(line[i]))
            ++i;
        if (i == line.size() || line[i] == '#') continue;
        std::size_t nest = 0;
        while (nest < line.size() && line[nest] == '\t')
            ++nest;
        // Padding lets the fixed-width reads below look past the end as at a C string's NUL.
        line.append(12, '\0');
        const char* p = line.c_str() + nest;
        if (nest == 0) {
            if (p[0] == 'C' && p[1] == ' ') {
                if ((id1 = Hex(p + 2, 2)) < 0 || !White(p[4])) return std::nullopt;
                cat = Cat::kClass;
                p += 5;
            } else if (p[0] == 'S' && p[1] == ' ') {
                if ((id1 = Hex(p + 2, 4)) < 0 || p[6]) return std::nullopt;
                if (!seen[static_cast<int>(Cat::kVendor)].count(Key(id1, 0, 0, 0)))
                    return std::nullopt;
                cat = Cat::kGenericSubsystem;
                continue;
            } else if (p[0] >= 'A' && p[0] <= 'Z' && p[1] == ' ') {
                cat = Cat::kUnknown;
                continue;
            } else {
                if ((id1 = Hex(p, 4)) < 0 || !White(p[4])) return std::nullopt;
                cat = Cat::kVendor;
                p += 5;
            }
            id2 = id3 = id4 = 0;
        } else if (cat == Cat::kUnknown) {
            continue;
        } else if (nest == 1) {
            switch (cat) {
            case Cat::kVendor:
            case Cat::kDevice:
            case Cat::kSubsystem:
                if ((id2 = Hex(p, 4)) < 0 || !White(p[4])) return std::nullopt;
                p += 5;
                cat = Cat::kDevice;
                id3 = id4 = 0;
                break;
            case Cat::kGenericSubsystem:
                if ((id2 = Hex(p, 4)) < 0 || !White(p[4])) return std::nullopt;
                p += 5;
                id3 = id4 = 0;
                break;
            case Cat::kClass:
            case Cat::kSubclass:
            case Cat::kProgIf:
                if ((id2 = Hex(p, 2)) < 0 || !White(p[2])) return std::nullopt;
                p += 3;
                cat = Cat::kSubclass;
                id3 = id4 = 0;
                break;
            default:
                return std::nullopt;
            }
        } else if (nest == 2) {
            switch (cat) {
            case Cat::kDevice:
            case Cat::kSubsystem:
                if ((id3 = Hex(p, 4)) < 0 || !White(p[4]) || (id4 = Hex(p + 5, 4)) < 0 ||
                    !White(p[9]))
                    return std::nullopt;
                p += 10;
                cat = Cat::kSubsystem;
                break;
            case Cat::kClass:
            case Cat::kSubclass:
            case Cat::kProgIf:
                if ((id3 = Hex(p, 2)) < 0 || !White(p[2])) return std::nullopt;
                p += 3;
                cat = Cat::kProgIf;
                id4 = 0;
                break;
            default:
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
        while (White(*p))
            ++p;
        if (!*p) return std::nullopt;
        if (!seen[static_cast<int>(cat)].insert(Key(id1, id2, id3, id4)).second)
            return std::nullopt;
        const std::string name(p);
        if (cat == Cat::kVendor && id1 == ids.vendor)
            names.vendor = name;
        else if (cat == Cat::kDevice && id1 == ids.vendor && id2 == ids.device)
            names.device = name;
        else if (cat == Cat::kSubsystem && id1 == ids.vendor && id2 == ids.device &&
                 id3 == ids.subVendor && id4 == ids.subDevice)
            names.subsystem = name;
        else if (cat == Cat::kGenericSubsystem && id1 == ids.subVendor && id2 == ids.subDevice)
            genericSubsystem = name;
    }
    if (in.bad()) return std::nullopt;
    if (names.subsystem.empty()) names.subsystem = genericSubsystem;
    return names;
}

std::optional<PciIdNames> PciIdsLookupFile(const std::vector<std::string>& paths,
                                           const PciIds& ids) {
    for (const std::string& path : paths) {
        std::ifstream in(path, std::ios::binary);
        if (in) return PciIdsLookup(in, ids);
    }
    return std::nullopt;
}

const std::vector<std::string>& PciIdsDefaultPaths() {
    static const std::vector<std::string> paths = {"/usr/share/misc/pci.ids",
                                                   "/usr/share/hwdata/pci.ids"};
    return paths;
}

std::string PciIdsDisplayName(const PciIdNames& names) {
    std::string text = names.vendor;
    if (!names.device.empty()) {
        text += (text.empty() ? "" : " ") + names.device;
        if (!names.subsystem.empty()) text += " (" + names.subsystem + ")";
    }
    return text;
}

} // namespace tvd
