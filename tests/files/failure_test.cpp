// Failures that cannot be produced for real: a restart registration that
// fails for one pair, and a shell link that cannot be saved. This executable
// links its own RegisterRestartOperation, WithdrawRestartDeletion and
// SaveLinkFile in place of the real ones.
#include "base/startup_state.h"
#include "files/files.h"
#include "tests/files/file_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> calls;
int failingMove = -1;      // the move of this pair (0-based) fails
int failingDeletion = -1;  // this deletion (0-based) fails
int moves = 0;
int deletions = 0;
HRESULT saveResult = S_OK;

const char kMedium[] = "C:\\zfail\\medium";
const char kTarget[] = "C:\\zfail\\Dorsel";

class Failures : public ::testing::Test {
protected:
    void SetUp() override
    {
        calls.clear();
        failingMove = -1;
        failingDeletion = -1;
        moves = 0;
        deletions = 0;
        saveResult = S_OK;
        RemoveTree("C:\\zfail");
        CreateDirectoryA("C:\\zfail", 0);
        CreateDirectoryA(kMedium, 0);
        for (const char *name : {"setup.exe", "Dorsel", "Dorsel.zyn", "ZynSetup.dat",
                                 "ZynSetup.dll", "ZYNSYSID.sys", "ZYNSYSID.vxd", "zynliba.dll",
                                 "zynlibb.dll", "unicows.dll", "ZYNNTDEV.sys", "ZynFlash.dll"})
            WriteText(std::string(kMedium) + "\\" + name, name);
        memset(&g_startup, 0, sizeof(g_startup));
        lstrcpyA(g_startup.setupFolder, kMedium);
    }
    void TearDown() override { RemoveTree("C:\\zfail"); }
};

std::string Name(const char *path)
{
    std::string text = path ? path : "";
    return text.substr(text.rfind('\\') + 1);
}

TEST_F(Failures, FailedMoveLeavesNoDeletionWithoutItsMove)
{
    failingMove = 4;
    EXPECT_FALSE(TransferPayload(0, kTarget, 1, RUNOPT_INSTALL));
    std::vector<std::string> expected;
    const char *names[] = {"_zynu000.exe", "Dorsel.exe", "ZynSetup.ini", "ZynSetup.dat",
                           "ZynSetup.dll"};
    for (int pair = 0; pair <= 4; ++pair) {
        expected.push_back("delete " + std::string(names[pair]));
        expected.push_back("move " + std::string(names[pair]) + " " + names[pair]);
    }
    expected.push_back("withdraw ZynSetup.dll");
    EXPECT_EQ(expected, calls);  // and nothing for the pairs after it
}

TEST_F(Failures, FailedScheduleStopsTheUninstall)
{
    failingDeletion = 0;
    EXPECT_FALSE(TransferPayload(0, kTarget, 1, 0));
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("delete _zynu000.exe", calls[0]);
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

int WithdrawRestartDeletion(const char *path)
{
    calls.push_back("withdraw " + Name(path));
    return 1;
}

HRESULT SaveLinkFile(IPersistFile *, const char *path)
{
    calls.push_back(std::string("save ") + Name(path));
    return saveResult;
}
