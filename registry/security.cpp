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

// The token's group list in a GlobalAlloc block, or null.
TOKEN_GROUPS *QueryTokenGroups(void)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    TOKEN_GROUPS *groups = 0;
    DWORD needed = 0;
    if (GetTokenInformation(token, TokenGroups, 0, 0, &needed) ||
        GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        groups = (TOKEN_GROUPS *)GlobalAlloc(GMEM_ZEROINIT, needed);
        if (groups && !GetTokenInformation(token, TokenGroups, groups, needed, &needed)) {
            GlobalFree(groups);
            groups = 0;
        }
    }
    CloseHandle(token);
    return groups;
}

// One 32-bit value of the process token; 0 when the system does not know the class.
int QueryTokenValue(TOKEN_INFORMATION_CLASS type, DWORD *value)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    DWORD size = 0;
    int known = GetTokenInformation(token, type, value, sizeof(*value), &size) != 0;
    CloseHandle(token);
    return known;
}

void FillAccessEntry(EXPLICIT_ACCESS_A *entry, DWORD permissions, TRUSTEE_TYPE type, PSID sid,
                     DWORD inheritance = NO_INHERITANCE)
{
    ZeroMemory(entry, sizeof(*entry));
    entry->grfAccessPermissions = permissions;
    entry->grfAccessMode = SET_ACCESS;
    entry->grfInheritance = inheritance;
    entry->Trustee.pMultipleTrustee = 0;
    entry->Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    entry->Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry->Trustee.TrusteeType = type;
    entry->Trustee.ptstrName = (LPSTR)sid;
}

// Applies owner, group and the new list; the two functions are looked up so
// that the program still loads where the system lacks them.
int ApplyFileSecurity(const char *path, PSID administrators, PSID everyone)
{
    SetEntriesInAclFn setEntries =
        (SetEntriesInAclFn)LookupSystemEntry("advapi32.dll", "SetEntriesInAclA");
    SetNamedSecurityInfoFn setNamed =
        (SetNamedSecurityInfoFn)LookupSystemEntry("advapi32.dll", "SetNamedSecurityInfoA");
    if (!setEntries || !setNamed)
        return 0;
    EXPLICIT_ACCESS_A entries[2];
    FillAccessEntry(&entries[0], GENERIC_READ | GENERIC_EXECUTE, TRUSTEE_IS_WELL_KNOWN_GROUP,
                    everyone);
    FillAccessEntry(&entries[1], GENERIC_ALL, TRUSTEE_IS_GROUP, administrators);
    PACL list = 0;
    if (setEntries(2, entries, 0, &list) != ERROR_SUCCESS)
        return 0;
    char name[MAX_PATH];
    lstrcpynA(name, path, MAX_PATH);
    int ok = setNamed(name, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                          DACL_SECURITY_INFORMATION,
                      administrators, administrators, list, 0) == ERROR_SUCCESS;
    LocalFree(list);
    return ok;
}

// Creates `path` owned by Administrators with an access list of its own (not
// taken over from the parent): the first `full` well-known accounts get full
// control, and with `usersRead` the Users group read and execute, all passed
// on to what the folder holds.
int CreateFolderWithAccess(const char *path, int full, int usersRead)
{
    SetEntriesInAclFn setEntries =
        (SetEntriesInAclFn)LookupSystemEntry("advapi32.dll", "SetEntriesInAclA");
    if (!setEntries)
        return 0;
    EXPLICIT_ACCESS_A entries[WELL_KNOWN_USERS + 1];
    const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    for (int i = 0; i < full; ++i)
        FillAccessEntry(&entries[i], GENERIC_ALL,
                        i == WELL_KNOWN_ADMINISTRATORS ? TRUSTEE_IS_GROUP : TRUSTEE_IS_USER,
                        WellKnownSid(i), inherit);
    if (usersRead)
        FillAccessEntry(&entries[full], GENERIC_READ | GENERIC_EXECUTE, TRUSTEE_IS_GROUP,
                        WellKnownSid(WELL_KNOWN_USERS), inherit);
    PACL list = 0;
    if (setEntries((ULONG)(full + usersRead), entries, 0, &list) != ERROR_SUCCESS)
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

// Whether the owner of the open `object` is one of the first `count`
// well-known accounts, or, with `orRunner`, the account that runs this
// program. An owner the system does not name is none of them.
int IsOwnedByOneOf(HANDLE object, int count, int orRunner)
{
    typedef DWORD(WINAPI * GetSecurityInfoFn)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID *,
                                              PSID *, PACL *, PACL *, PSECURITY_DESCRIPTOR *);
    GetSecurityInfoFn getInfo =
        (GetSecurityInfoFn)LookupSystemEntry("advapi32.dll", "GetSecurityInfo");
    PSID owner = 0;
    PSECURITY_DESCRIPTOR descriptor = 0;
    if (!getInfo || getInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, 0, 0, 0,
                            &descriptor) != ERROR_SUCCESS)
        return 0;
    int owned = 0;
    for (int i = 0; owner && i < count; ++i)
        owned |= EqualSid(owner, WellKnownSid(i)) != 0;
    HANDLE token;
    if (owner && !owned && orRunner && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        union {
            TOKEN_USER user;
            BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        } runner;
        DWORD size = 0;
        owned = GetTokenInformation(token, TokenUser, &runner, sizeof(runner), &size) &&
                EqualSid(owner, runner.user.User.Sid);
        CloseHandle(token);
    }
    LocalFree(descriptor);
    return owned;
}

} // namespace

int CreatePrivateFolder(const char *path)
{
    return CreateFolderWithAccess(path, WELL_KNOWN_SYSTEM + 1, 0);
}

int CreateProtectedFolder(const char *path)
{
    return CreateFolderWithAccess(path, WELL_KNOWN_TRUSTED_INSTALLER + 1, 1);
}

int IsOwnedByAdministrators(HANDLE object)
{
    return IsOwnedByOneOf(object, WELL_KNOWN_SYSTEM + 1, 0);
}

int IsOwnedByTrustedAccount(HANDLE object)
{
    return IsOwnedByOneOf(object, WELL_KNOWN_TRUSTED_INSTALLER + 1, 1);
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
    GlobalFree(groups);
    return result;
}

int QueryElevationType(void)
{
    DWORD type = 0;
    // Systems before Vista know no such class and fail the query.
    if (!QueryTokenValue((TOKEN_INFORMATION_CLASS)18 /* TokenElevationType */, &type) ||
        type > ELEVATION_LIMITED)
        return ELEVATION_UNKNOWN;
    return (int)type;
}

int QueryTokenElevated(void)
{
    DWORD elevated = 0;
    if (!QueryTokenValue((TOKEN_INFORMATION_CLASS)20 /* TokenElevation */, &elevated))
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
    return ApplyFileSecurity(path, WellKnownSid(WELL_KNOWN_ADMINISTRATORS),
                             WellKnownSid(WELL_KNOWN_EVERYONE));
}
