// The arguments the security operations hand to the system, and how the
// owner tests read what it answers: this test replaces LookupSystemEntry at
// link time, so the ACL functions it gets are recorders and stand-ins.
#include "base/system_entry.h"
#include "registry/registry.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>
#include <string.h>

#include <string>

namespace {

struct Recorded {
    int entriesCalls = 0;
    int namedCalls = 0;
    DWORD entriesResult = ERROR_SUCCESS;
    DWORD namedResult = ERROR_SUCCESS;
    ULONG count = 0;
    EXPLICIT_ACCESS_A entries[4];
    std::string trustees[4];  // read during the call: the SIDs die after it
    PACL oldList = (PACL)1;
    PACL newList = 0;
    std::string path;
    SE_OBJECT_TYPE type = SE_UNKNOWN_OBJECT_TYPE;
    SECURITY_INFORMATION information = 0;
    bool ownerIsAdministrators = false;
    bool groupIsAdministrators = false;
    PACL dacl = 0;
    PACL sacl = (PACL)1;
    std::string owner;                       // the folder owner set in the new descriptor
    SECURITY_DESCRIPTOR_CONTROL control = 0;  // the bits set on it
    const char *reportedOwner = 0;           // what GetSecurityInfo says; "" none
    DWORD ownerResult = ERROR_SUCCESS;
} recorded;

std::string SidText(PSID sid)
{
    char *text = 0;
    if (!sid || !ConvertSidToStringSidA(sid, &text))
        return "";
    std::string result = text;
    LocalFree(text);
    return result;
}

PSID Administrators()
{
    static PSID sid = 0;
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    if (!sid)
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                 0, 0, 0, 0, &sid);
    return sid;
}

DWORD WINAPI RecordSetEntries(ULONG count, PEXPLICIT_ACCESS_A entries, PACL old, PACL *list)
{
    ++recorded.entriesCalls;
    recorded.count = count;
    for (ULONG i = 0; i < count && i < 4; ++i) {
        recorded.entries[i] = entries[i];
        recorded.trustees[i] = SidText((PSID)entries[i].Trustee.ptstrName);
    }
    recorded.oldList = old;
    if (recorded.entriesResult != ERROR_SUCCESS)
        return recorded.entriesResult;
    *list = (PACL)LocalAlloc(LMEM_ZEROINIT, 64);
    InitializeAcl(*list, 64, ACL_REVISION);  // empty, but one CreateDirectoryA takes
    recorded.newList = *list;
    return ERROR_SUCCESS;
}

DWORD WINAPI RecordSetNamed(LPSTR path, SE_OBJECT_TYPE type, SECURITY_INFORMATION information,
                            PSID owner, PSID group, PACL dacl, PACL sacl)
{
    ++recorded.namedCalls;
    recorded.path = path;
    recorded.type = type;
    recorded.information = information;
    recorded.ownerIsAdministrators = owner && EqualSid(owner, Administrators());
    recorded.groupIsAdministrators = group && EqualSid(group, Administrators());
    recorded.dacl = dacl;
    recorded.sacl = sacl;
    return recorded.namedResult;
}

BOOL WINAPI RecordOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner, BOOL defaulted)
{
    recorded.owner = SidText(owner);
    return SetSecurityDescriptorOwner(descriptor, owner, defaulted);
}

BOOL WINAPI RecordControl(PSECURITY_DESCRIPTOR descriptor, SECURITY_DESCRIPTOR_CONTROL mask,
                          SECURITY_DESCRIPTOR_CONTROL bits)
{
    recorded.control = mask & bits;
    return SetSecurityDescriptorControl(descriptor, mask, bits);
}

DWORD WINAPI ReportOwner(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID *owner, PSID *, PACL *,
                         PACL *, PSECURITY_DESCRIPTOR *descriptor)
{
    PSID sid = 0;  // a LocalAlloc block, as the caller frees the descriptor
    if (*recorded.reportedOwner)
        ConvertStringSidToSidA(recorded.reportedOwner, &sid);
    *owner = sid;
    *descriptor = sid;
    return recorded.ownerResult;
}

void ExpectEntry(const EXPLICIT_ACCESS_A &entry, DWORD permissions, TRUSTEE_TYPE type,
                 DWORD inheritance = NO_INHERITANCE)
{
    EXPECT_EQ(permissions, entry.grfAccessPermissions);
    EXPECT_EQ(SET_ACCESS, entry.grfAccessMode);
    EXPECT_EQ(inheritance, entry.grfInheritance);
    EXPECT_EQ(0, entry.Trustee.pMultipleTrustee);
    EXPECT_EQ(NO_MULTIPLE_TRUSTEE, entry.Trustee.MultipleTrusteeOperation);
    EXPECT_EQ(TRUSTEE_IS_SID, entry.Trustee.TrusteeForm);
    EXPECT_EQ(type, entry.Trustee.TrusteeType);
}

class SecurityCalls : public ::testing::Test {
protected:
    void SetUp() override { recorded = Recorded(); }
};

