// The arguments the security operations hand to the system, and how the
// owner tests read what it answers: this test replaces LookupSystemEntry at
// link time, so the ACL functions it gets are recorders and stand-ins.
#include "base/system_entry.h"
#include "registry/registry.h"
#include "tests/registry/security_report.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

struct Recorded {
    int entriesCalls = 0;
    int namedCalls = 0;
    DWORD entriesResult = ERROR_SUCCESS;
    DWORD namedResult = ERROR_SUCCESS;
    ULONG count = 0;
    EXPLICIT_ACCESS_A entries[4];
    // "SID rights inheritance" of each, read during the call: the SIDs die after it.
    std::vector<std::string> trustees;
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
    const char *reported = 0;                // what GetSecurityInfo says, in SDDL
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
        char rights[32];
        wsprintfA(rights, " %lx %lx", entries[i].grfAccessPermissions, entries[i].grfInheritance);
        recorded.entries[i] = entries[i];
        recorded.trustees.push_back(SidText((PSID)entries[i].Trustee.ptstrName) + rights);
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

DWORD WINAPI ReportOwner(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID *owner, PSID *,
                         PACL *list, PACL *, PSECURITY_DESCRIPTOR *descriptor)
{
    DWORD result = ReportSecurity(recorded.reported, owner, list, descriptor);
    return result ? result : recorded.ownerResult;
}

void ExpectEntry(const EXPLICIT_ACCESS_A &entry, DWORD permissions, TRUSTEE_TYPE type)
{
    EXPECT_EQ(permissions, entry.grfAccessPermissions);
    EXPECT_EQ(SET_ACCESS, entry.grfAccessMode);
    EXPECT_EQ((DWORD)NO_INHERITANCE, entry.grfInheritance);
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
    EXPECT_EQ((std::vector<std::string>{"S-1-1-0 a0000000 0", "S-1-5-32-544 10000000 0"}),
              recorded.trustees);  // Everyone, Administrators
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
// Files, inherited by what it holds: full control for Administrators, SYSTEM
// and TrustedInstaller, read and execute for Users, Administrators the owner,
// nothing taken over from its parent. One already there is not its own.
TEST_F(SecurityCalls, ProtectedFolderTakesTheListOfProgramFiles)
{
    RemoveDirectoryA("C:\\zsecurity");
    ASSERT_EQ(1, CreateProtectedFolder("C:\\zsecurity"));
    EXPECT_EQ((std::vector<std::string>{
                  "S-1-5-32-544 10000000 3", "S-1-5-18 10000000 3",
                  "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464 10000000 3",
                  "S-1-5-32-545 a0000000 3"}),
              recorded.trustees);
    EXPECT_EQ("S-1-5-32-544", recorded.owner);
    EXPECT_EQ(SE_DACL_PROTECTED, recorded.control);
    EXPECT_EQ(0, CreateProtectedFolder("C:\\zsecurity"));
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    RemoveDirectoryA("C:\\zsecurity");
}

// Whose folder setup may install into, and which staging folder it may clear:
// the owner and access list the system names (the account running setup,
// which Wine names for every folder, is tried end to end). A folder that
// setup made lets only Administrators and SYSTEM in; Wine's lists give the
// owner full control and Everyone what the Unix mode gives others.
TEST_F(SecurityCalls, TrustedOwnersAndPrivateFolders)
{
    const char kMade[] = "D:P(A;OICI;GA;;;BA)(A;OICI;GA;;;SY)";
    const char kWine[] = "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;$R)";
    const struct {
        std::string security;  // owner and access list
        DWORD result;
        int trusted;
        int privateFolder;
    } rows[] = {
        {std::string("O:BA") + kMade, 0, 1, 1},
        {std::string("O:SY") + kMade, 0, 1, 1},
        {std::string("O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464") + kMade,
         0, 1, 0},
        {std::string("O:BU") + kMade, 0, 0, 0},  // Users, whom setup's folders let read
        {kMade, 0, 0, 0},                         // no owner: FAT
        {std::string("O:BA") + kMade, ERROR_ACCESS_DENIED, 0, 0},
        {std::string("O:$R") + kWine, 0, 1, 1},
        {std::string("O:$R") + kWine + "(A;OICI;0x1200a9;;;WD)", 0, 1, 1},  // others read
        {std::string("O:$R") + kWine + "(A;OICI;0x1301bf;;;WD)", 0, 1, 0},  // others write
        {std::string("O:BA") + kMade + "(A;OICI;FW;;;BU)", 0, 1, 0},
        {std::string("O:BA") + kMade + "(A;;WD;;;BU)", 0, 1, 0},  // may change the list
        {"O:BAD:(D;;GA;;;BU)(A;;GA;;;BA)", 0, 1, 1},  // Users denied
        {"O:BA", 0, 1, 0},                             // no list: open to all
    };
    for (const auto &row : rows) {
        recorded.reported = row.security.c_str();
        recorded.ownerResult = row.result;
        EXPECT_EQ(row.trusted, IsOwnedByTrustedAccount(GetCurrentProcess())) << row.security;
        EXPECT_EQ(row.privateFolder, IsPrivateFolder(GetCurrentProcess())) << row.security;
    }
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
        return recorded.reported ? (void *)&ReportOwner : 0;
    return 0;
}
