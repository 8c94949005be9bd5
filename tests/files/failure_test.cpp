// Failures that cannot be produced for real: a restart registration that
// fails for one pair, pending work that cannot be taken back, a shell
// link that cannot be saved, and shell operations that report or leave
// something other than what they did, and shell folders that cannot be
// told. This executable links its own RegisterRestartOperation, the two
// withdrawals, SaveLinkFile, GetShellFolder and RunShellFileOperation in
// place of the real ones; the last carries out the request and then changes
// what a test asks for.
#include "files/files.h"
#include "places/places.h"
#include "restart/restart.h"
#include "shortcuts/shortcuts.h"
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
int moveWithdrawalResult = 1;
HRESULT saveResult = S_OK;
int shellFoldersKnown = 1;
LONG shellFolderCalls = 0;  // by any thread

// What the shell does to the payload beyond the request, for one operation.
struct ShellFault {
    const char *check;  // the one check of the payload's move that notices it
    UINT operation;     // FO_COPY into the staging folder or FO_MOVE into place
    int result;         // the shell's result
    BOOL aborted;       // fAnyOperationsAborted
    const char *grown;  // this destination gets a byte more
    const char *gone;   // this destination is deleted
    const char *left;   // this source is left behind (copied, not moved)
    bool held;          // the source folder is held open
};
const ShellFault *fault = 0;
std::string heldFolder;
HANDLE held = INVALID_HANDLE_VALUE;

const char kMedium[] = "C:\\zfail\\medium";
const char kTarget[] = "C:\\zfail\\Dorsel";

class Failures : public ::testing::Test {
protected:
    PayloadSource source = {0, 0, 0};
    void SetUp() override
    {
        calls.clear();
        failingMove = -1;
        failingDeletion = -1;
        moves = 0;
        deletions = 0;
        withdrawalResult = 1;
        moveWithdrawalResult = 1;
        saveResult = S_OK;
        fault = 0;
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

// A deletion that cannot be registered, or pending moves that cannot be
// taken back (they would bring the files back), stop the uninstall.
TEST_F(Failures, FailedScheduleOrWithdrawalStopsTheUninstall)
{
    std::string uninstaller = WindowsFolderPath() + "\\_zynu000.exe";
    for (bool withdrawalFails : {false, true}) {
        SetUp();
        WriteText(uninstaller, "uninstaller");
        CreateDirectoryA(kTarget, 0);
        WriteText(std::string(kTarget) + "\\Dorsel.exe", "program");
        if (withdrawalFails)
            moveWithdrawalResult = 0;
        else
            failingDeletion = 1;
        EXPECT_FALSE(TransferPayload(0, &source, kTarget, 1, 0));
        DeleteFileA(uninstaller.c_str());
        std::vector<std::string> expected;
        if (!withdrawalFails)
            expected = {"delete _zynu000.exe", "delete Dorsel.exe"};
        EXPECT_EQ(expected, calls);
        EXPECT_TRUE(Exists(std::string(kTarget) + "\\Dorsel.exe"));
    }
}

// Each check of the payload's way into place has a case that it alone
// notices: the shell's result and abort flag, the staged copies' sizes, the
// final files and their sizes, and the staging folder, which must be empty
// and gone.
TEST_F(Failures, EveryCheckOfTheMoveHasACaseOfItsOwn)
{
    const ShellFault faults[] = {
        {"result", FO_MOVE, ERROR_ACCESS_DENIED, FALSE, 0, 0, 0, false},
        {"aborted", FO_MOVE, 0, TRUE, 0, 0, 0, false},
        {"staged sizes", FO_COPY, 0, FALSE, "Dorsel.exe", 0, 0, false},
        // The size before it is the same: only its absence tells.
        {"final files", FO_MOVE, 0, FALSE, 0, "ZynSetup.dll", 0, false},
        {"final sizes", FO_MOVE, 0, FALSE, "Dorsel.exe", 0, 0, false},
        {"staging empty", FO_MOVE, 0, FALSE, 0, 0, "ZynFlash.dll", false},
        {"staging removed", FO_MOVE, 0, FALSE, 0, 0, 0, true},
    };
    std::string uninstaller = WindowsFolderPath() + "\\_zynu000.exe";
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL));  // without a fault
    for (const ShellFault &test : faults) {
        fault = &test;
        std::set<std::string> stagingBefore = StagingFolders();
        EXPECT_FALSE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL)) << test.check;
        if (test.held) {  // emptied, and removed once it is free
            CloseHandle(held);
            EXPECT_TRUE(RemoveDirectoryA(heldFolder.c_str()));
        }
        EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(stagingBefore)) << test.check;
    }
    fault = 0;
    DeleteFileA(uninstaller.c_str());
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

int WithdrawRestartMoves(const char *, PathList *, int *more)
{
    *more = 0;
    return moveWithdrawalResult;  // nothing pending in these tests
}

int IsPendingRestartSource(const char *)
{
    return 1;  // shares a file with the stand-ins above; left folders alone
}

// A shell folder that cannot be told takes a while, so that a question
// asked meanwhile finds the reading ahead unfinished.
int GetShellFolder(int place, char *folder)
{
    ZeroMemory(folder, MAX_PATH);
    InterlockedIncrement(&shellFolderCalls);
    if (!shellFoldersKnown)
        Sleep(200);
    return shellFoldersKnown && SHGetFolderPathA(0, place, 0, 0, folder) == S_OK;
}

namespace {

// The path of `list` (a multi-string) whose name is `name`.
std::string PathNamed(const char *list, const char *name)
{
    for (const char *path = list; *path; path += strlen(path) + 1)
        if (Name(path) == name)
            return path;
    return "";
}

} // namespace

int RunShellFileOperation(SHFILEOPSTRUCTA *request)
{
    int result = SHFileOperationA(request);
    if (!fault || request->wFunc != fault->operation)
        return result;
    if (fault->grown) {
        HANDLE file = CreateFileA(PathNamed(request->pTo, fault->grown).c_str(), FILE_APPEND_DATA,
                                  0, 0, OPEN_EXISTING, 0, 0);
        DWORD written = 0;
        WriteFile(file, "+", 1, &written, 0);
        CloseHandle(file);
    }
    if (fault->gone)
        DeleteFileA(PathNamed(request->pTo, fault->gone).c_str());
    if (fault->left)
        CopyFileA(PathNamed(request->pTo, fault->left).c_str(),
                  PathNamed(request->pFrom, fault->left).c_str(), FALSE);
    if (fault->held) {
        heldFolder = request->pFrom;
        heldFolder.resize(heldFolder.rfind('\\'));
        held = CreateFileA(heldFolder.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, 0);
    }
    request->fAnyOperationsAborted = fault->aborted;
    return fault->result ? fault->result : result;
}

// Where the shell folders cannot be told, no folder can be judged: a plain
// one is refused too. The critical places are read once per process, here
// ahead on a thread of their own, which the first question (this one) waits
// for rather than reading them again beside it.
TEST(CriticalFolders, EveryFolderRefusedWhenTheShellFoldersCannotBeTold)
{
    shellFoldersKnown = 0;
    shellFolderCalls = 0;
    StartReadingCriticalPlaces();
    EXPECT_EQ(1, IsCriticalFolder("C:\\zfail\\Apps"));
    EXPECT_EQ(1, shellFolderCalls);
    shellFoldersKnown = 1;
}
