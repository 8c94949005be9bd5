// Administrator check, the take-ownership privilege, and the owner, group and
// access list given to each installed file. NT family only.
#include "registry/registry.h"

#include "base/system_entry.h"

#include <aclapi.h>

namespace {

typedef DWORD(WINAPI *SetEntriesInAclFn)(ULONG, PEXPLICIT_ACCESS_A, PACL, PACL *);
typedef DWORD(WINAPI *SetNamedSecurityInfoFn)(LPSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID,
                                              PSID, PACL, PACL);
typedef BOOL(WINAPI *SetSecurityDescriptorControlFn)(PSECURITY_DESCRIPTOR,
                                                     SECURITY_DESCRIPTOR_CONTROL,
                                                     SECURITY_DESCRIPTOR_CONTROL);

// The token's group list in a LocalAlloc block, or null.
TOKEN_GROUPS *QueryTokenGroups(void)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    TOKEN_GROUPS *groups = 0;
    DWORD needed = 0;
    if (GetTokenInformation(token, TokenGroups, 0, 0, &needed) ||
        GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        groups = (TOKEN_GROUPS *)LocalAlloc(LMEM_ZEROINIT, needed);
        if (groups && !GetTokenInformation(token, TokenGroups, groups, needed, &needed)) {
            LocalFree(groups);
            groups = 0;
        }
    }
    CloseHandle(token);
    return groups;
}

// Information of class `type` of the process token into `buffer` of `size`
// bytes; 0 when the system does not know the class or it does not fit.
int ReadOwnToken(TOKEN_INFORMATION_CLASS type, void *buffer, DWORD size)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    int known = GetTokenInformation(token, type, buffer, size, &size) != 0;
    CloseHandle(token);
    return known;
}

// One entry of an access list: a well-known account, its trustee type and
// its rights.
struct AccessRow {
    BYTE account;
    BYTE type;  // a TRUSTEE_TYPE
    DWORD rights;
};

// Installed files: read and execute for Everyone, full control for
// Administrators.
const AccessRow kFileAccess[] = {
    {WELL_KNOWN_EVERYONE, TRUSTEE_IS_WELL_KNOWN_GROUP, GENERIC_READ | GENERIC_EXECUTE},
    {WELL_KNOWN_ADMINISTRATORS, TRUSTEE_IS_GROUP, GENERIC_ALL}};
// Folders setup creates: full control for Administrators and SYSTEM (its
// private folders, the first two rows); with TrustedInstaller's full control
// and read and execute for Users, the list of Program Files.
const AccessRow kFolderAccess[] = {
    {WELL_KNOWN_ADMINISTRATORS, TRUSTEE_IS_GROUP, GENERIC_ALL},
    {WELL_KNOWN_SYSTEM, TRUSTEE_IS_USER, GENERIC_ALL},
    {WELL_KNOWN_TRUSTED_INSTALLER, TRUSTEE_IS_USER, GENERIC_ALL},
    {WELL_KNOWN_USERS, TRUSTEE_IS_GROUP, GENERIC_READ | GENERIC_EXECUTE}};

// The access list of the first `count` rows, each passed on as
// `inheritance` says, in a LocalAlloc block; null when it cannot be made.
// SetEntriesInAclA is looked up so that the program still loads where the
// system lacks it.
PACL BuildAccessList(const AccessRow *rows, int count, DWORD inheritance)
{
    SetEntriesInAclFn setEntries =
        (SetEntriesInAclFn)LookupSystemEntry("advapi32.dll", "SetEntriesInAclA");
    EXPLICIT_ACCESS_A entries[4];
    ZeroMemory(entries, sizeof(entries));  // no multiple trustee
    for (int i = 0; i < count; ++i) {
        entries[i].grfAccessPermissions = rows[i].rights;
        entries[i].grfAccessMode = SET_ACCESS;
        entries[i].grfInheritance = inheritance;
        entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entries[i].Trustee.TrusteeType = (TRUSTEE_TYPE)rows[i].type;
        entries[i].Trustee.ptstrName = (LPSTR)WellKnownSid(rows[i].account);
    }
    PACL list = 0;
    return setEntries && setEntries((ULONG)count, entries, 0, &list) == ERROR_SUCCESS ? list : 0;
}

