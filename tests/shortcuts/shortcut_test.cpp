// Shortcuts as real .lnk files, read back through the shell link object.
#include "shortcuts/shortcuts.h"
#include "places/places.h"
#include "tests/files/file_access.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kAppFolder[] = "C:\\zlinks\\Dorsel";
const char kProgram[] = "C:\\zlinks\\Dorsel\\Dorsel.exe";
const char kName[] = "Dorsel Test Manager";

std::string DesktopLink(const std::string &name)
{
    return SpecialFolder(CSIDL_DESKTOP) + "\\" + name + ".lnk";
}

std::string StartMenuLink(const std::string &name)
{
    return SpecialFolder(IsNt() ? CSIDL_COMMON_STARTMENU : CSIDL_STARTMENU) + "\\" + name + ".lnk";
}

class Shortcuts : public ::testing::Test {
protected:
    void SetUp() override
    {
        Clean();
        CreateDirectoryA("C:\\zlinks", 0);
        CreateDirectoryA(kAppFolder, 0);
        WriteText(kProgram, "program");
        programs = SpecialFolder(IsNt() ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS);
        group = programs + "\\Dorsel Test Group";
        groupLink = group + "\\" + kName + ".lnk";
    }
    void TearDown() override { Clean(); }
    void Clean()
    {
        RemoveTree("C:\\zlinks");
        for (const char *name : {kName, "Manager 2.0"}) {
            DeleteFileA(DesktopLink(name).c_str());
            DeleteFileA(StartMenuLink(name).c_str());
        }
        std::string base = SpecialFolder(IsNt() ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS);
        for (const char *folder : {"\\Dorsel Test Group", "\\Quillsen", "\\Access Vak"})
            RemoveTree(base + folder);
    }
    void ExpectOurLink(const std::string &file)
    {
        LinkProperties link = ReadLink(file);
        ASSERT_TRUE(link.loaded) << file;
        EXPECT_STREQ(kProgram, link.path.c_str());
        EXPECT_STREQ(kProgram, link.iconPath.c_str());
        EXPECT_EQ(1, link.iconIndex);
        EXPECT_STREQ(kAppFolder, link.workingDirectory.c_str());
    }
    std::string programs, group, groupLink;
};

TEST_F(Shortcuts, DesktopAndStartMenuInTheirPlatformFolders)
{
    EXPECT_FALSE(DesktopShortcutExists(kName));
    ASSERT_TRUE(UpdateDesktopShortcut(kProgram, kName, RUNOPT_INSTALL));
    ExpectOurLink(DesktopLink(kName));
    EXPECT_TRUE(DesktopShortcutExists(kName));

    ASSERT_TRUE(UpdateStartMenuShortcut(kProgram, kName, RUNOPT_INSTALL));
    ExpectOurLink(StartMenuLink(kName));
    EXPECT_TRUE(StartMenuShortcutExists(kName));
    if (IsNt()) {  // all users on NT, the current user on 9x
        EXPECT_NE(SpecialFolder(CSIDL_STARTMENU), SpecialFolder(CSIDL_COMMON_STARTMENU));
        EXPECT_FALSE(Exists(SpecialFolder(CSIDL_STARTMENU) + "\\" + kName + ".lnk"));
    }

    EXPECT_TRUE(UpdateDesktopShortcut(0, kName, 0));
    EXPECT_TRUE(UpdateStartMenuShortcut(0, kName, 0));
    EXPECT_FALSE(Exists(DesktopLink(kName)));
    EXPECT_FALSE(Exists(StartMenuLink(kName)));
    EXPECT_TRUE(UpdateDesktopShortcut(0, kName, 0));  // nothing there: still 1
}

