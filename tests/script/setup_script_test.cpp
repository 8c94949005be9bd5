// The Setup script reader against real INI files through the profile API.
#include "script/setup_script.h"

#include "tests/files/file_access.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kFolder[] = "C:\\zscript";
const char kScript[] = "C:\\zscript\\ZynSetup.dat";
const char kDescriptor[] = "C:\\zscript\\Dorsel.zyn";

class SetupScript : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveTree(kFolder);
        CreateDirectoryA(kFolder, 0);
        memset(&source, 0, sizeof(source));
        lstrcpyA(source.scriptPath, kScript);
        lstrcpyA(source.descriptorPath, kDescriptor);
        Language(0x0409);
    }
    void TearDown() override { RemoveTree(kFolder); }
    SetupSource source;  // names the files, as start-up fills it in
    void Language(WORD id)
    {
        source.machine.systemLanguageId = id;
        source.machine.systemPrimaryLanguage = id & 0x3FF;
    }
    std::string Read(const char *section, const char *key, const char *file = kScript)
    {
        char value[MAX_PATH] = "untouched";
        int length = ReadScriptValue(&source, section, key, "", value, MAX_PATH, file);
        return length ? std::string(value) : "<0:" + std::string(value) + ">";
    }
};

TEST_F(SetupScript, IndirectionByLanguage)
{
    WriteText(kScript, "[RELEASE]\r\nNAME=%PRODNAME%\r\nPLAIN=Text\r\nHALF=%PRODNAME\r\n"
                       "MIDDLE=PROD%NAME%X\r\nQUOTED=\"  spaced  \"\r\nEMPTY=%%\r\nONE=%\r\n"
                       "[STRINGS.0407]\r\nPRODNAME=Paketverwaltung\r\n"
                       "[STRINGS.0007]\r\nPRODNAME=Paketverwaltung allgemein\r\n"
                       "[STRINGS.0409]\r\nPRODNAME=\r\n"
                       "[STRINGS.0009]\r\nPRODNAME=Package Manager (English)\r\n"
                       "[STRINGS]\r\nPRODNAME=Package Manager\r\nNEXT=%PRODNAME%\r\n");
    Language(0x0407);
    EXPECT_EQ("Paketverwaltung", Read("RELEASE", "NAME"));
    Language(0x0807);  // Swiss German: the primary language section
    EXPECT_EQ("Paketverwaltung allgemein", Read("RELEASE", "NAME"));
    Language(0x0409);  // empty in STRINGS.0409: falls through
    EXPECT_EQ("Package Manager (English)", Read("RELEASE", "NAME"));
    Language(0x0411);
    EXPECT_EQ("Package Manager", Read("release", "name"));  // names match in any case
    EXPECT_EQ("Text", Read("RELEASE", "PLAIN"));
    EXPECT_EQ("%PRODNAME", Read("RELEASE", "HALF"));
    EXPECT_EQ("PROD%NAME%X", Read("RELEASE", "MIDDLE"));
    EXPECT_EQ("  spaced  ", Read("RELEASE", "QUOTED"));
    EXPECT_EQ("<0:", Read("RELEASE", "EMPTY").substr(0, 3));  // a string key without a name
    EXPECT_EQ("%", Read("RELEASE", "ONE"));
    EXPECT_EQ("<0:untouched>", Read("RELEASE", "MISSING"));
}

TEST_F(SetupScript, UnresolvedIndirectionGivesZero)
{
    WriteText(kScript, "[RELEASE]\r\nNAME=%NOWHERE%\r\n[STRINGS]\r\nOTHER=x\r\n");
    Language(0x0411);
    EXPECT_EQ("<0:>", Read("RELEASE", "NAME"));  // the buffer holds the (empty) default
}

TEST_F(SetupScript, ReleaseInfoFromTheIniDescriptor)
{
    WriteText(kDescriptor, "[ZYN]\r\nXRELEASE=RELEASE\r\n[RELEASE]\r\nNAME=Dorsel\r\n"
                           "VERSION=3.00.0000\r\n");
    char name[MAX_PATH] = {0};
    char version[MAX_PATH] = {0};
    EXPECT_TRUE(HasIniDescriptor(kDescriptor));
    ASSERT_TRUE(ReadReleaseInfo(&source, name, version));
    EXPECT_STREQ("Dorsel", name);
    EXPECT_STREQ("3.00.0000", version);

    WriteText(kDescriptor, "[ZYN]\r\nXRELEASE=\r\n[RELEASE]\r\nVERSION=3.00.0000\r\n");
    EXPECT_FALSE(HasIniDescriptor(kDescriptor));
    EXPECT_FALSE(ReadReleaseInfo(&source, name, version));
}

