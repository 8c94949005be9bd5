// The payload transfer with real files and real shell operations under Wine.
// The same tests run once as NT and once as Windows 98 (files_tests_win98).
#include "base/startup_state.h"
#include "files/files.h"
#include "tests/files/file_access.h"

#include <gtest/gtest.h>

#include <string.h>

#include <set>
#include <string>
#include <vector>

namespace {

const char kRoot[] = "C:\\ztest";
const char kMedium[] = "C:\\ztest\\medium";
const char kTarget[] = "C:\\ztest\\Program Files\\Deep\\Dorsel";

const char *const kSources[] = {"setup.exe", "Dorsel", "Dorsel.zyn", "ZynSetup.dat",
                                "ZynSetup.dll", "ZYNSYSID.sys", "ZYNSYSID.vxd", "zynliba.dll",
                                "zynlibb.dll", "unicows.dll", "ZYNNTDEV.sys", "ZynFlash.dll"};
const char *const kInstalled[] = {"_zynu000.exe", "Dorsel.exe", "ZynSetup.ini", "ZynSetup.dat",
                                  "ZynSetup.dll", "ZYNSYSID.sys", "ZYNSYSID.vxd", "zynliba.dll",
                                  "zynlibb.dll", "unicows.dll", "ZYNNTDEV.sys", "ZynFlash.dll"};

std::string Target(const char *name)
{
    return std::string(kTarget) + "\\" + name;
}

std::string Uninstaller()
{
    return WindowsFolderPath() + "\\_zynu000.exe";
}

// Installed place of row i.
std::string FinalPath(int row, bool xml = false)
{
    if (row == 0)
        return Uninstaller();
    return Target(row == 2 && xml ? "ZynSetup.xml" : kInstalled[row]);
}

std::set<std::string> StagingFolders()
{
    std::set<std::string> folders;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((TempFolderPath() + "zyn*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return folders;
    do
        folders.insert(entry.cFileName);
    while (FindNextFileA(search, &entry));
    FindClose(search);
    return folders;
}

class Payload : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveTree(kRoot);
        DeleteFileA(Uninstaller().c_str());
        DeleteFileA((WindowsFolderPath() + "\\WININIT.INI").c_str());
        ClearPendingOperations();
        CreateDirectoryA(kRoot, 0);
        CreateDirectoryA(kMedium, 0);
        WriteMedium("v1");
        memset(&g_startup, 0, sizeof(g_startup));
        lstrcpyA(g_startup.setupFolder, kMedium);
    }
    void TearDown() override
    {
        RemoveTree(kRoot);
        DeleteFileA(Uninstaller().c_str());
        DeleteFileA((WindowsFolderPath() + "\\WININIT.INI").c_str());
        ClearPendingOperations();
    }
    void WriteMedium(const std::string &version)
    {
        for (const char *name : kSources)
            WriteText(std::string(kMedium) + "\\" + name, version + ":" + name);
        WriteText(std::string(kMedium) + "\\VAKZYN.xml", version + ":VAKZYN.xml");
    }
    void ExpectInstalled(const std::string &version, bool xml = false)
    {
        for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row) {
            std::string source = row == 2 && xml ? "VAKZYN.xml" : kSources[row];
            EXPECT_EQ(version + ":" + source, ReadText(FinalPath(row, xml))) << row;
        }
    }
};

TEST_F(Payload, InstallMovesEveryFileIntoPlace)
{
    std::set<std::string> stagingBefore = StagingFolders();
    ASSERT_TRUE(TransferPayload(0, kTarget, 0, RUNOPT_INSTALL));
    ExpectInstalled("v1");
    EXPECT_FALSE(Exists(Target("_zynu000.exe")));  // the uninstaller goes to Windows only
    EXPECT_EQ(stagingBefore, StagingFolders());     // the private staging folder is gone
    for (const char *name : kSources)                // the medium is left as it was
        EXPECT_TRUE(Exists(std::string(kMedium) + "\\" + name)) << name;
}

TEST_F(Payload, InstallKeepsUserFilesAndRemovesTheOtherDescriptor)
{
    ASSERT_TRUE(CreateFolderPath(kTarget));
    WriteText(Target("notes.txt"), "mine");
    WriteText(Target("ZynSetup.xml"), "old xml form");
    WriteText(Target("dorsel.exe.manifest"), "stale");
    ASSERT_TRUE(TransferPayload(0, kTarget, 0, RUNOPT_INSTALL));
    EXPECT_EQ("mine", ReadText(Target("notes.txt")));
    EXPECT_FALSE(Exists(Target("ZynSetup.xml")));
    EXPECT_EQ(IsNt(), !Exists(Target("dorsel.exe.manifest")));  // left alone on 9x
}

