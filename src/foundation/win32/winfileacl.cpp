// Access lists of written files and of the folder for executables.
#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <vector>

#include "foundation/envutil.h"
#include "foundation/win32/winfileutil.h"
#include "foundation/win32/winhandle.h"
#include "foundation/winfolderutilw.h"
#include "foundation/winfolderutila.h"

namespace tvd::win {

namespace {

class WellKnownSid {
public:
    explicit WellKnownSid(WELL_KNOWN_SID_TYPE type) {
        DWORD size = sizeof buf_;
        ok_ = CreateWellKnownSid(type, nullptr, buf_, &size) != FALSE;
    }
    bool ok() const { return ok_; }
    PSID get() { return buf_; }
    bool Is(PSID sid) { return ok_ && sid && EqualSid(buf_, sid); }

private:
    alignas(DWORD) BYTE buf_[SECURITY_MAX_SID_SIZE] = {};
    bool ok_ = false;
};

PSID AceSid(const ACE_HEADER* ace) {
    switch (ace->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case SYSTEM_AUDIT_ACE_TYPE:
    case SYSTEM_ALARM_ACE_TYPE:
        return const_cast<DWORD*>(&reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace)->SidStart);
    default:
        return nullptr;
    }
}

std::vector<const ACE_HEADER*> Entries(const ACL* acl) {
    std::vector<const ACE_HEADER*> out;
    if (!acl) return out;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (GetAce(const_cast<ACL*>(acl), i, &ace)) out.push_back(static_cast<ACE_HEADER*>(ace));
    }
    return out;
}

bool Inherited(const ACE_HEADER* ace) {
    return (ace->AceFlags & INHERITED_ACE) != 0;
}