// Applies owner, group and the new list; SetNamedSecurityInfoA is looked up
// so that the program still loads where the system lacks it.
int ApplyFileSecurity(const char *path)
{
    SetNamedSecurityInfoFn setNamed =
        (SetNamedSecurityInfoFn)LookupSystemEntry("advapi32.dll", "SetNamedSecurityInfoA");
    PACL list = setNamed ? BuildAccessList(kFileAccess, 2, NO_INHERITANCE) : 0;
    if (!list)
        return 0;
    PSID administrators = WellKnownSid(WELL_KNOWN_ADMINISTRATORS);
    char name[MAX_PATH];
    lstrcpynA(name, path, MAX_PATH);
    int ok = setNamed(name, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                          DACL_SECURITY_INFORMATION,
                      administrators, administrators, list, 0) == ERROR_SUCCESS;
    LocalFree(list);
    return ok;
}

// Creates `path` owned by Administrators with the access list of the first
// `count` rows of kFolderAccess, not taken over from the parent and passed
// on to what the folder holds.
int CreateFolderWithAccess(const char *path, int count)
{
    PACL list = BuildAccessList(kFolderAccess, count, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    if (!list)
        return 0;
    PSID administrators = WellKnownSid(WELL_KNOWN_ADMINISTRATORS);
    SECURITY_DESCRIPTOR descriptor;
    // Owned by Administrators whatever the system's default owner for an
    // administrator's objects: a later run trusts only folders they own.
    typedef BOOL(WINAPI * SetOwnerFn)(PSECURITY_DESCRIPTOR, PSID, BOOL);
    SetOwnerFn setOwner =
        (SetOwnerFn)LookupSystemEntry("advapi32.dll", "SetSecurityDescriptorOwner");
    int ok = InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
             SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE) && setOwner &&
             setOwner(&descriptor, administrators, FALSE);
    SetSecurityDescriptorControlFn protect = (SetSecurityDescriptorControlFn)LookupSystemEntry(
        "advapi32.dll", "SetSecurityDescriptorControl");
    if (ok && protect)
        protect(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
    // A token that may not give Administrators the folder makes it its own.
    ok = ok && (CreateDirectoryA(path, &attributes) ||
                (GetLastError() == ERROR_INVALID_OWNER && setOwner(&descriptor, 0, FALSE) &&
                 CreateDirectoryA(path, &attributes)));
    LocalFree(list);
    return ok;
}

// The owner of the open `object` and, when `list` is asked for, its access
// list, both in `*descriptor` (for LocalFree); 0 when the system cannot say.
int ReadObjectSecurity(HANDLE object, PSID *owner, PACL *list, PSECURITY_DESCRIPTOR *descriptor)
{
    typedef DWORD(WINAPI * GetSecurityInfoFn)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID *,
                                              PSID *, PACL *, PACL *, PSECURITY_DESCRIPTOR *);
    GetSecurityInfoFn getInfo =
        (GetSecurityInfoFn)LookupSystemEntry("advapi32.dll", "GetSecurityInfo");
    SECURITY_INFORMATION asked =
        OWNER_SECURITY_INFORMATION | (list ? DACL_SECURITY_INFORMATION : 0);
    return getInfo &&
           getInfo(object, SE_FILE_OBJECT, asked, owner, 0, list, 0, descriptor) == ERROR_SUCCESS &&
           *owner;
}

// Whether `account` is one of the first `count` well-known accounts.
int IsWellKnownOf(PSID account, int count)
{
    int found = 0;
    for (int i = 0; i < count; ++i)
        found |= EqualSid(account, WellKnownSid(i)) != 0;
    return found;
}

// Whether `account` is the one that runs this program.
int IsRunningAccount(PSID account)
{
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } runner;
    return ReadOwnToken(TokenUser, &runner, sizeof(runner)) &&
           EqualSid(account, runner.user.User.Sid);
}

// Rights over a folder that let an account put, change or delete what it
// holds, or the folder itself, or its access list.
const DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                            FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER |
                            GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

