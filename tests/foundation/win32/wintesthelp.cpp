#include "foundation/win32/wintesthelp.h"

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <cstdio>

namespace tvd::wintest {

std::wstring UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    wchar_t buf[64];
    std::swprintf(buf, 64, L"%lx%lx%x", GetCurrentProcessId(), GetTickCount(),
                  counter.fetch_add(1));
    return buf;
}

TempDir::TempDir() {
    wchar_t base[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base, n) + L"tvdtest" + UniqueSuffix();
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempDir::~TempDir() {
    RemoveTree(path_);
}

void RemoveTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    for (const std::wstring& name : FolderEntries(path))
        RemoveTree(path + L"\\" + name);
    RemoveDirectoryW(path.c_str());
}

bool WriteRawFile(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        bytes.empty() || (WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                          written == bytes.size());
    CloseHandle(h);
    return ok;
}

std::string ReadRawFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<unreadable>";
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (f == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(f, &fd));
    FindClose(f);
    return names;
}

ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs) {
    ProcessResult result;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::wstring cmd = commandLine;
    result.started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                    nullptr, nullptr, &si, &pi) != FALSE;
    CloseHandle(writeEnd);
    if (!result.started) {
        CloseHandle(readEnd);
        return result;
    }
    // Read on until the child closes its end; the pipe would otherwise fill and stall it.
    const DWORD start = GetTickCount();
    char buf[4096];
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;
        if (available > 0) {
            DWORD got = 0;
            if (!ReadFile(readEnd, buf, sizeof buf, &got, nullptr) || got == 0) break;
            result.output.append(buf, got);
            continue;
        }
        if (WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0) {
            // Drain what is left.
            while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) &&
                   available > 0) {
                DWORD got = 0;
                if (!ReadFile(readEnd, buf, sizeof buf, &got, nullptr) || got == 0) break;
                result.output.append(buf, got);
            }
            break;
        }
        if (GetTickCount() - start > timeoutMs) {
            TerminateProcess(pi.hProcess, 0xDEAD);
            WaitForSingleObject(pi.hProcess, 5000);
            break;
        }
    }
    GetExitCodeProcess(pi.hProcess, &result.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(readEnd);
    return result;
}

std::wstring SelfPath() {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    return std::wstring(buf, n);
}

std::wstring SystemDirectory() {
    wchar_t buf[MAX_PATH];
    const UINT n = GetSystemDirectoryW(buf, MAX_PATH);
    return std::wstring(buf, n);
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

namespace {

std::wstring SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!sid || !ConvertSidToStringSidW(sid, &text)) return L"";
    std::wstring out = text;
    LocalFree(text);
    return out;
}

} // namespace

void PrintTo(const AceInfo& ace, std::ostream* os) {
    std::string sid(ace.sid.begin(), ace.sid.end()); // SIDs are ASCII
    *os << (ace.type == ACCESS_DENIED_ACE_TYPE ? "deny " : "allow ") << sid << " mask " << std::hex
        << ace.mask << " flags " << int(ace.flags) << std::dec;
}

DaclInfo DescribeAcl(const ACL* acl) {
    DaclInfo info;
    info.ok = true;
    for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(const_cast<ACL*>(acl), i, &raw)) continue;
        auto* header = static_cast<ACE_HEADER*>(raw);
        AceInfo ace;
        ace.type = header->AceType;
        ace.flags = header->AceFlags;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE ||
            header->AceType == ACCESS_DENIED_ACE_TYPE) {
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(raw);
            ace.mask = allowed->Mask;
            ace.sid = SidText(&allowed->SidStart);
        }
        info.entries.push_back(ace);
    }
    return info;
}

DaclInfo ReadDacl(const std::wstring& path) {
    PACL dacl = nullptr;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return {};
    DaclInfo info = DescribeAcl(dacl);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(sd, &control, &revision);
    info.isProtected = (control & SE_DACL_PROTECTED) != 0;
    info.owner = SidText(owner);
    LocalFree(sd);
    return info;
}

std::vector<DWORD> MakeAcl(const std::vector<AceInfo>& entries) {
    std::vector<PSID> sids;
    DWORD size = sizeof(ACL);
    for (const AceInfo& e : entries) {
        PSID sid = nullptr;
        if (!ConvertStringSidToSidW(e.sid.c_str(), &sid)) break;
        sids.push_back(sid);
        size += sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid);
    }
    std::vector<DWORD> buf(size / sizeof(DWORD) + 1);
    auto* acl = reinterpret_cast<ACL*>(buf.data());
    bool ok = sids.size() == entries.size() &&
              InitializeAcl(acl, DWORD(buf.size() * sizeof(DWORD)), ACL_REVISION);
    for (std::size_t i = 0; ok && i < entries.size(); ++i) {
        ok = entries[i].type == ACCESS_DENIED_ACE_TYPE
                 ? AddAccessDeniedAceEx(acl, ACL_REVISION, entries[i].flags, entries[i].mask,
                                        sids[i])
                 : AddAccessAllowedAceEx(acl, ACL_REVISION, entries[i].flags, entries[i].mask,
                                         sids[i]);
    }
    for (PSID sid : sids)
        LocalFree(sid);
    if (!ok) buf.clear();
    return buf;
}

bool SetExplicitEntries(const std::wstring& path, const std::vector<AceInfo>& entries,
                        bool protect) {
    std::vector<DWORD> acl = MakeAcl(entries);
    if (acl.empty()) return false;
    std::wstring mutablePath = path;
    return SetNamedSecurityInfoW(
               mutablePath.data(), SE_FILE_OBJECT,
               DACL_SECURITY_INFORMATION | (protect ? PROTECTED_DACL_SECURITY_INFORMATION
                                                    : UNPROTECTED_DACL_SECURITY_INFORMATION),
               nullptr, nullptr, reinterpret_cast<ACL*>(acl.data()), nullptr) == ERROR_SUCCESS;
}

bool KeepsAccessLists(const std::wstring& folder) {
    const std::wstring probe = folder + L"\acl-probe" + UniqueSuffix();
    if (!WriteRawFile(probe, "x")) return false;
    const bool set =
        SetExplicitEntries(probe, {{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_GENERIC_READ, kUsersSid},
                                   {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, kSystemSid}});
    bool kept = false;
    for (const AceInfo& ace : ReadDacl(probe).entries)
        kept = kept || (ace.sid == kUsersSid && ace.mask == FILE_GENERIC_READ);
    DeleteFileW(probe.c_str());
    return set && kept;
}

} // namespace tvd::wintest
