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

int BuildAdministratorsSid(PSID *sid)
{
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    return AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                    0, 0, 0, 0, 0, sid) != 0;
}

int BuildEveryoneSid(PSID *sid)
{
    SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
    return AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, sid) != 0;
}

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

int BuildSystemSid(PSID *sid)
{
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    return AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, sid) !=
           0;
}

// Creates `path` with an access list of its own (not taken over from the
// parent) that admits Administrators and SYSTEM only, passed on to its files.
int CreateFolderForAdministrators(const char *path, PSID administrators, PSID system)
{
    SetEntriesInAclFn setEntries =
        (SetEntriesInAclFn)LookupSystemEntry("advapi32.dll", "SetEntriesInAclA");
    if (!setEntries)
        return 0;
    EXPLICIT_ACCESS_A entries[2];
    const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    FillAccessEntry(&entries[0], GENERIC_ALL, TRUSTEE_IS_GROUP, administrators, inherit);
    FillAccessEntry(&entries[1], GENERIC_ALL, TRUSTEE_IS_USER, system, inherit);
    PACL list = 0;
    if (setEntries(2, entries, 0, &list) != ERROR_SUCCESS)
        return 0;
    SECURITY_DESCRIPTOR descriptor;
    // Owned by Administrators whatever the system's default owner for an
    // administrator's objects: a later run cleans up only folders they own.
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

// The two owners of what setup makes for itself: Administrators and SYSTEM.
struct OwnerSids {
    PSID administrators;
    PSID system;
};

int BuildOwnerSids(OwnerSids *sids)
{
    sids->administrators = 0;
    sids->system = 0;
    return BuildAdministratorsSid(&sids->administrators) && BuildSystemSid(&sids->system);
}

void FreeOwnerSids(OwnerSids *sids)
{
    if (sids->system)
        FreeSid(sids->system);
    if (sids->administrators)
        FreeSid(sids->administrators);
}

} // namespace

int CreatePrivateFolder(const char *path)
{
    OwnerSids sids;
    int ok = BuildOwnerSids(&sids) &&
             CreateFolderForAdministrators(path, sids.administrators, sids.system);
    DWORD error = GetLastError();
    FreeOwnerSids(&sids);
    SetLastError(error);
    return ok;
}

int IsOwnedByAdministrators(HANDLE object)
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
    OwnerSids sids;
    int owned = BuildOwnerSids(&sids) && owner &&
                (EqualSid(owner, sids.administrators) || EqualSid(owner, sids.system));
    FreeOwnerSids(&sids);
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
    PSID administrators = 0;
    int result = 0;
    if (BuildAdministratorsSid(&administrators)) {
        result = HasEnabledAdministrators(groups, administrators);
        FreeSid(administrators);
    }
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
    PSID everyone = 0;
    PSID administrators = 0;
    int ok = BuildEveryoneSid(&everyone) && BuildAdministratorsSid(&administrators) &&
             ApplyFileSecurity(path, administrators, everyone);
    if (administrators)
        FreeSid(administrators);
    if (everyone)
        FreeSid(everyone);
    return ok;
}