// Whether the access list `list` gives change rights to no account but
// `owner`, Administrators and SYSTEM. An entry of a kind not known here
// counts as one that gives them; no list at all lets everyone in.
int LetsOnlyOwnersChange(PACL list, PSID owner)
{
    if (!list)
        return 0;
    for (DWORD i = 0; i < list->AceCount; ++i) {
        ACCESS_ALLOWED_ACE *entry = 0;
        if (!GetAce(list, i, (void **)&entry))
            return 0;
        if (entry->Header.AceType == ACCESS_DENIED_ACE_TYPE)
            continue;  // it only takes rights away
        PSID account = &entry->SidStart;
        if (entry->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            ((entry->Mask & kChangeRights) && !EqualSid(account, owner) &&
             !IsWellKnownOf(account, WELL_KNOWN_SYSTEM + 1)))
            return 0;
    }
    return 1;
}

} // namespace

int CreatePrivateFolder(const char *path)
{
    return CreateFolderWithAccess(path, 2);
}

int CreateProtectedFolder(const char *path)
{
    return CreateFolderWithAccess(path, 4);
}

int IsOwnedByTrustedAccount(HANDLE object)
{
    PSID owner = 0;
    PSECURITY_DESCRIPTOR descriptor = 0;
    int owned = ReadObjectSecurity(object, &owner, 0, &descriptor) &&
                (IsWellKnownOf(owner, WELL_KNOWN_TRUSTED_INSTALLER + 1) || IsRunningAccount(owner));
    LocalFree(descriptor);
    return owned;
}

int IsPrivateFolder(HANDLE object)
{
    PSID owner = 0;
    PACL list = 0;
    PSECURITY_DESCRIPTOR descriptor = 0;
    int owned = ReadObjectSecurity(object, &owner, &list, &descriptor) &&
                (IsWellKnownOf(owner, WELL_KNOWN_SYSTEM + 1) ||
                 (IsRunningAccount(owner) && IsAdministrator())) &&
                LetsOnlyOwnersChange(list, owner);
    LocalFree(descriptor);
    return owned;
}

int HasEnabledAdministrators(const TOKEN_GROUPS *groups, PSID administrators)
{
    int result = 0;
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        if (EqualSid(groups->Groups[i].Sid, administrators) &&
            (groups->Groups[i].Attributes & SE_GROUP_ENABLED))
            result = 1;
    return result;
}

int IsAdministrator(void)
{
    TOKEN_GROUPS *groups = QueryTokenGroups();
    if (!groups)
        return 0;
    int result = HasEnabledAdministrators(groups, WellKnownSid(WELL_KNOWN_ADMINISTRATORS));
    LocalFree(groups);
    return result;
}

int QueryElevationType(void)
{
    DWORD type = 0;
    // Systems before Vista know no such class and fail the query.
    if (!ReadOwnToken((TOKEN_INFORMATION_CLASS)18 /* TokenElevationType */, &type,
                      sizeof(type)) ||
        type > ELEVATION_LIMITED)
        return ELEVATION_UNKNOWN;
    return (int)type;
}

int QueryTokenElevated(void)
{
    DWORD elevated = 0;
    if (!ReadOwnToken((TOKEN_INFORMATION_CLASS)20 /* TokenElevation */, &elevated,
                      sizeof(elevated)))
        return -1;
    return elevated != 0;
}

int EnableTakeOwnership(void)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return 0;
    TOKEN_PRIVILEGES privileges;
    ZeroMemory(&privileges, sizeof(privileges));
    int result = 0;
    if (LookupPrivilegeValueA(0, "SeTakeOwnershipPrivilege", &privileges.Privileges[0].Luid)) {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        // Only the call's result counts: a token without the privilege still succeeds.
        result = AdjustTokenPrivileges(token, FALSE, &privileges, 0, 0, 0) != 0;
    }
    CloseHandle(token);
    return result;
}

int SetFileAccessRights(const char *path)
{
    if (!path || lstrlenA(path) >= MAX_PATH)
        return 0;
    return ApplyFileSecurity(path);
}