TEST_F(Payload, XmlFormInstallsItsDescriptor)
{
    g_startup.descriptorMode = 1;
    ASSERT_TRUE(CreateFolderPath(kTarget));
    WriteText(Target("ZynSetup.ini"), "old ini form");
    ASSERT_TRUE(TransferPayload(0, kTarget, 0, RUNOPT_INSTALL));
    ExpectInstalled("v1", true);
    EXPECT_FALSE(Exists(Target("ZynSetup.ini")));
}

TEST_F(Payload, MissingPayloadFileFailsBeforeAnythingIsCreated)
{
    DeleteFileA((std::string(kMedium) + "\\ZynFlash.dll").c_str());
    std::set<std::string> stagingBefore = StagingFolders();
    EXPECT_FALSE(TransferPayload(0, kTarget, 0, RUNOPT_INSTALL));
    EXPECT_FALSE(Exists("C:\\ztest\\Program Files"));
    EXPECT_FALSE(Exists(Uninstaller()));
}

TEST_F(Payload, UnusableFoldersAreRefused)
{
    EXPECT_FALSE(TransferPayload(0, "C:\\ztest\\*", 0, RUNOPT_INSTALL));
    EXPECT_FALSE(TransferPayload(0, "", 0, RUNOPT_INSTALL));
    EXPECT_FALSE(TransferPayload(0, 0, 0, 0));
    // Paths that fit alone but whose list would not: refused before any change.
    std::string deep = "C:\\ztest\\" + std::string(230, 'd');
    EXPECT_FALSE(TransferPayload(0, deep.c_str(), 0, RUNOPT_INSTALL));
    EXPECT_FALSE(Exists(deep));
    EXPECT_FALSE(Exists(Uninstaller()));
}

TEST_F(Payload, UninstallDeletesElevenAndSchedulesTheUninstaller)
{
    ASSERT_TRUE(TransferPayload(0, kTarget, 0, RUNOPT_INSTALL));
    WriteText(Target("notes.txt"), "mine");
    ClearPendingOperations();
    ASSERT_TRUE(TransferPayload(0, kTarget, 0, 0));
    for (int row = 1; row < PAYLOAD_FILE_COUNT; ++row)
        EXPECT_FALSE(Exists(FinalPath(row))) << row;
    EXPECT_TRUE(Exists(Uninstaller()));
    EXPECT_EQ("mine", ReadText(Target("notes.txt")));
    EXPECT_TRUE(Exists(kTarget));
    if (IsNt()) {
        std::vector<std::string> pending = PendingOperations();
        ASSERT_EQ(2u, pending.size());
        EXPECT_EQ("\\??\\" + Uninstaller(), pending[0]);
        EXPECT_EQ("", pending[1]);
    } else {
        EXPECT_NE(std::string::npos,
                  ReadText(WindowsFolderPath() + "\\WININIT.INI").find("NUL="));
    }
    SimulateRestart();
    EXPECT_FALSE(Exists(Uninstaller()));
}

TEST_F(Payload, UninstallNeverDeletesAFolder)
{
    ASSERT_TRUE(TransferPayload(0, kTarget, 0, RUNOPT_INSTALL));
    DeleteFileA(Target("ZynFlash.dll").c_str());
    CreateDirectoryA(Target("ZynFlash.dll").c_str(), 0);
    WriteText(Target("ZynFlash.dll") + "\\precious.txt", "keep");
    EXPECT_FALSE(TransferPayload(0, kTarget, 0, 0));
    EXPECT_EQ("keep", ReadText(Target("ZynFlash.dll") + "\\precious.txt"));
    EXPECT_TRUE(Exists(Target("Dorsel.exe")));
}

TEST_F(Payload, ReplaceOnRestartInstall)
{
    ASSERT_TRUE(TransferPayload(0, kTarget, 0, RUNOPT_INSTALL));
    WriteText(Target("ZynSetup.xml"), "old xml form");
    WriteMedium("v2");
    ClearPendingOperations();
    ASSERT_TRUE(TransferPayload(0, kTarget, 1, RUNOPT_INSTALL));
    ExpectInstalled("v1");  // nothing changes before the restart
    if (IsNt()) {
        std::vector<std::string> pending = PendingOperations();
        ASSERT_EQ(2u + 4u * PAYLOAD_FILE_COUNT, pending.size());
        EXPECT_EQ("\\??\\" + Target("ZynSetup.xml"), pending[0]);
        EXPECT_EQ("", pending[1]);
        for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row) {
            size_t at = 2 + 4 * (size_t)row;
            EXPECT_EQ("\\??\\" + FinalPath(row), pending[at]) << row;  // deletion first
            EXPECT_EQ("", pending[at + 1]);
            EXPECT_NE(std::string::npos, pending[at + 2].find(kInstalled[row])) << row;
            EXPECT_EQ("\\??\\" + FinalPath(row), pending[at + 3]) << row;  // no "!": no replace
        }
    } else {
        std::string wininit = ReadText(WindowsFolderPath() + "\\WININIT.INI");
        EXPECT_NE(std::string::npos, wininit.find("[rename]"));
        EXPECT_NE(std::string::npos, wininit.find("NUL="));
        char shortTarget[MAX_PATH] = {0};
        GetShortPathNameA(Target("Dorsel.exe").c_str(), shortTarget, MAX_PATH);
        EXPECT_NE(std::string::npos, wininit.find(std::string(shortTarget) + "=")) << wininit;
    }
    SimulateRestart();
    ExpectInstalled("v2");
    EXPECT_FALSE(Exists(Target("ZynSetup.xml")));
}

