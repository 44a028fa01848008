// Helpers of the Windows tests: unique temporary folders, child processes with captured output,
// access-list inspection and the test program's own path.
#pragma once
#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

namespace tvd::wintest {

// A unique name part: process id, tick count and a counter.
std::wstring UniqueSuffix();

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);
bool WriteRawFile(const std::wstring& path, const std::string& bytes);
std::string ReadRawFile(const std::wstring& path);
bool Exists(const std::wstring& path);
std::vector<std::wstring> FolderEntries(const std::wstring& folder);

struct ProcessResult {
    bool started = false;
    DWORD exitCode = 0;
    std::string output; // standard output and standard error together
};
// Runs a command line, waiting at most `timeoutMs`; a child still running then is terminated.
ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 60000);

std::wstring SelfPath();
std::wstring SystemDirectory();
bool RunningUnderWine();

// One entry of an access list, SIDs as text ("S-1-5-32-545").
struct AceInfo {
    BYTE type = 0;
    BYTE flags = 0;
    ACCESS_MASK mask = 0;
    std::wstring sid;
};
inline bool operator==(const AceInfo& a, const AceInfo& b) {
    return a.type == b.type && a.flags == b.flags && a.mask == b.mask && a.sid == b.sid;
}
void PrintTo(const AceInfo& ace, std::ostream* os);

struct DaclInfo {
    bool ok = false;
    bool isProtected = false;
    std::vector<AceInfo> entries;
    std::wstring owner;
};
DaclInfo ReadDacl(const std::wstring& path);
// Replaces a file's explicit access list (unprotected, inheritance kept).
bool SetExplicitEntries(const std::wstring& path, const std::vector<AceInfo>& entries,
                        bool protect = false);

// An access list in memory, as the entries say (for the pure access-list rules).
std::vector<DWORD> MakeAcl(const std::vector<AceInfo>& entries);
DaclInfo DescribeAcl(const ACL* acl);
// Whether files in `folder` keep the access lists set on them (Wine's do not: it derives them
// from the Unix mode bits).
bool KeepsAccessLists(const std::wstring& folder);

inline constexpr const wchar_t* kUsersSid = L"S-1-5-32-545";
inline constexpr const wchar_t* kAdminsSid = L"S-1-5-32-544";
inline constexpr const wchar_t* kSystemSid = L"S-1-5-18";
inline constexpr const wchar_t* kEveryoneSid = L"S-1-1-0";

inline bool IsFullAccess(ACCESS_MASK mask) {
    return (mask & GENERIC_ALL) || (mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS;
}

} // namespace tvd::wintest
