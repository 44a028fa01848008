// Folder queries (8-bit, UTF-8 texts). Windows folders have Linux equivalents where the concept
// exists (application data, desktop, documents); Windows-only folders answer kNotSupported there.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/errorcodes.h"

namespace tvd {

// CSIDL numbers of the shell's special folders.
namespace csidl {
inline constexpr int kDesktop = 0x0000;
inline constexpr int kPrograms = 0x0002;
inline constexpr int kPersonal = 0x0005;
inline constexpr int kStartup = 0x0007;
inline constexpr int kStartMenu = 0x000B;
inline constexpr int kDesktopDirectory = 0x0010;
inline constexpr int kCommonStartMenu = 0x0016;
inline constexpr int kCommonPrograms = 0x0017;
inline constexpr int kCommonStartup = 0x0018;
inline constexpr int kCommonDesktopDirectory = 0x0019;
inline constexpr int kAppData = 0x001A;
inline constexpr int kLocalAppData = 0x001C;
inline constexpr int kCommonAppData = 0x0023;
inline constexpr int kWindows = 0x0024;
inline constexpr int kSystem = 0x0025;
inline constexpr int kProgramFiles = 0x0026;
} // namespace csidl

// The Windows directory and the letter of its drive ('\0' when unknown).
ErrorCode WindowsDirectory(std::string& path);
char WindowsDriveLetter();
// The system directory of the native architecture: on x64 for a 32-bit process the
// "\\Sysnative" alias from Vista on.
ErrorCode NativeSystemDirectory(std::string& path);
ErrorCode ShellFolderPath(int csidlId, std::string& path);
// Drive letter of a shell folder that is a drive root, '\0' otherwise.
char ShellFolderDriveLetter(int csidlId);
// Display name and system icon index of a path (SHGetFileInfo).
ErrorCode ShellDisplayName(const std::string& path, std::string& name, int* iconIndex = nullptr);

} // namespace tvd
