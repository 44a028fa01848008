#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "uninstall/cleanupbatch.h"
#include "uninstall/winsetuppathutil.h"

// The uninstall entry's "UninstallString" is read from the registry: whatever it holds, an
// accepted folder is a plain absolute local path that names no forbidden folder, and the batch
// built from it never holds a quote or line break inside a path.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string value;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        value += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    static const std::vector<std::u16string> forbidden = {u"C:\\Windows", u"C:\\Program Files"};
    const auto folder = tvd::uninstall::InstallFolderFromUninstallString(value, forbidden);
    if (!folder) return 0;
    const std::u16string& f = *folder;
    if (f.size() < 4 || f[1] != u':' || f[2] != u'\\') __builtin_trap();
    if (f.find(u"\\\\") != std::u16string::npos || f.find(u"\\..") != std::u16string::npos ||
        f.find(u"\\.\\") != std::u16string::npos || f.find(u'/') != std::u16string::npos ||
        f.find(u'"') != std::u16string::npos || f.back() == u'\\')
        __builtin_trap();
    for (char16_t c : f)
        if (c < 0x20) __builtin_trap();
    for (const auto& g : forbidden)
        if (tvd::uninstall::SamePathText(f, g)) __builtin_trap();

    tvd::uninstall::BatchEncoding enc;
    enc.toOem = [](std::u16string_view s) -> std::optional<std::string> {
        std::string out;
        for (char16_t c : s) {
            if (c >= 0x80) return std::nullopt;
            out += static_cast<char>(c);
        }
        return out;
    };
    const std::string batch = tvd::uninstall::BuildCleanupBatch(
        {f + u"\\VORNA_TarvikdornUninstall.exe", f, u"C:\\Windows\\Temp\\T"}, enc);
    // Every line is one command with its quoted path: four quotes at most, CRLF only at the end.
    std::size_t start = 0;
    while (start < batch.size()) {
        const std::size_t end = batch.find("\r\n", start);
        if (end == std::string::npos) __builtin_trap();
        const std::string line = batch.substr(start, end - start);
        if (line.find('\r') != std::string::npos || line.find('\n') != std::string::npos)
            __builtin_trap();
        std::size_t quotes = 0;
        for (char c : line)
            quotes += c == '"';
        if (quotes != 2) __builtin_trap();
        start = end + 2;
    }
    return 0;
}
