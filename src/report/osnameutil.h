// The program's own names of operating systems: Windows from the version code, product type,
// architecture and build; Linux from os-release.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace tvd {

// "Windows 10 (x64), version 22H2" and its kin; "This Windows version" for unknown codes.
std::string OsDisplayName(std::uint32_t osCode, std::uint32_t arch, std::uint32_t build);

// KEY=value lines of os-release (quotes and backslash escapes removed; comments skipped).
std::map<std::string, std::string> ParseOsRelease(std::string_view text);
// "NAME VERSION_ID (arch)": "Debian GNU/Linux 12 (x64)"; "Linux" when NAME is empty.
std::string LinuxOsName(const std::string& name, const std::string& versionId, std::uint32_t arch);

} // namespace tvd
