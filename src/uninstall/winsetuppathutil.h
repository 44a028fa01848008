// The install folder: taken from the uninstall entry's "UninstallString" only when it names this
// uninstaller in a plain local folder, else the default under Program Files.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvd::uninstall {

// The program path of an "UninstallString": the quoted part when it starts with a quote (an
// unclosed quote gives nothing), otherwise the text up to the end of the uninstaller's file name
// where it is followed by the end or a blank, else the whole trimmed text. Arguments are dropped.
std::u16string UninstallStringProgram(std::u16string_view value);

// The folder of `program` when it is acceptable as the install folder: an absolute local path
// ("X:\..."), normalised (no empty, "." or ".." part, no part ending in '.' or ' ', no '/', no
// characters Windows refuses in names, no stream suffix), not a UNC, "\\?\" or device path, whose
// file name is the uninstaller's (ASCII case ignored), and whose folder is neither a drive root
// nor one of `forbidden` (the Windows, system and Program Files folders themselves).
std::optional<std::u16string> AcceptableInstallFolder(std::u16string_view program,
                                                      const std::vector<std::u16string>& forbidden);

// Both steps over the value's text.
std::optional<std::u16string>
InstallFolderFromUninstallString(std::u16string_view value,
                                 const std::vector<std::u16string>& forbidden);

// The uninstall entry's value in the 64-bit view, then the 32-bit view; the first acceptable
// one gives the folder, otherwise `defaultFolder`.
std::u16string ResolveInstallFolder(const std::u16string& defaultFolder,
                                    const std::vector<std::u16string>& forbidden);

// ASCII case-insensitive equality of two paths.
bool SamePathText(std::u16string_view a, std::u16string_view b);

} // namespace tvd::uninstall
