// Security operations under Wine, and the group walk of the administrator
// check over group lists built by hand (a non-administrator token cannot be
// made under Wine).
#include "registry/registry.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <vector>

namespace {

struct Sid {
    PSID sid = 0;
    Sid(BYTE authority, BYTE count, DWORD a, DWORD b = 0)
    {
        SID_IDENTIFIER_AUTHORITY id = {{0, 0, 0, 0, 0, authority}};
        AllocateAndInitializeSid(&id, count, a, b, 0, 0, 0, 0, 0, 0, &sid);
    }
    ~Sid() { FreeSid(sid); }
};

struct GroupList {
    std::vector<BYTE> storage;
    void Add(PSID sid, DWORD attributes)
    {
        entries.push_back({sid, attributes});
    }
    const TOKEN_GROUPS *Build()
    {
        storage.assign(sizeof(TOKEN_GROUPS) + entries.size() * sizeof(SID_AND_ATTRIBUTES), 0);
        TOKEN_GROUPS *groups = (TOKEN_GROUPS *)storage.data();
        groups->GroupCount = (DWORD)entries.size();
        for (size_t i = 0; i < entries.size(); ++i)
            groups->Groups[i] = entries[i];
        return groups;
    }
    std::vector<SID_AND_ATTRIBUTES> entries;
};

TEST(Security, WineProcessIsAnAdministrator)
{
    EXPECT_EQ(1, IsAdministrator());
    EXPECT_NE(0, EnableTakeOwnership());
    EXPECT_NE(0, EnableTakeOwnership());  // already enabled: still succeeds
}

TEST(Security, GroupWalk)
{
    Sid administrators(5, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    Sid users(5, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS);
    Sid everyone(1, 1, SECURITY_WORLD_RID);

    GroupList standard;
    standard.Add(everyone.sid, SE_GROUP_ENABLED);
    standard.Add(users.sid, SE_GROUP_ENABLED);
    EXPECT_EQ(0, HasEnabledAdministrators(standard.Build(), administrators.sid));

    GroupList denyOnly;  // filtered token: present, but only for deny entries
    denyOnly.Add(everyone.sid, SE_GROUP_ENABLED);
    denyOnly.Add(administrators.sid, SE_GROUP_USE_FOR_DENY_ONLY);
    EXPECT_EQ(0, HasEnabledAdministrators(denyOnly.Build(), administrators.sid));

    GroupList admin;
    admin.Add(administrators.sid, SE_GROUP_ENABLED | SE_GROUP_ENABLED_BY_DEFAULT);
    admin.Add(users.sid, 0);
    EXPECT_EQ(1, HasEnabledAdministrators(admin.Build(), administrators.sid));

    GroupList empty;
    EXPECT_EQ(0, HasEnabledAdministrators(empty.Build(), administrators.sid));
}

TEST(Security, FileAccessRights)
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%ssecurity_test_%lu.txt", folder, GetCurrentProcessId());
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);

    // Wine maps file security onto Unix permissions, so the list cannot be
    // read back here; its arguments are checked with recording doubles.
    EXPECT_EQ(1, SetFileAccessRights(path));
    DeleteFileA(path);

    EXPECT_EQ(0, SetFileAccessRights(path));  // gone
    EXPECT_EQ(0, SetFileAccessRights(0));
}

TEST(Security, PrivateFolderIsNewOrRefused)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%sprivate_test_%lu", temp, GetCurrentProcessId());
    RemoveDirectoryA(path);
    ASSERT_EQ(1, CreatePrivateFolder(path));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path));
    EXPECT_EQ(0, CreatePrivateFolder(path));  // already there: never reused
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    RemoveDirectoryA(path);
}

} // namespace
