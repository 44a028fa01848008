#include "uninstall/winsetuppathutil.h"

#include "foundation/regutil.h"
#include "uninstall/uninstallnames.h"

namespace tvd::uninstall {

namespace {

constexpr std::size_t kMaxPath = 32767;

char16_t LowerAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Finds `needle` in `hay` ignoring ASCII case, from `from`.
std::size_t FindNoCase(std::u16string_view hay, std::u16string_view needle, std::size_t from) {
    if (needle.empty() || hay.size() < needle.size()) return std::u16string_view::npos;
    for (std::size_t i = from; i + needle.size() <= hay.size(); ++i)
        if (SamePathText(hay.substr(i, needle.size()), needle)) return i;
    return std::u16string_view::npos;
}

bool BadNameChar(char16_t c) {
    return c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*' ||
           c == u':' || c == u'/' || c == 0x7F;
}

} // namespace

bool SamePathText(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

std::u16string UninstallStringProgram(std::u16string_view value) {
    if (value.size() > kMaxPath) return {};
    value = Trim(value);
    if (value.empty()) return {};
    if (value.front() == u'"') {
        const std::size_t close = value.find(u'"', 1);
        if (close == std::u16string_view::npos) return {};
        return std::u16string(value.substr(1, close - 1));
    }
    const std::u16string_view file = kUninstallerFile;
    for (std::size_t at = FindNoCase(value, file, 0); at != std::u16string_view::npos;
         at = FindNoCase(value, file, at + 1)) {
        const std::size_t end = at + file.size();
        if (end == value.size() || IsBlank(value[end])) return std::u16string(value.substr(0, end));
    }
    return std::u16string(value);
}

std::optional<std::u16string>
AcceptableInstallFolder(std::u16string_view program, const std::vector<std::u16string>& forbidden) {
    if (program.size() < 4 || program.size() > kMaxPath) return std::nullopt;
    const char16_t drive = LowerAscii(program[0]);
    if (drive < u'a' || drive > u'z' || program[1] != u':' || program[2] != u'\\')
        return std::nullopt;
    // Every part after "X:\" is a plain name.
    std::u16string_view rest = program.substr(3);
    std::u16string_view last;
    std::size_t parts = 0;
    while (true) {
        const std::size_t slash = rest.find(u'\\');
        const std::u16string_view part = rest.substr(0, slash);
        if (part.empty() || part == u"." || part == u"..") return std::nullopt;
        if (part.back() == u'.' || part.back() == u' ') return std::nullopt;
        for (char16_t c : part)
            if (BadNameChar(c)) return std::nullopt;
        ++parts;
        last = part;
        if (slash == std::u16string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    if (!SamePathText(last, kUninstallerFile)) return std::nullopt;
    // The file sits in a folder below the drive root.
    if (parts < 2) return std::nullopt;
    std::u16string folder(program.substr(0, program.size() - last.size() - 1));
    for (const std::u16string& f : forbidden) {
        std::u16string_view g = f;
        while (g.size() > 3 && g.back() == u'\\')
            g.remove_suffix(1);
        if (!g.empty() && SamePathText(folder, g)) return std::nullopt;
    }
    return folder;
}

std::optional<std::u16string>
InstallFolderFromUninstallString(std::u16string_view value,
                                 const std::vector<std::u16string>& forbidden) {
    const std::u16string program = UninstallStringProgram(value);
    if (program.empty()) return std::nullopt;
    return AcceptableInstallFolder(program, forbidden);
}

std::u16string ResolveInstallFolder(const std::u16string& defaultFolder,
                                    const std::vector<std::u16string>& forbidden) {
    for (RegView view : {RegView::k64, RegView::k32}) {
        std::u16string value;
        if (RegReadWideStringIn(RegRoot::kLocalMachine, kUninstallKey, kUninstallStringValue, view,
                                value) != err::kSuccess)
            continue;
        if (auto folder = InstallFolderFromUninstallString(value, forbidden)) return *folder;
    }
    return defaultFolder;
}

} // namespace tvd::uninstall