TEST_F(SetupScript, RadarChoice)
{
    const struct {
        const char *radar;
        int choice;
    } cases[] = {
        {"FILE=radar.dat\r\nALTFILE=.x\r\n", 1},
        {"FILE=.none\r\nALTFILE=alt.dat\r\n", 2},
        {"FILE=.none\r\nALTFILE=.x\r\n", 0},
        {"", 0},
    };
    for (const auto &c : cases) {
        WriteText(kScript, std::string("[RADAR]\r\n") + c.radar);
        EXPECT_EQ(c.choice, GetRadarChoice(&source)) << c.radar;
    }
}

TEST_F(SetupScript, MenuGroupFolders)
{
    std::string programs = SpecialFolder(IsNt() ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS);
    std::string startMenu = SpecialFolder(IsNt() ? CSIDL_COMMON_STARTMENU : CSIDL_STARTMENU);
    const struct {
        const char *group;
        std::string folder;
    } cases[] = {
        {".", programs},
        {".anything", programs},
        {"\\", startMenu},
        {"\\Tools", startMenu + "\\Tools"},
        {"Tools\\Sub", programs + "\\Tools\\Sub"},
    };
    for (const auto &c : cases) {
        WriteText(kScript, std::string("[INIT]\r\nGROUP=") + c.group + "\r\n");
        char folder[MAX_PATH] = {0};
        ASSERT_TRUE(GetMenuGroupFolder(&source, folder)) << c.group;
        EXPECT_EQ(c.folder, folder) << c.group;
    }
    WriteText(kScript, "[INIT]\r\nTARGET=x\r\n");
    char folder[MAX_PATH] = {0};
    EXPECT_FALSE(GetMenuGroupFolder(&source, folder));
    // A group that would make a folder of 260 characters or more is refused.
    WriteText(kScript, "[INIT]\r\nGROUP=" + std::string(MAX_PATH - 1 - programs.size(), 'g') + "\r\n");
    EXPECT_FALSE(GetMenuGroupFolder(&source, folder));
}

TEST_F(SetupScript, DefaultTargetFolder)
{
    char programFiles[MAX_PATH] = {0};
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                           "Software\\Microsoft\\Windows\\CurrentVersion", 0,
                                           KEY_READ, &key));
    DWORD size = sizeof(programFiles);
    RegQueryValueExA(key, "ProgramFilesDir", 0, 0, (BYTE *)programFiles, &size);
    RegCloseKey(key);

    WriteText(kScript, "[INIT]\r\nTARGET=%TARGET%\r\n[STRINGS]\r\nTARGET=Dorsel\r\n");
    char folder[MAX_PATH] = {0};
    EXPECT_EQ(6, GetDefaultTargetFolder(&source, folder));
    EXPECT_EQ(std::string(programFiles) + "\\Dorsel", folder);

    WriteText(kScript, "[INIT]\r\nGROUP=x\r\n");
    memset(folder, 0, sizeof(folder));
    EXPECT_EQ(0, GetDefaultTargetFolder(&source, folder));
    WriteText(kScript, "[INIT]\r\nTARGET=" + std::string(MAX_PATH - 1 - strlen(programFiles), 't') +
                           "\r\n");
    memset(folder, 0, sizeof(folder));
    EXPECT_EQ(0, GetDefaultTargetFolder(&source, folder));  // 260 characters: refused
}

TEST_F(SetupScript, FolderLists)
{
    WriteText(kScript, "[INIT]\r\nDEFAULTSEARCH=C:\\A;;C:\\B\r\nDOWNLOAD=\\DRIVERS\r\n");
    char list[MAX_PATH] = {0};
    EXPECT_EQ(10, ReadSearchFolderList(&source, list));
    EXPECT_STREQ("C:\\A;;C:\\B", list);
    memset(list, 0, sizeof(list));
    EXPECT_EQ(8, ReadDownloadFolderList(&source, list));
    WriteText(kScript, "[INIT]\r\n");
    EXPECT_EQ(0, ReadSearchFolderList(&source, list));
}

} // namespace
