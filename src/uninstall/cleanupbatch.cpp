#include "uninstall/cleanupbatch.h"

namespace tvd::uninstall {

namespace {

std::u16string DoublePercent(std::u16string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (char16_t c : s) {
        out += c;
        if (c == u'%') out += u'%';
    }
    return out;
}

std::optional<std::string> Encode(std::u16string_view path, const BatchEncoding& enc) {
    if (path.empty() || !enc.toOem) return std::nullopt;
    // A quote cannot be in a Windows name and would end the quoted argument.
    if (path.find(u'"') != std::u16string_view::npos) return std::nullopt;
    for (char16_t c : path)
        if (c < 0x20) return std::nullopt;
    return enc.toOem(DoublePercent(path));
}

} // namespace

std::optional<std::string> BatchPathText(const std::u16string& path, const BatchEncoding& enc) {
    if (auto text = Encode(path, enc)) return text;
    if (!enc.shortPath) return std::nullopt;
    const std::optional<std::u16string> shortForm = enc.shortPath(path);
    if (!shortForm || shortForm->empty()) return std::nullopt;
    return Encode(*shortForm, enc);
}

std::string BuildCleanupBatch(const CleanupBatchItems& items, const BatchEncoding& enc) {
    std::string text;
    auto line = [&text](std::string_view s) {
        text += s;
        text += "\r\n";
    };
    if (auto uninstaller = BatchPathText(items.uninstallerFile, enc)) {
        line("\"" + *uninstaller + "\" -close");
        line("del /f /q \"" + *uninstaller + "\"");
    }
    if (auto install = BatchPathText(items.installFolder, enc)) line("rd \"" + *install + "\"");
    // cmd.exe runs the batch in its folder, which cannot go while it is the current one.
    const std::size_t slash = items.batchFolder.find_last_of(u'\\');
    if (slash != std::u16string::npos && slash > 0) {
        auto parent = BatchPathText(items.batchFolder.substr(0, slash), enc);
        auto folder = BatchPathText(items.batchFolder, enc);
        if (parent && folder) {
            line("cd /d \"" + *parent + "\"");
            line("rd /s /q \"" + *folder + "\"");
        }
    }
    return text;
}

} // namespace tvd::uninstall
