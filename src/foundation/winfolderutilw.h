// UTF-16 twins of the folder queries.
#pragma once
#include <string>

#include "foundation/errorcodes.h"

namespace tvd {

ErrorCode WindowsDirectoryW(std::u16string& path);
ErrorCode NativeSystemDirectoryW(std::u16string& path);
ErrorCode ShellFolderPathW(int csidlId, std::u16string& path);
ErrorCode ShellDisplayNameW(const std::u16string& path, std::u16string& name,
                            int* iconIndex = nullptr);

} // namespace tvd
