// The batch that removes the uninstaller and the install folder once the uninstaller has ended.
// cmd.exe reads a batch file in the OEM code page and expands '%' in it: every '%' is doubled,
// and a path is written only when it converts exactly (a stand-in '?' would be a wildcard to
// "del"), else by its short name, else that item stays in place.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/errorcodes.h"

namespace tvd::uninstall {

struct BatchEncoding {
    // The text in the OEM code page; nothing when a character has no exact spelling there.
    std::function<std::optional<std::string>(std::u16string_view)> toOem;
    // The short (8.3) form of an existing path; nothing when it has none.
    std::function<std::optional<std::u16string>(std::u16string_view)> shortPath;
};

struct CleanupBatchItems {
    std::u16string uninstallerFile;
    std::u16string installFolder;
    std::u16string batchFolder; // fresh, holds only the batch; removed with it on the last line
};

// The path as the batch writes it, '%' doubled; nothing when neither the path nor its short
// form converts exactly.
std::optional<std::string> BatchPathText(const std::u16string& path, const BatchEncoding& enc);

// Lines, each ending in "\r\n":
//   "<uninstaller>" -close          (waits until the uninstaller's process has ended)
//   del /f /q "<uninstaller>"
//   rd "<install folder>"           (only when empty)
//   cd /d "<batch folder's parent>"
//   rd /s /q "<batch folder>"       (the batch and its folder together)
// A line whose path cannot be written is left out (the uninstaller's two go together).
std::string BuildCleanupBatch(const CleanupBatchItems& items, const BatchEncoding& enc);

// Writes the batch into a fresh folder only administrators can write and starts it hidden with
// the system folder's cmd.exe. Windows only: kNotSupported elsewhere.
ErrorCode WriteAndStartCleanupBatch(const std::u16string& uninstallerFile,
                                    const std::u16string& installFolder);

} // namespace tvd::uninstall