// The existence test names the whole file, "<name>.lnk": a dot in the name
// is no extension, and a folder of that name is no shortcut.
TEST_F(Shortcuts, ExistenceTestNamesTheWholeFile)
{
    for (const char *name : {"Manager 2.0", kName}) {
        EXPECT_FALSE(DesktopShortcutExists(name)) << name;
        ASSERT_TRUE(UpdateDesktopShortcut(kProgram, name, RUNOPT_INSTALL));
        ASSERT_TRUE(UpdateStartMenuShortcut(kProgram, name, RUNOPT_INSTALL));
        EXPECT_TRUE(DesktopShortcutExists(name)) << name;
        EXPECT_TRUE(StartMenuShortcutExists(name)) << name;
        EXPECT_TRUE(UpdateDesktopShortcut(0, name, 0));
        EXPECT_TRUE(UpdateStartMenuShortcut(0, name, 0));
        EXPECT_FALSE(Exists(DesktopLink(name))) << name;
        EXPECT_FALSE(Exists(StartMenuLink(name))) << name;
    }
    WriteText(SpecialFolder(CSIDL_DESKTOP) + "\\Manager 2.0", "a file without the extension");
    ASSERT_TRUE(Exists(SpecialFolder(CSIDL_DESKTOP) + "\\Manager 2.0"));
    EXPECT_FALSE(DesktopShortcutExists("Manager 2.0"));
    DeleteFileA((SpecialFolder(CSIDL_DESKTOP) + "\\Manager 2.0").c_str());
    ASSERT_TRUE(CreateDirectoryA(DesktopLink("Manager 2.0").c_str(), 0));
    EXPECT_FALSE(DesktopShortcutExists("Manager 2.0"));
    RemoveDirectoryA(DesktopLink("Manager 2.0").c_str());
}

// A removal counts only when the shortcut is gone: one that another program
// holds open stays, and the removal fails.
TEST_F(Shortcuts, RemovalFailsWhileTheShortcutStays)
{
    ASSERT_TRUE(UpdateDesktopShortcut(kProgram, kName, RUNOPT_INSTALL));
    ASSERT_TRUE(UpdateGroupShortcut(kProgram, groupLink.c_str(), group.c_str(), RUNOPT_INSTALL));
    for (const std::string &link : {DesktopLink(kName), groupLink}) {
        HANDLE held = CreateFileA(link.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
        EXPECT_FALSE(link == groupLink ? UpdateGroupShortcut(0, link.c_str(), group.c_str(), 0)
                                       : UpdateDesktopShortcut(0, kName, 0));
        CloseHandle(held);
    }
    EXPECT_TRUE(UpdateDesktopShortcut(0, kName, 0));
    EXPECT_TRUE(UpdateGroupShortcut(0, groupLink.c_str(), group.c_str(), 0));
}

TEST_F(Shortcuts, GroupShortcutCreatesAndRemovesItsFolder)
{
    ASSERT_TRUE(UpdateGroupShortcut(kProgram, groupLink.c_str(), group.c_str(), RUNOPT_INSTALL));
    ExpectOurLink(groupLink);
    EXPECT_TRUE(UpdateGroupShortcut(0, groupLink.c_str(), group.c_str(), 0));
    EXPECT_FALSE(Exists(group));

    ASSERT_TRUE(UpdateGroupShortcut(kProgram, groupLink.c_str(), group.c_str(), RUNOPT_INSTALL));
    WriteText(group + "\\readme.txt", "other");
    EXPECT_TRUE(UpdateGroupShortcut(0, groupLink.c_str(), group.c_str(), 0));
    EXPECT_FALSE(Exists(groupLink));
    EXPECT_TRUE(Exists(group));  // not empty: stays
}

TEST_F(Shortcuts, GroupFolderWithoutParentFails)
{
    std::string orphan = "C:\\zlinks\\missing\\parent";
    EXPECT_FALSE(UpdateGroupShortcut(kProgram, (orphan + "\\x.lnk").c_str(), orphan.c_str(),
                                     RUNOPT_INSTALL));
}

TEST_F(Shortcuts, LegacyShortcutsToThisApplicationAreRemoved)
{
    std::string quillsen = programs + "\\Quillsen";
    std::string accessVak = programs + "\\Access Vak";
    CreateDirectoryA(quillsen.c_str(), 0);
    CreateDirectoryA(accessVak.c_str(), 0);
    WriteText("C:\\zlinks\\Other.exe", "other");
    WriteForeignLink(quillsen + "\\Other.lnk", "C:\\zlinks\\Other.exe");
    WriteForeignLink(quillsen + "\\Old Dorsel.lnk", "C:\\ZLINKS\\dorsel\\DORSEL.EXE");
    WriteForeignLink(accessVak + "\\Dorsel.lnk", kProgram);

    ASSERT_TRUE(UpdateGroupShortcut(kProgram, groupLink.c_str(), group.c_str(), RUNOPT_INSTALL));
    EXPECT_FALSE(Exists(quillsen + "\\Old Dorsel.lnk"));  // any letter case
    EXPECT_TRUE(Exists(quillsen + "\\Other.lnk"));
    EXPECT_TRUE(Exists(quillsen));
    EXPECT_FALSE(Exists(accessVak));  // emptied: removed
    ExpectOurLink(groupLink);
}

} // namespace