TEST_F(SecurityCalls, OwnerGroupAndTwoEntries)
{
    EXPECT_EQ(1, SetFileAccessRights("C:\\Program Files\\Dorsel\\Dorsel.exe"));
    ASSERT_EQ(1, recorded.entriesCalls);
    EXPECT_EQ(2u, recorded.count);
    EXPECT_EQ(0, recorded.oldList);
    ExpectEntry(recorded.entries[0], 0xA0000000, TRUSTEE_IS_WELL_KNOWN_GROUP);
    ExpectEntry(recorded.entries[1], 0x10000000, TRUSTEE_IS_GROUP);
    EXPECT_EQ("S-1-1-0", recorded.trustees[0]);       // Everyone
    EXPECT_EQ("S-1-5-32-544", recorded.trustees[1]);  // Administrators
    ASSERT_EQ(1, recorded.namedCalls);
    EXPECT_EQ("C:\\Program Files\\Dorsel\\Dorsel.exe", recorded.path);
    EXPECT_EQ(SE_FILE_OBJECT, recorded.type);
    EXPECT_EQ(7u, recorded.information);
    EXPECT_TRUE(recorded.ownerIsAdministrators);
    EXPECT_TRUE(recorded.groupIsAdministrators);
    EXPECT_EQ(recorded.newList, recorded.dacl);
    EXPECT_EQ(0, recorded.sacl);
}

TEST_F(SecurityCalls, FailuresGiveZero)
{
    recorded.entriesResult = ERROR_INVALID_PARAMETER;
    EXPECT_EQ(0, SetFileAccessRights("C:\\x"));
    EXPECT_EQ(0, recorded.namedCalls);

    recorded = Recorded();
    recorded.namedResult = ERROR_ACCESS_DENIED;
    EXPECT_EQ(0, SetFileAccessRights("C:\\x"));
    EXPECT_EQ(1, recorded.namedCalls);

    recorded = Recorded();
    EXPECT_EQ(0, SetFileAccessRights(std::string(MAX_PATH, 'x').c_str()));
    EXPECT_EQ(0, recorded.entriesCalls);
}

// A folder setup creates for the install gets the access list of Program
// Files: nobody else may write to it or take it over, its own list is cut
// from its parent's, and what it holds inherits it.
TEST_F(SecurityCalls, ProtectedFolderTakesTheListOfProgramFiles)
{
    const char folder[] = "C:\\zsecurity";
    RemoveDirectoryA(folder);
    ASSERT_EQ(1, CreateProtectedFolder(folder));
    RemoveDirectoryA(folder);
    ASSERT_EQ(4u, recorded.count);
    const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    const char *const full[] = {"S-1-5-32-544", "S-1-5-18",
                                "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(full[i], recorded.trustees[i]);
        EXPECT_EQ((DWORD)GENERIC_ALL, recorded.entries[i].grfAccessPermissions) << i;
        EXPECT_EQ(inherit, recorded.entries[i].grfInheritance) << i;
    }
    ExpectEntry(recorded.entries[3], GENERIC_READ | GENERIC_EXECUTE, TRUSTEE_IS_GROUP, inherit);
    EXPECT_EQ("S-1-5-32-545", recorded.trustees[3]);  // Users
    EXPECT_EQ("S-1-5-32-544", recorded.owner);
    EXPECT_EQ(SE_DACL_PROTECTED, recorded.control);
    // Another folder of the same name is no folder of its own.
    CreateDirectoryA(folder, 0);
    EXPECT_EQ(0, CreateProtectedFolder(folder));
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    RemoveDirectoryA(folder);
}

// Whose folder setup may install into: the owner the system names.
TEST_F(SecurityCalls, TrustedOwners)
{
    char runner[256] = {0};  // the account running this test, as the token names it
    HANDLE token;
    BYTE user[256];
    DWORD size = 0;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof(user), &size));
    CloseHandle(token);
    lstrcpynA(runner, SidText(((TOKEN_USER *)user)->User.Sid).c_str(), sizeof(runner));
    const struct {
        const char *owner;  // "" none
        DWORD result;
        int trusted;
        int administrators;  // IsOwnedByAdministrators
    } rows[] = {
        {"S-1-5-32-544", 0, 1, 1},
        {"S-1-5-18", 0, 1, 1},
        {"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", 0, 1, 0},
        {runner, 0, 1, 0},
        {"S-1-5-32-545", 0, 0, 0},  // Users, whom setup's folders let read
        {"S-1-5-21-1004336348-1177238915-682003330-1001", 0, 0, 0},  // a user
        {"", 0, 0, 0},  // no owner: FAT
        {"S-1-5-32-544", ERROR_ACCESS_DENIED, 0, 0},
    };
    for (const auto &row : rows) {
        recorded.reportedOwner = row.owner;
        recorded.ownerResult = row.result;
        EXPECT_EQ(row.trusted, IsOwnedByTrustedAccount(GetCurrentProcess())) << row.owner;
        EXPECT_EQ(row.administrators, IsOwnedByAdministrators(GetCurrentProcess())) << row.owner;
    }
    recorded.reportedOwner = 0;  // a system without GetSecurityInfo
    EXPECT_EQ(0, IsOwnedByTrustedAccount(GetCurrentProcess()));
}

} // namespace

// The link-time double.
void *LookupSystemEntry(const char *module, const char *name)
{
    if (lstrcmpiA(module, "advapi32.dll") != 0)
        return 0;
    if (strcmp(name, "SetEntriesInAclA") == 0)
        return (void *)&RecordSetEntries;
    if (strcmp(name, "SetNamedSecurityInfoA") == 0)
        return (void *)&RecordSetNamed;
    if (strcmp(name, "SetSecurityDescriptorOwner") == 0)
        return (void *)&RecordOwner;
    if (strcmp(name, "SetSecurityDescriptorControl") == 0)
        return (void *)&RecordControl;
    if (strcmp(name, "GetSecurityInfo") == 0)
        return recorded.reportedOwner ? (void *)&ReportOwner : 0;
    return 0;
}