// An access list assembled in order from copied entries and new allowed entries.
class AclBuilder {
public:
    void Copy(const ACE_HEADER* ace) {
        parts_.push_back({ace, nullptr, 0, 0});
        size_ += ace->AceSize;
        if (ace->AceType > ACCESS_MAX_MS_V2_ACE_TYPE) revision_ = ACL_REVISION_DS;
    }
    void Allow(PSID sid, DWORD mask, BYTE flags) {
        parts_.push_back({nullptr, sid, mask, flags});
        size_ += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
    }
    ErrorCode Build(std::vector<DWORD>& buf) const {
        buf.assign((size_ + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
        ACL* acl = reinterpret_cast<ACL*>(buf.data());
        if (!InitializeAcl(acl, static_cast<DWORD>(buf.size() * sizeof(DWORD)), revision_))
            return LastError();
        for (const Part& p : parts_) {
            const BOOL ok = p.ace ? AddAce(acl, revision_, MAXDWORD, const_cast<ACE_HEADER*>(p.ace),
                                           p.ace->AceSize)
                                  : AddAccessAllowedAceEx(acl, revision_, p.flags, p.mask, p.sid);
            if (!ok) {
                buf.clear();
                return LastError();
            }
        }
        return err::kSuccess;
    }

private:
    struct Part {
        const ACE_HEADER* ace;
        PSID sid;
        DWORD mask;
        BYTE flags;
    };
    std::vector<Part> parts_;
    std::size_t size_ = sizeof(ACL);
    DWORD revision_ = ACL_REVISION;
};

constexpr BYTE kInheritToAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

bool FullAccess(DWORD mask) {
    return (mask & GENERIC_ALL) || (mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS;
}

} // namespace

ErrorCode ComposeWrittenFileAcl(const ACL* previous, const ACL* current, FileUse use,
                                std::vector<DWORD>& out) {
    out.clear();
    WellKnownSid users(WinBuiltinUsersSid);
    WellKnownSid system(WinLocalSystemSid);
    WellKnownSid admins(WinBuiltinAdministratorsSid);
    if (!users.ok() || !system.ok() || !admins.ok()) return LastError();

    const auto currentEntries = Entries(current);
    const bool hasInherited = std::any_of(currentEntries.begin(), currentEntries.end(), Inherited);
    AclBuilder acl;
    if (use == FileUse::kData) {
        // Earlier entries for Users (a deny, a narrower grant) would contradict the new one.
        for (const ACE_HEADER* ace : Entries(previous ? previous : current))
            if (!Inherited(ace) && !users.Is(AceSid(ace))) acl.Copy(ace);
        acl.Allow(users.get(), GENERIC_ALL, 0);
    } else if (!hasInherited) {
        // A file the elevated program will run keeps no grant of its own; should its folder pass
        // nothing on, it gets what the admin-only folder would have.
        acl.Allow(system.get(), FILE_ALL_ACCESS, 0);
        acl.Allow(admins.get(), FILE_ALL_ACCESS, 0);
    }
    for (const ACE_HEADER* ace : currentEntries)
        if (Inherited(ace)) acl.Copy(ace);
    return acl.Build(out);
}

ErrorCode SetWrittenFileAccess(const std::u16string& path, FileUse use, const ACL* previous) {
    if (!IsNt()) return err::kSuccess; // no access lists to set
    PACL current = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const DWORD rc = GetNamedSecurityInfoW(W(path), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                           nullptr, nullptr, &current, nullptr, &sd);
    LocalPtr<void> sdOwner(sd);
    if (rc != ERROR_SUCCESS) return rc;
    std::vector<DWORD> acl;
    if (ErrorCode e = ComposeWrittenFileAcl(previous, current, use, acl)) return e;
    std::u16string mutablePath = path;
    return SetNamedSecurityInfoW(reinterpret_cast<wchar_t*>(mutablePath.data()), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, reinterpret_cast<ACL*>(acl.data()), nullptr);
}

bool IsAdminOnlySecurity(PSID owner, const ACL* dacl, bool isProtected) {
    WellKnownSid system(WinLocalSystemSid);
    WellKnownSid admins(WinBuiltinAdministratorsSid);
    if (!isProtected || !dacl) return false; // a null list lets everyone in
    if (!system.Is(owner) && !admins.Is(owner)) return false;
    bool haveSystem = false, haveAdmins = false;
    for (const ACE_HEADER* ace : Entries(dacl)) {
        if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
        if ((ace->AceFlags & (kInheritToAll | INHERIT_ONLY_ACE)) != kInheritToAll) return false;
        if (!FullAccess(reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace)->Mask)) return false;
        PSID sid = AceSid(ace);
        if (system.Is(sid))
            haveSystem = true;
        else if (admins.Is(sid))
            haveAdmins = true;
        else
            return false;
    }
    return haveSystem && haveAdmins;
}

ErrorCode AdminOnlyAcl(std::vector<DWORD>& out) {
    WellKnownSid system(WinLocalSystemSid);
    WellKnownSid admins(WinBuiltinAdministratorsSid);
    if (!system.ok() || !admins.ok()) return LastError();
    AclBuilder acl;
    acl.Allow(system.get(), FILE_ALL_ACCESS, kInheritToAll);
    acl.Allow(admins.get(), FILE_ALL_ACCESS, kInheritToAll);
    return acl.Build(out);
}

namespace {
// Reads a folder's owner, access list and protection and hands them to `rule`; false when they
// cannot be read.
bool CheckFolderSecurity(const std::u16string& folder, bool (*rule)(PSID, const ACL*, bool)) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(W(folder), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return false;
    LocalPtr<void> sdOwner(sd);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(sd, &control, &revision)) return false;
    return rule(owner, dacl, (control & SE_DACL_PROTECTED) != 0);
}
} // namespace

bool IsAdminOnlyFolder(const std::u16string& folder) {
    return CheckFolderSecurity(folder, IsAdminOnlySecurity);
}

ErrorCode SecureAdminOnlyFolder(const std::u16string& folder) {
    if (!IsNt()) return err::kSuccess;
    if (IsAdminOnlyFolder(folder)) return err::kSuccess;
    std::vector<DWORD> acl;
    if (ErrorCode e = AdminOnlyAcl(acl)) return e;
    WellKnownSid admins(WinBuiltinAdministratorsSid);
    // Taking ownership too: a folder planted by someone else stays theirs to reopen otherwise.
    std::u16string mutablePath = folder;
    return SetNamedSecurityInfoW(reinterpret_cast<wchar_t*>(mutablePath.data()), SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                     PROTECTED_DACL_SECURITY_INFORMATION,
                                 admins.get(), nullptr, reinterpret_cast<ACL*>(acl.data()),
                                 nullptr);
}

