// Path and access-list helpers behind the whole-file functions of the Windows layer.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "foundation/errorcodes.h"
#include "foundation/fileutil.h"

namespace tvd::win {

// The absolute form of a path (GetFullPathNameW: "." and ".." resolved, '/' turned into '\').
ErrorCode FullPath(const std::u16string& path, std::u16string& full);
// The folder part of an absolute path ("C:\\" for "C:\\x"); empty when there is none.
std::u16string FolderOf(const std::u16string& full);
// True when `full` names something strictly inside `folder` (both absolute; case-insensitive).
bool IsInsideFolder(const std::u16string& full, const std::u16string& folder);
// Creates the folders of an absolute path one level at a time; kFileExists when a file stands
// in the way.
ErrorCode CreateFolderPath(const std::u16string& folder);

// The access list a freshly written file gets. `previous` is the list of the file it replaced
// (nullptr when there was none), `current` the list the new file was created with. Data files:
// the explicit entries of `previous` (else of `current`) other than those of the local Users
// group, then the Users group's full access, then the inherited entries of `current`.
// Executables: only the inherited entries of `current`, or full access for SYSTEM and
// Administrators alone when nothing is inherited.
ErrorCode ComposeWrittenFileAcl(const ACL* previous, const ACL* current, FileUse use,
                                std::vector<DWORD>& acl);
ErrorCode SetWrittenFileAccess(const std::u16string& path, FileUse use, const ACL* previous);

// A folder is admin-only when its access list is protected and grants full control, inherited
// by everything inside, to SYSTEM and Administrators and to nobody else, and one of the two owns
// it (the owner may always rewrite the list).
bool IsAdminOnlySecurity(PSID owner, const ACL* dacl, bool isProtected);
ErrorCode AdminOnlyAcl(std::vector<DWORD>& acl);
bool IsAdminOnlyFolder(const std::u16string& folder);
// Gives `folder` that access list and owner unless it already has them.
ErrorCode SecureAdminOnlyFolder(const std::u16string& folder);

// The folders above the admin-only folder ("Zolt", "VornaTarvikdorn") hold data files that
// ordinary users may change, but must not let them delete, rename or replace entries (such as
// the executables' folder) or add any. Safe: protected, owned by SYSTEM or Administrators, and
// every entry for anyone else either reaches files only (inherit-only, object-inherit, not
// container-inherit) or grants no more than reading and listing.
bool IsSafeParentSecurity(PSID owner, const ACL* dacl, bool isProtected);
// Full control for SYSTEM and Administrators, read and list for Users, and full control for
// Users on the files inside only.
ErrorCode DataParentAcl(std::vector<DWORD>& acl);
bool IsSafeParentFolder(const std::u16string& folder);
// Gives `folder` that access list and Administrators as owner unless it is safe already; a
// reparse point (a link planted in its place) is refused with kAccessDenied.
ErrorCode SecureDataParentFolder(const std::u16string& folder);

// Creates "Zolt\VornaTarvikdorn" in the common application data folder with both levels
// secured by SecureDataParentFolder; `path` gets the inner one.
ErrorCode ProductDataFolderW(std::u16string& path);

ErrorCode AdminOnlyFolderW(std::u16string& path);

} // namespace tvd::win