TEST_F(Payload, ReplaceOnRestartOfFilesNotYetInstalled)
{
    ASSERT_TRUE(TransferPayload(0, kTarget, 1, RUNOPT_INSTALL));
    EXPECT_FALSE(Exists(Target("Dorsel.exe")));
    SimulateRestart();
    ExpectInstalled("v1");
}

TEST_F(Payload, ReplaceOnRestartUninstallSchedulesAllTwelve)
{
    ASSERT_TRUE(TransferPayload(0, kTarget, 0, RUNOPT_INSTALL));
    ClearPendingOperations();
    ASSERT_TRUE(TransferPayload(0, kTarget, 1, 0));
    for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row)
        EXPECT_TRUE(Exists(FinalPath(row))) << row;
    if (IsNt()) {
        std::vector<std::string> pending = PendingOperations();
        ASSERT_EQ(2u * PAYLOAD_FILE_COUNT, pending.size());
        for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row)
            EXPECT_EQ("\\??\\" + FinalPath(row), pending[2 * (size_t)row]) << row;
    }
    SimulateRestart();
    for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row)
        EXPECT_FALSE(Exists(FinalPath(row))) << row;
}

TEST_F(Payload, WininitKeepsLinesOfOtherPrograms)
{
    if (IsNt())
        GTEST_SKIP() << "WININIT.INI is the Windows 9x way";
    std::string wininit = WindowsFolderPath() + "\\WININIT.INI";
    WriteText(std::string(kRoot) + "\\other.tmp", "other program");
    char shortOther[MAX_PATH] = {0};
    GetShortPathNameA((std::string(kRoot) + "\\other.tmp").c_str(), shortOther, MAX_PATH);
    WritePrivateProfileStringA("rename", "NUL", shortOther, wininit.c_str());
    ASSERT_TRUE(TransferPayload(0, kTarget, 0, RUNOPT_INSTALL));
    ASSERT_TRUE(TransferPayload(0, kTarget, 1, 0));
    std::string text = ReadText(wininit);
    EXPECT_NE(std::string::npos, text.find(std::string("NUL=") + shortOther)) << text;
    SimulateRestart();
    EXPECT_FALSE(Exists(std::string(kRoot) + "\\other.tmp"));
    EXPECT_FALSE(Exists(Target("Dorsel.exe")));
}

TEST_F(Payload, WithdrawnDeletionLeavesTheOthers)
{
    if (!IsNt())
        GTEST_SKIP() << "restart registrations are the NT way";
    WriteText(std::string(kRoot) + "\\a.txt", "a");
    WriteText(std::string(kRoot) + "\\b.txt", "b");
    ASSERT_TRUE(RegisterRestartOperation("C:\\ztest\\a.txt", 0));
    ASSERT_TRUE(RegisterRestartOperation("C:\\ztest\\b.txt", 0));
    ASSERT_TRUE(RegisterRestartOperation("C:\\ztest\\a.txt", 0));
    ASSERT_TRUE(WithdrawRestartDeletion("C:\\ztest\\a.txt"));
    std::vector<std::string> pending = PendingOperations();
    ASSERT_EQ(4u, pending.size());
    EXPECT_EQ("\\??\\C:\\ztest\\a.txt", pending[0]);
    EXPECT_EQ("\\??\\C:\\ztest\\b.txt", pending[2]);
    EXPECT_FALSE(WithdrawRestartDeletion("C:\\ztest\\none.txt"));
}

TEST_F(Payload, CreateFolderPath)
{
    EXPECT_TRUE(CreateFolderPath("C:\\ztest\\One\\Two\\Three"));
    EXPECT_TRUE(Exists("C:\\ztest\\One\\Two\\Three"));
    EXPECT_TRUE(CreateFolderPath("C:\\ztest\\One\\Two\\Three"));  // already there
    EXPECT_FALSE(CreateFolderPath("nobackslash:*"));
    EXPECT_FALSE(CreateFolderPath(std::string(MAX_PATH, 'x').c_str()));
    WriteText("C:\\ztest\\file", "x");
    EXPECT_FALSE(CreateFolderPath("C:\\ztest\\file\\below"));
}

} // namespace
