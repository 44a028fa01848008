#include "clone/clonelogfileutil.h"

#include <string>

namespace tvd {

namespace {

void Two(std::u16string& s, int v, int digits = 2) {
    std::u16string d;
    unsigned u = v < 0 ? 0 : unsigned(v);
    for (int i = 0; i < digits || u; ++i) {
        d.insert(d.begin(), char16_t(u'0' + u % 10));
        u /= 10;
    }
    s += d;
}

} // namespace

std::u16string CloneLogFolderName(const CloneLocalTime& t, unsigned attempt) {
    std::u16string s = kCloneLogFolderPrefix;
    s += u' ';
    Two(s, t.month);
    s += u'-';
    Two(s, t.day);
    s += u'-';
    Two(s, t.hour);
    s += u'-';
    Two(s, t.minute);
    if (attempt > 1) {
        s += u" (";
        Two(s, int(attempt), 1);
        s += u')';
    }
    return s;
}

std::vector<std::uint8_t> CloneLogLineBytes(const CloneLocalTime& t, CloneLineKind kind,
                                            std::u16string_view text) {
    std::u16string line;
    Two(line, t.hour);
    line += u':';
    Two(line, t.minute);
    line += u':';
    Two(line, t.second);
    line += u'.';
    Two(line, t.millisecond, 3);
    line += u' ';
    if (kind == CloneLineKind::kNote) line += u"! ";
    if (kind == CloneLineKind::kError) line += u"** ";
    line += text;
    line += u"\r\n";
    std::vector<std::uint8_t> bytes;
    bytes.reserve(line.size() * 2);
    for (char16_t u : line) {
        bytes.push_back(std::uint8_t(u));
        bytes.push_back(std::uint8_t(u >> 8));
    }
    return bytes;
}

} // namespace tvd