namespace {

// Rights that change nothing in a folder: reading, listing, traversing, attributes.
constexpr ACCESS_MASK kReadOnlyRights =
    FILE_GENERIC_READ | FILE_GENERIC_EXECUTE | GENERIC_READ | GENERIC_EXECUTE | SYNCHRONIZE;

} // namespace

bool IsSafeParentSecurity(PSID owner, const ACL* dacl, bool isProtected) {
    WellKnownSid system(WinLocalSystemSid);
    WellKnownSid admins(WinBuiltinAdministratorsSid);
    if (!isProtected || !dacl) return false;
    if (!system.Is(owner) && !admins.Is(owner)) return false;
    for (const ACE_HEADER* ace : Entries(dacl)) {
        if (ace->AceType == ACCESS_DENIED_ACE_TYPE) continue; // denying never opens anything
        if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
        PSID sid = AceSid(ace);
        if (system.Is(sid) || admins.Is(sid)) continue;
        const bool filesOnly =
            (ace->AceFlags & INHERIT_ONLY_ACE) && !(ace->AceFlags & CONTAINER_INHERIT_ACE);
        if (filesOnly) continue;
        if (reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace)->Mask & ~kReadOnlyRights) return false;
    }
    return true;
}

ErrorCode DataParentAcl(std::vector<DWORD>& out) {
    WellKnownSid system(WinLocalSystemSid);
    WellKnownSid admins(WinBuiltinAdministratorsSid);
    WellKnownSid users(WinBuiltinUsersSid);
    if (!system.ok() || !admins.ok() || !users.ok()) return LastError();
    AclBuilder acl;
    acl.Allow(system.get(), FILE_ALL_ACCESS, kInheritToAll);
    acl.Allow(admins.get(), FILE_ALL_ACCESS, kInheritToAll);
    acl.Allow(users.get(), FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, kInheritToAll);
    acl.Allow(users.get(), FILE_ALL_ACCESS, OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE);
    return acl.Build(out);
}

bool IsSafeParentFolder(const std::u16string& folder) {
    const DWORD attributes = GetFileAttributesW(W(folder));
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return CheckFolderSecurity(folder, IsSafeParentSecurity);
}

ErrorCode SecureDataParentFolder(const std::u16string& folder) {
    const DWORD attributes = GetFileAttributesW(W(folder));
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return err::kFileExists;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return err::kAccessDenied;
    if (!IsNt()) return err::kSuccess;
    if (IsSafeParentFolder(folder)) return err::kSuccess;
    std::vector<DWORD> acl;
    if (ErrorCode e = DataParentAcl(acl)) return e;
    WellKnownSid admins(WinBuiltinAdministratorsSid);
    std::u16string mutablePath = folder;
    return SetNamedSecurityInfoW(reinterpret_cast<wchar_t*>(mutablePath.data()), SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                     PROTECTED_DACL_SECURITY_INFORMATION,
                                 admins.get(), nullptr, reinterpret_cast<ACL*>(acl.data()),
                                 nullptr);
}

ErrorCode ProductDataFolderW(std::u16string& path) {
    path.clear();
    std::u16string base;
    if (ErrorCode e = ShellFolderPathW(csidl::kCommonAppData, base)) return e;
    if (!base.empty() && base.back() == u'\\') base.pop_back();
    const std::u16string vendor = base + u"\\Zolt";
    const std::u16string product = vendor + u"\\VornaTarvikdorn";
    if (ErrorCode e = CreateFolderPath(product)) return e;
    for (const std::u16string& level : {vendor, product})
        if (ErrorCode e = SecureDataParentFolder(level)) return e;
    path = product;
    return err::kSuccess;
}

ErrorCode AdminOnlyFolderW(std::u16string& path) {
    path.clear();
    std::u16string product;
    if (ErrorCode e = ProductDataFolderW(product)) return e;
    std::u16string folder = product + u"\\bin";
    if (ErrorCode e = CreateFolderPath(folder)) return e;
    const DWORD attributes = GetFileAttributesW(W(folder));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return err::kAccessDenied;
    if (ErrorCode e = SecureAdminOnlyFolder(folder)) return e;
    path = std::move(folder);
    return err::kSuccess;
}

} // namespace tvd::win
