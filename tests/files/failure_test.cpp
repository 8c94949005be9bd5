// Failures that cannot be produced for real: a restart registration that
// fails for one pair, pending deletions that cannot be taken back, and a
// shell link that cannot be saved. This executable links its own
// RegisterRestartOperation, WithdrawRestartDeletions and SaveLinkFile in
// place of the real ones.
#include "files/files.h"
#include "tests/files/file_access.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string.h>
#include <vector>

namespace {

std::vector<std::string> calls;
int failingMove = -1;      // the move of this pair (0-based) fails
int failingDeletion = -1;  // this deletion (0-based) fails
int moves = 0;
int deletions = 0;
int withdrawalResult = 1;
HRESULT saveResult = S_OK;

const char kMedium[] = "C:\\zfail\\medium";
const char kTarget[] = "C:\\zfail\\Dorsel";

class Failures : public ::testing::Test {
protected:
    PayloadSource source = {0, 0};
    void SetUp() override
    {
        calls.clear();
        failingMove = -1;
        failingDeletion = -1;
        moves = 0;
        deletions = 0;
        withdrawalResult = 1;
        saveResult = S_OK;
        RemoveTree("C:\\zfail");
        CreateDirectoryA("C:\\zfail", 0);
        CreateDirectoryA(kMedium, 0);
        for (const char *name : {"setup.exe", "Dorsel", "Dorsel.zyn", "ZynSetup.dat",
                                 "ZynSetup.dll", "ZYNSYSID.sys", "ZYNSYSID.vxd", "zynliba.dll",
                                 "zynlibb.dll", "unicows.dll", "ZYNNTDEV.sys", "ZynFlash.dll"})
            WriteText(std::string(kMedium) + "\\" + name, name);
        source.setupFolder = kMedium;
        source.xmlDescriptor = 0;
    }
    void TearDown() override { RemoveTree("C:\\zfail"); }
};

std::string Name(const char *path)
{
    std::string text = path ? path : "";
    return text.substr(text.rfind('\\') + 1);
}

const char kAllFinals[] = "withdraw 12 from _zynu000.exe to ZynFlash.dll";

TEST_F(Failures, FailedMoveLeavesNoDeletionWithoutItsMove)
{
    failingMove = 4;
    std::set<std::string> stagingBefore = StagingFolders();
    EXPECT_FALSE(TransferPayload(0, &source, kTarget, 1, RUNOPT_INSTALL));
    std::vector<std::string> expected = {kAllFinals};  // before anything is registered
    const char *names[] = {"_zynu000.exe", "Dorsel.exe", "ZynSetup.ini", "ZynSetup.dat",
                           "ZynSetup.dll"};
    for (int pair = 0; pair <= 4; ++pair) {
        expected.push_back("delete " + std::string(names[pair]));
        expected.push_back("move " + std::string(names[pair]) + " " + names[pair]);
    }
    expected.push_back(kAllFinals);
    EXPECT_EQ(expected, calls);  // and nothing for the pairs after it
    EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(stagingBefore));  // the moves registered have no source left
}

TEST_F(Failures, FailedWithdrawalStopsTheInstallBeforeAnyChange)
{
    withdrawalResult = 0;
    std::set<std::string> stagingBefore = StagingFolders();
    for (int deferred = 0; deferred < 2; ++deferred) {
        calls.clear();
        EXPECT_FALSE(TransferPayload(0, &source, kTarget, deferred, RUNOPT_INSTALL));
        EXPECT_EQ(std::vector<std::string>{kAllFinals}, calls);
        EXPECT_FALSE(Exists(kTarget));
        EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(stagingBefore));
    }
}

TEST_F(Failures, FailedScheduleStopsTheUninstall)
{
    std::string uninstaller = WindowsFolderPath() + "\\_zynu000.exe";
    WriteText(uninstaller, "uninstaller");
    CreateDirectoryA(kTarget, 0);
    WriteText(std::string(kTarget) + "\\Dorsel.exe", "program");
    failingDeletion = 1;
    EXPECT_FALSE(TransferPayload(0, &source, kTarget, 1, 0));
    DeleteFileA(uninstaller.c_str());
    EXPECT_EQ((std::vector<std::string>{"delete _zynu000.exe", "delete Dorsel.exe"}), calls);
}

TEST_F(Failures, FailedLinkSaveFailsTheShortcut)
{
    saveResult = E_ACCESSDENIED;
    std::string group = SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\Dorsel Failure Group";
    EXPECT_FALSE(UpdateDesktopShortcut("C:\\zfail\\Dorsel.exe", "Dorsel Failure", RUNOPT_INSTALL));
    EXPECT_FALSE(UpdateGroupShortcut("C:\\zfail\\Dorsel.exe", (group + "\\x.lnk").c_str(),
                                     group.c_str(), RUNOPT_INSTALL));
    EXPECT_TRUE(Exists(group));  // created before the save failed
    EXPECT_EQ(2u, calls.size());
    RemoveDirectoryA(group.c_str());
}

} // namespace

int RegisterRestartOperation(const char *from, const char *to)
{
    if (!to) {
        calls.push_back("delete " + Name(from));
        return deletions++ == failingDeletion ? 0 : 1;
    }
    calls.push_back("move " + Name(from) + " " + Name(to));
    return moves++ == failingMove ? 0 : 1;
}

int WithdrawRestartDeletions(const char *paths)
{
    int count = 0;
    const char *last = paths;
    for (const char *path = paths; *path; path += strlen(path) + 1, ++count)
        last = path;
    calls.push_back("withdraw " + std::to_string(count) + " from " + Name(paths) + " to " +
                    Name(last));
    return withdrawalResult;
}

HRESULT SaveLinkFile(IPersistFile *, const char *path)
{
    calls.push_back(std::string("save ") + Name(path));
    return saveResult;
}

int WithdrawRestartMoves(const char *, PathList *)
{
    return 1;  // nothing pending in these tests
}

int IsPendingRestartSource(const char *)
{
    return 1;  // shares a file with the stand-ins above; left folders alone
}
