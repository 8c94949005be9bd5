// The arguments SetFileAccessRights hands to the system: this test replaces
// LookupSystemEntry at link time, so the ACL functions it gets are recorders.
#include "base/system_entry.h"
#include "registry/registry.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <string.h>

#include <string>

namespace {

struct Recorded {
    int entriesCalls = 0;
    int namedCalls = 0;
    DWORD entriesResult = ERROR_SUCCESS;
    DWORD namedResult = ERROR_SUCCESS;
    ULONG count = 0;
    EXPLICIT_ACCESS_A entries[2];
    bool trusteeMatches[2] = {false, false};  // compared during the call: the SIDs die after it
    PACL oldList = (PACL)1;
    PACL newList = 0;
    std::string path;
    SE_OBJECT_TYPE type = SE_UNKNOWN_OBJECT_TYPE;
    SECURITY_INFORMATION information = 0;
    bool ownerIsAdministrators = false;
    bool groupIsAdministrators = false;
    PACL dacl = 0;
    PACL sacl = (PACL)1;
} recorded;

PSID Administrators()
{
    static PSID sid = 0;
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    if (!sid)
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                 0, 0, 0, 0, &sid);
    return sid;
}

PSID Everyone()
{
    static PSID sid = 0;
    SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
    if (!sid)
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid);
    return sid;
}

DWORD WINAPI RecordSetEntries(ULONG count, PEXPLICIT_ACCESS_A entries, PACL old, PACL *list)
{
    ++recorded.entriesCalls;
    recorded.count = count;
    memcpy(recorded.entries, entries, sizeof(recorded.entries));
    recorded.trusteeMatches[0] = EqualSid((PSID)entries[0].Trustee.ptstrName, Everyone()) != 0;
    recorded.trusteeMatches[1] = EqualSid((PSID)entries[1].Trustee.ptstrName, Administrators()) != 0;
    recorded.oldList = old;
    if (recorded.entriesResult != ERROR_SUCCESS)
        return recorded.entriesResult;
    *list = (PACL)LocalAlloc(LMEM_ZEROINIT, 64);
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
    EXPECT_TRUE(recorded.trusteeMatches[0]);  // Everyone
    EXPECT_TRUE(recorded.trusteeMatches[1]);  // Administrators
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
    return 0;
}
