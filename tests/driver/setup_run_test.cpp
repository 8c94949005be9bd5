// The phase walk of the setup run against stand-ins of every operation it
// calls: order, Phase codes, progress, result value, messages, exit codes.
#include "tests/driver/walk_doubles.h"

#include "base/log.h"
#include "base/startup_state.h"
#include "driver/setup_driver.h"
#include "driver/ui/user_interface.h"
#include "tests/files/file_access.h"
#include "tests/registry/registry_access.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char kResultKey[] = "SOFTWARE\\Vak\\QuillsenSoftwareInstaller";


void Set(char *field, const char *text)
{
    lstrcpyA(field, text);
}

const std::vector<std::string> kInstallLog = {
    "InitSetupRun 1",
    "BuildInstallPlan 1",
    "OpenProgressWindow",
    "TransferPayload C:\\P\\Dorsel now 1",
    "UpdateDesktopShortcut C:\\P\\Dorsel\\Dorsel.exe Dorsel 1",
    "UpdateStartMenuShortcut C:\\P\\Dorsel\\Dorsel.exe Dorsel 0",
    "UpdateGroupShortcut C:\\P\\Dorsel\\Dorsel.exe C:\\M\\Dorsel\\Dorsel.lnk C:\\M\\Dorsel 1",
    "WriteInstalledFolder C:\\P\\Dorsel 1",
    "WriteProductIdentity Dorsel 3.00.0000 1",
    "WriteMenuFolder C:\\M\\Dorsel 1",
    "WriteInternetSettings 1 C:\\DRIVERS 1",
    "WriteToolbarButton C:\\P\\Dorsel\\Dorsel.exe _zynu000.exe,100 Software Installer 1",
    "MigratePackageRecords",
    "WriteUninstallEntry _zynu000.exe Dorsel 3.00.0000 1",
    "WriteUninstallDetails _zynu000.exe C:\\P\\Dorsel 321 Vak",
    "WriteInterfacePath _zynu000.exe 1",
    "CloseProgressWindow",
};

class SetupRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        walk = WalkScript();
        memset(&g_startup, 0, sizeof(g_startup));
        InstallPlan &plan = walk.plan;
        memset(&plan, 0, sizeof(plan));
        memset(walk.installedVersion, 0, sizeof(walk.installedVersion));
        plan.radarChoice = 1;
        plan.toolbarButton = 1;
        plan.desktopIcon = 1;
        Set(plan.productName, "Dorsel");
        Set(plan.productVersion, "3.00.0000");
        Set(plan.targetFolder, "C:\\P\\Dorsel");
        Set(plan.installedFolder, "C:\\P\\Dorsel");
        Set(plan.programPath, "C:\\P\\Dorsel\\Dorsel.exe");
        Set(plan.menuFolder, "C:\\M\\Dorsel");
        Set(plan.shortcutPath, "C:\\M\\Dorsel\\Dorsel.lnk");
        Set(plan.publisher, "Vak");
        RegDeleteKeyA(HKEY_CURRENT_USER, kResultKey);
        RemoveFolders();
    }
    void TearDown() override { RemoveFolders(); }
    void RemoveFolders()
    {
        for (const char *folder : {"C:\\zwalk\\dl1", "C:\\zwalk\\dl2", "C:\\zwalk\\dl3",
                                   "C:\\zwalk\\search", "C:\\zwalk"})
            RemoveDirectoryA(folder);
    }
    std::vector<int> Steps(int first, int last)
    {
        std::vector<int> steps;
        for (int i = first; i <= last; ++i)
            steps.push_back(i);
        return steps;
    }
};

TEST_F(SetupRun, InstallRunsEveryPhaseInOrder)
{
    EXPECT_EQ(0, RunWalk(""));
    EXPECT_EQ(kInstallLog, walk.log);
    EXPECT_EQ(1, walk.stagingCleanups);  // once the plan stands
    EXPECT_EQ(Steps(1, 8), walk.positions);
    EXPECT_EQ("0000", ResultValue());
    ASSERT_EQ(1u, walk.messages.size());
    EXPECT_EQ("Completed.", walk.messages[0].text);
    EXPECT_EQ("Installation Program", walk.messages[0].caption);
    EXPECT_EQ((UINT)MB_ICONINFORMATION, walk.messages[0].style);
    EXPECT_EQ(0, walk.messages[0].owner);
}

TEST_F(SetupRun, FirstFailingInstallPhaseEndsTheRun)
{
    const struct {
        const char *operation;
        int phase;
        int lastStep;
        const char *message;
    } cases[] = {
        {"TransferPayload", 9, 0, "Failed in operation for files."},
        {"UpdateDesktopShortcut", 11, 1, "Failed in operation for registration."},
        {"UpdateStartMenuShortcut", 11, 1, "Failed in operation for registration."},
        {"UpdateGroupShortcut", 11, 1, "Failed in operation for registration."},
        {"WriteInstalledFolder", 12, 2, "Failed in operation for registration."},
        {"WriteProductIdentity", 12, 3, "Failed in operation for registration."},
        {"WriteMenuFolder", 12, 5, "Failed in operation for registration."},
        {"WriteInternetSettings", 12, 5, "Failed in operation for registration."},
        {"WriteToolbarButton", 12, 5, "Failed in operation for registration."},
        {"MigratePackageRecords", 12, 6, "Failed in operation for registration."},
        {"WriteUninstallEntry", 12, 7, "Failed in operation for registration."},
        {"WriteUninstallDetails", 12, 7, "Failed in operation for registration."},
        {"WriteInterfacePath", 12, 7, "Failed in operation for registration."},
    };
    for (const auto &c : cases) {
        SetUp();
        walk.failing = {c.operation};
        EXPECT_EQ(c.phase, RunWalk("")) << c.operation;
        EXPECT_EQ(Steps(1, c.lastStep), walk.positions) << c.operation;
        char expected[8];
        wsprintfA(expected, "%04X", c.phase);
        EXPECT_EQ(expected, ResultValue()) << c.operation;
        // Nothing after the failing operation runs.
        ASSERT_GE(walk.log.size(), 2u);
        EXPECT_EQ(0u, walk.log[walk.log.size() - 2].find(c.operation)) << c.operation;
        EXPECT_EQ("CloseProgressWindow", walk.log.back());
        ASSERT_EQ(1u, walk.messages.size()) << c.operation;
        EXPECT_EQ(c.message, walk.messages[0].text);
        EXPECT_EQ("Installation Program", walk.messages[0].caption);
        EXPECT_EQ((UINT)MB_ICONWARNING, walk.messages[0].style);
    }
}

TEST_F(SetupRun, PreviousNameShortcutsAreRemovedAndTheirResultsIgnored)
{
    Set(walk.plan.previousName, "Old Name");
    Set(walk.plan.previousShortcutPath, "C:\\M\\Dorsel\\Old Name.lnk");
    walk.failing = {"UpdateDesktopShortcut C:\\P\\Dorsel\\Dorsel.exe Old Name"};
    EXPECT_EQ(0, RunWalk(""));
    std::vector<std::string> expected = {
        "UpdateDesktopShortcut C:\\P\\Dorsel\\Dorsel.exe Old Name 0",
        "UpdateStartMenuShortcut C:\\P\\Dorsel\\Dorsel.exe Old Name 0",
        "UpdateGroupShortcut C:\\P\\Dorsel\\Dorsel.exe C:\\M\\Dorsel\\Old Name.lnk C:\\M\\Dorsel 0",
    };
    EXPECT_EQ(expected, std::vector<std::string>(walk.log.begin() + 4, walk.log.begin() + 7));
    EXPECT_EQ(kInstallLog[4], walk.log[7]);

    SetUp();  // the same name: nothing is removed
    Set(walk.plan.previousName, "Dorsel");
    EXPECT_EQ(0, RunWalk(""));
    EXPECT_EQ(kInstallLog, walk.log);
}

TEST_F(SetupRun, HiddenRunTouchesNoShortcut)
{
    EXPECT_EQ(0, RunWalk("/W"));
    for (const std::string &entry : walk.log)
        EXPECT_EQ(std::string::npos, entry.find("Shortcut")) << entry;
    std::vector<int> expected = {1, -2, 3, 4, 5, 6, 7, 8};  // 2 without the pause
    EXPECT_EQ(expected, walk.positions);
}

TEST_F(SetupRun, UninstallRemovesInItsOwnOrder)
{
    EXPECT_EQ(0, RunWalk("/U"));
    std::vector<std::string> expected = {
        "InitSetupRun 0",
        "BuildInstallPlan 0",
        "OpenProgressWindow",
        "TransferPayload C:\\P\\Dorsel now 0",
        "UpdateGroupShortcut - C:\\M\\Dorsel\\Dorsel.lnk C:\\M\\Dorsel 0",
        "UpdateDesktopShortcut - Dorsel 0",
        "UpdateStartMenuShortcut - Dorsel 0",
        "WriteInstalledFolder - 0",
        "WriteProductIdentity - - 0",
        "WriteMenuFolder - 0",
        "WriteInternetSettings 0 - 0",
        "WriteToolbarButton - - - 0",
        "RegisterSearchFolder - 0",
        "WriteUninstallEntry - - - 0",
        "WriteInterfacePath - 0",
        "CloseProgressWindow",
    };
    EXPECT_EQ(expected, walk.log);
    EXPECT_EQ(Steps(2, 8), walk.positions);
    ASSERT_EQ(1u, walk.messages.size());
    EXPECT_EQ("Uninstallation Program", walk.messages[0].caption);

    SetUp();
    walk.failing = {"TransferPayload"};
    EXPECT_EQ(10, RunWalk("/U /S"));
    EXPECT_EQ("000A", ResultValue());
    EXPECT_TRUE(walk.messages.empty());

    SetUp();
    walk.criticalFolder = 1;  // refused before any file is touched
    EXPECT_EQ(10, RunWalk("/U /S"));
    ASSERT_GE(walk.log.size(), 2u);
    EXPECT_EQ("OpenProgressWindow", walk.log[walk.log.size() - 2]);
}

TEST_F(SetupRun, FailingSearchFolderStopsTheRunOnlyAfterAllAreRegistered)
{
    walk.searchList = "C:\\zwalk\\a;;C:\\zwalk\\b";
    walk.failing = {"RegisterSearchFolder C:\\zwalk\\a"};
    EXPECT_EQ(12, RunWalk("/S"));
    std::vector<std::string> registered(walk.log.end() - 4, walk.log.end() - 1);
    std::vector<std::string> expected = {"RegisterSearchFolder C:\\zwalk\\a 3",
                                         "RegisterSearchFolder  3",
                                         "RegisterSearchFolder C:\\zwalk\\b 3"};
    EXPECT_EQ(expected, registered);
    EXPECT_EQ(Steps(1, 4), walk.positions);
}

TEST_F(SetupRun, DownloadFolderIsTheFirstCandidateNotThereYet)
{
    CreateDirectoryA("C:\\zwalk", 0);
    CreateDirectoryA("C:\\zwalk\\dl1", 0);
    walk.searchList = "C:\\zwalk\\missing";
    walk.downloadList = "\\zwalk\\dl1;\\zwalk\\dl2;\\zwalk\\dl3";
    walk.failing = {"RegisterSearchFolder C:\\zwalk\\dl2"};  // its result is ignored
    EXPECT_EQ(0, RunWalk("/S"));
    EXPECT_NE(GetFileAttributesA("C:\\zwalk\\dl2"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA("C:\\zwalk\\dl3"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(walk.log.end(), std::find(walk.log.begin(), walk.log.end(),
                                        "WriteInternetSettings 1 C:\\zwalk\\dl2 3"));

    SetUp();  // every candidate exists: the last one, nothing created or registered
    CreateDirectoryA("C:\\zwalk", 0);
    CreateDirectoryA("C:\\zwalk\\dl1", 0);
    CreateDirectoryA("C:\\zwalk\\dl2", 0);
    walk.searchList = "C:\\zwalk\\missing";
    walk.downloadList = "\\zwalk\\dl1;\\zwalk\\dl2";
    EXPECT_EQ(0, RunWalk("/S"));
    EXPECT_NE(walk.log.end(), std::find(walk.log.begin(), walk.log.end(),
                                        "WriteInternetSettings 1 C:\\zwalk\\dl2 3"));
    EXPECT_EQ(walk.log.end(), std::find(walk.log.begin(), walk.log.end(),
                                        "RegisterSearchFolder C:\\zwalk\\dl2 3"));

    SetUp();  // a writable search folder exists: the default stays
    CreateDirectoryA("C:\\zwalk", 0);
    CreateDirectoryA("C:\\zwalk\\search", 0);
    walk.searchList = "C:\\zwalk\\search";
    walk.downloadList = "\\zwalk\\dl1";
    EXPECT_EQ(0, RunWalk("/S"));
    EXPECT_NE(walk.log.end(), std::find(walk.log.begin(), walk.log.end(),
                                        "WriteInternetSettings 1 C:\\DRIVERS 3"));
    EXPECT_EQ(GetFileAttributesA("C:\\zwalk\\dl1"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SetupRun, RunningApplicationMeansReplaceOnRestart)
{
    Set(walk.installedVersion, "3.00.0000");
    HANDLE mutex = CreateMutexA(0, TRUE, "Dorsel");
    EXPECT_EQ(0, RunWalk(""));
    EXPECT_EQ("TransferPayload C:\\P\\Dorsel deferred 1", walk.log[3]);
    EXPECT_TRUE(walk.messages.empty());
    EXPECT_EQ(1, walk.restartPrompts);

    SetUp();
    Set(walk.installedVersion, "3.00.0000");
    EXPECT_EQ(0, RunWalk("/S"));
    EXPECT_EQ("TransferPayload C:\\P\\Dorsel deferred 3", walk.log[3]);
    EXPECT_EQ(0, walk.restartPrompts);
    CloseHandle(mutex);

    SetUp();  // versions before 1.03.0000 are found by their window, not the mutex
    Set(walk.installedVersion, "1.02.0000");
    mutex = CreateMutexA(0, TRUE, "Dorsel");
    EXPECT_EQ(0, RunWalk("/S"));
    EXPECT_EQ("TransferPayload C:\\P\\Dorsel now 3", walk.log[3]);
    CloseHandle(mutex);
    HWND window = CreateWindowA("STATIC", "Dorsel", WS_POPUP, 0, 0, 1, 1, 0, 0, 0, 0);
    ASSERT_TRUE(window);
    SetUp();
    Set(walk.installedVersion, "1.02.0000");
    EXPECT_EQ(0, RunWalk("/S"));
    EXPECT_EQ("TransferPayload C:\\P\\Dorsel deferred 3", walk.log[3]);
    DestroyWindow(window);
}

TEST_F(SetupRun, SilentAndNoReportShowNothing)
{
    EXPECT_EQ(0, RunWalk("/S"));
    EXPECT_TRUE(walk.messages.empty());
    SetUp();
    walk.failing = {"WriteMenuFolder"};
    EXPECT_EQ(12, RunWalk("/F"));
    EXPECT_TRUE(walk.messages.empty());
    EXPECT_EQ("000C", ResultValue());
}

TEST_F(SetupRun, RightsChecksEndWithoutAResult)
{
    walk.administrator = 0;
    EXPECT_EQ(-1, RunWalk(""));
    ASSERT_EQ(1u, walk.messages.size());
    EXPECT_EQ("You must be an administrator to run this program.", walk.messages[0].text);
    EXPECT_EQ("<default>", walk.messages[0].caption);
    EXPECT_EQ((UINT)MB_ICONERROR, walk.messages[0].style);
    EXPECT_EQ("<none>", ResultValue());

    SetUp();
    walk.administrator = 0;
    EXPECT_EQ(-1, RunWalk("/S"));
    EXPECT_TRUE(walk.messages.empty());

    SetUp();
    walk.takeOwnership = 0;
    EXPECT_EQ(-1, RunWalk(""));
    EXPECT_TRUE(walk.messages.empty());
    EXPECT_EQ("<none>", ResultValue());
}

TEST_F(SetupRun, StartUpAndPlanFailuresAreInitialization)
{
    walk.initResult = 0;
    EXPECT_EQ(8, RunWalk(""));
    EXPECT_EQ("0008", ResultValue());
    ASSERT_EQ(1u, walk.messages.size());
    EXPECT_EQ("Failed in operation for initialization.", walk.messages[0].text);
    EXPECT_EQ(1u, walk.log.size());  // no plan, no progress window

    SetUp();
    walk.planResult = 0;
    walk.cancel = 1;  // a failed plan is reported even when the user cancelled
    EXPECT_EQ(8, RunWalk("/U"));
    EXPECT_EQ("Uninstallation Program", walk.messages.at(0).caption);
}

// A bundle is read through only by the copy that does the work, before its
// plan: a first copy that starts an elevated one does not read it twice. A
// damaged one ends with 8 before the plan, and says so.
TEST_F(SetupRun, BundleIsReadThroughByTheCopyThatWorks)
{
    walk.bundled = 1;
    walk.administrator = 0;
    walk.elevationType = 3;  // limited: the elevated copy does the run
    EXPECT_EQ(0, RunWalk("/S"));
    EXPECT_EQ(2u, walk.log.size());
    EXPECT_EQ("StartAndAwaitExit runas /S /Elevated", walk.log.back());

    SetUp();
    walk.bundled = 1;
    EXPECT_EQ(0, RunWalk(""));
    ASSERT_LT(2u, walk.log.size());
    EXPECT_EQ("ReadBundledSetupFiles", walk.log[1]);
    EXPECT_EQ("BuildInstallPlan 1", walk.log[2]);

    SetUp();
    walk.bundled = 1;
    walk.bundleDamaged = 1;
    EXPECT_EQ(8, RunWalk(""));
    EXPECT_EQ("0008", ResultValue());
    EXPECT_EQ(2u, walk.log.size());  // no plan
    ASSERT_EQ(1u, walk.messages.size());
    EXPECT_EQ("This setup file is damaged. Please download it again.", walk.messages[0].text);
    EXPECT_EQ("Installation Program", walk.messages[0].caption);
    EXPECT_EQ((UINT)MB_ICONERROR, walk.messages[0].style);
}

TEST_F(SetupRun, CancelledPlanEndsQuietly)
{
    walk.cancel = 1;
    EXPECT_EQ(0, RunWalk(""));
    EXPECT_EQ("<none>", ResultValue());
    EXPECT_TRUE(walk.messages.empty());
    EXPECT_EQ(2u, walk.log.size());
    EXPECT_EQ(0, walk.stagingCleanups);  // a cancelled run changes nothing
}

TEST_F(SetupRun, RelaunchWithNotification)
{
    walk.callerWindow = 0x1234;
    walk.appReady = 0;
    EXPECT_EQ(0, RunWalk("/O /S"));
    ASSERT_GE(walk.log.size(), 2u);
    // No group shortcut there (as after /W on a fresh install): the program itself.
    EXPECT_EQ("StartAndAwaitReady C:\\P\\Dorsel\\Dorsel.exe C:\\P\\Dorsel",
              walk.log[walk.log.size() - 2]);
    EXPECT_EQ("DeleteCallerNotification", walk.log.back());
    ASSERT_EQ(1u, walk.messages.size());  // shown even when silent
    EXPECT_EQ("system text 1627", walk.messages[0].text);
    EXPECT_EQ((HWND)0x1234, walk.messages[0].owner);
    EXPECT_EQ((UINT)MB_ICONWARNING, walk.messages[0].style);

    SetUp();  // through the group shortcut where there is one
    walk.callerWindow = 0x1234;
    CreateDirectoryA("C:\\zwalk", 0);
    WriteText("C:\\zwalk\\Dorsel.lnk", "");
    Set(walk.plan.shortcutPath, "C:\\zwalk\\Dorsel.lnk");
    EXPECT_EQ(0, RunWalk("/O /S"));
    DeleteFileA("C:\\zwalk\\Dorsel.lnk");
    EXPECT_TRUE(walk.messages.empty());
    EXPECT_EQ("StartAndAwaitReady C:\\zwalk\\Dorsel.lnk C:\\M\\Dorsel", walk.log.back());

    SetUp();  // a failed run deletes the request and starts nothing
    walk.callerWindow = 0x1234;
    walk.failing = {"WriteMenuFolder"};
    EXPECT_EQ(12, RunWalk("/O /S"));
    EXPECT_EQ("DeleteCallerNotification", walk.log.back());
}

// Without administrator rights the run may start an elevated copy of itself.
// Wine's tokens are always full, so the token's type and the elevated start
// are stand-ins. The log is what follows start-up.
TEST_F(SetupRun, ElevationDecision)
{
    const int kDefault = 1, kFull = 2, kLimited = 3;
    const std::string kStart = "StartAndAwaitExit runas ";
    const struct {
        const char *commandLine;
        int elevationType, starts;
        DWORD copyExitCode;
        int exitCode;
        std::vector<std::string> log;
        const char *result;  // in this copy's HKCU
    } cases[] = {
        {"/S", kLimited, 1, 0, 0, {kStart + "/S /Elevated"}, "<none>"},  // the same account
        {"/S", kDefault, 1, 12, 12, {kStart + "/S /Elevated"}, "000C"},  // another: mirrored
        {"/S", kDefault, 1, 8, 8, {kStart + "/S /Elevated"}, "0008"},  // the first phase code
        {"/S", kDefault, 1, 15, 15, {kStart + "/S /Elevated"}, "000F"},  // and the last
        {"", kFull, 1, 0, -1, {}, "<none>"},
        {"", 0, 1, 0, -1, {}, "<none>"},  // before Vista
        {"/S", kLimited, 0, 0, -1, {kStart + "/S /Elevated"}, "<none>"},  // refused, cancelled
        {"", kLimited, 0, 0, -1, {kStart + " /Elevated"}, "<none>"},  // and then told
        {"/S /Elevated", kLimited, 1, 0, -1, {}, "<none>"},  // the elevated copy: never again
        {"/U /S", kDefault, 1, (DWORD)-1, -1, {kStart + "/U /S /Elevated"}, "<none>"},
        {"", kDefault, 1, ERROR_CANCELLED, 0, {kStart + " /Elevated"}, "<none>"},
        {"/O /S", kLimited, 1, 0, 0,
         {kStart + "/O /S /Elevated", "StartAndAwaitReady C:\\P\\Dorsel\\Dorsel.exe C:\\P\\Dorsel"},
         "<none>"},
        {"/O /S", kLimited, 1, 12, 12, {kStart + "/O /S /Elevated", "DeleteCallerNotification"},
         "<none>"},
        {"/T1", kLimited, 1, 0, 1, {"RunLaunchMode"}, "<none>"},  // launch mode never elevates
        // "/D=" stays last; the copy's restart code and busy lock are results to mirror.
        {"/S /D=C:\\My Apps", kLimited, 1, 0, 0, {kStart + "/S /Elevated /D=C:\\My Apps"}, "<none>"},
        {"/S /R=3010", kDefault, 1, 3010, 3010, {kStart + "/S /R=3010 /Elevated"}, "0000"},
        {"/S", kDefault, 1, 1618, 1618, {kStart + "/S /Elevated"}, "0652"},
        // A failure is mirrored as one even when "/R=" named its code.
        {"/S /R=12", kDefault, 1, 12, 12, {kStart + "/S /R=12 /Elevated"}, "000C"},
    };
    for (const auto &c : cases) {
        SetUp();
        walk.administrator = 0;
        walk.callerWindow = 0x1234;
        walk.elevationType = c.elevationType;
        walk.elevatedStarts = c.starts;
        walk.elevatedExitCode = c.copyExitCode;
        EXPECT_EQ(c.exitCode, RunWalk(c.commandLine)) << c.commandLine;
        EXPECT_EQ(c.result, ResultValue()) << c.commandLine;
        bool refused = c.exitCode == -1 && !strstr(c.commandLine, "/S");
        EXPECT_EQ(refused ? 1u : 0u, walk.messages.size()) << c.commandLine;  // string 16
        size_t startUp = !walk.log.empty() && walk.log[0].find("InitSetupRun") == 0;
        EXPECT_EQ(c.log, std::vector<std::string>(walk.log.begin() + startUp, walk.log.end()))
            << c.commandLine;
    }

    SetUp();  // an administrator's default token (UAC off) runs itself
    walk.elevationType = kDefault;
    EXPECT_EQ(0, RunWalk(""));
    EXPECT_EQ(kInstallLog, walk.log);
    SetUp();  // the elevated copy leaves the restart to the first
    walk.callerWindow = 0x1234;
    EXPECT_EQ(0, RunWalk("/O /S /Elevated"));
    EXPECT_EQ(kInstallLog.back(), walk.log.back());
    walk.cancel = 1;  // and tells its cancelled plan apart from a completed run
    EXPECT_EQ(ERROR_CANCELLED, RunWalk("/O /Elevated"));

    SetUp();  // a copy under another account killed: the earlier result is gone
    EXPECT_EQ(0, RunWalk("/S"));
    walk.administrator = 0;
    walk.elevationType = kDefault;
    walk.elevatedExitCode = 1;
    EXPECT_EQ(1, RunWalk("/S"));
    EXPECT_EQ("<none>", ResultValue());
    walk.administrator = 1;
    EXPECT_EQ(0, RunWalk("/S"));  // and so is it after a refused elevation
    walk.administrator = 0;
    walk.elevatedStarts = 0;
    EXPECT_EQ(-1, RunWalk("/S"));
    EXPECT_EQ("<none>", ResultValue());
}

// What a TARGET value or a typed folder becomes.
TEST(TargetFolder, TidiedOfBlanksAndTrailingBackslashes)
{
    const char *const rows[][2] = {
        {"C:\\Program Files\\Dorsel\\", "C:\\Program Files\\Dorsel"},
        {"  C:\\a b\\c \\\\ \t", "C:\\a b\\c"},
        {"C:\\", "C:\\"},
        {"C:\\\\\\", "C:\\"},
        {"\\\\server\\share\\", "\\\\server\\share"},
        {" MyApp", "MyApp"},
        {"\\", ""},
        {"   ", ""},
    };
    for (const auto &row : rows) {
        char folder[MAX_PATH] = {0};
        lstrcpyA(folder, row[0]);
        TidyTargetFolder(folder);
        EXPECT_STREQ(row[1], folder) << row[0];
    }
}

// Run under a Japanese locale: a kanji whose second byte is 0x5C stays whole,
// and so does one whose second byte is a bar, which no name may hold; nor is
// "NUL" after such a kanji a part of its own, a device.
TEST(TargetFolder, SecondByteOfADoubleByteCharacterIsNoBackslash)
{
    char folder[MAX_PATH] = "C:\\\x95\x5C\\";
    TidyTargetFolder(folder);
    EXPECT_STREQ(GetACP() == 932 ? "C:\\\x95\x5C" : "C:\\\x95", folder);
    for (const char *named : {"C:\\\x95\x5CNUL", "C:\\\x83\x7C"})
        EXPECT_EQ(GetACP() == 932, IsPlainFolderName(named, 0) != 0) << named;
}

} // namespace

namespace {

const char kLogFile[] = "C:\\zwalk\\log\\ZynSetup.log";

// The log's end lines for endings the real program cannot be brought to.
TEST_F(SetupRun, LogTellsHowTheRunEnded)
{
    const struct {
        const char *failing;
        int administrator, running, elevation, exitCode;  // elevation 3: limited token
        std::vector<std::string> lines;
    } cases[] = {
        // Files were registered for the restart before registration failed.
        {"WriteMenuFolder", 1, 1, 2, 12,
         {"phase 12 (registration): step 5 done\r\n", "phase 12 (registration) failed\r\n",
          "end: Phase code 12\r\n", "restart needed: yes\r\n", "exit code 12\r\n"}},
        {"", 0, 0, 2, -1, {"end: stopped before the phases, exit code -1\r\n"}},
        // The elevated copy is told the log's folder; this copy logs its exit code.
        {"", 0, 0, 3, 0, {"elevated copy ended, exit code 0\r\n", "] exit code 0\r\n"}},
    };
    for (const auto &run : cases) {
        SetUp();
        CreateDirectoryA("C:\\zwalk", 0);
        CreateDirectoryA("C:\\zwalk\\log", 0);
        if (*run.failing)
            walk.failing = {run.failing};
        walk.administrator = run.administrator;
        walk.elevationType = run.elevation;
        Set(walk.installedVersion, "3.00.0000");
        HANDLE mutex = run.running ? CreateMutexA(0, TRUE, "Dorsel") : 0;
        EXPECT_EQ(run.exitCode, RunWalk("/S /L=C:\\zwalk\\log"));
        CloseHandle(mutex);
        EXPECT_EQ(kLogFile, ResultValue("SetupLog"));
        if (run.elevation == 3) {
            ASSERT_FALSE(walk.log.empty());
            // Each switch once, the log's naming the folder this copy writes to.
            EXPECT_EQ("StartAndAwaitExit runas /S /L=C:\\zwalk\\log /Elevated", walk.log.back());
        }
        std::string log = ReadText(kLogFile);
        for (const std::string &line : run.lines)
            EXPECT_NE(std::string::npos, log.find(line)) << line << "\n" << log;
        DeleteFileA(kLogFile);
        RemoveDirectoryA("C:\\zwalk\\log");
    }
    // A log file of its own name: the elevated copy writes to that file. A
    // folder named like a log file stays a folder for it.
    const char *const logs[][2] = {{"C:\\zwalk\\run.log", "C:\\zwalk\\run.log"},
                                   {"C:\\zwalk\\Logs.log\\", "C:\\zwalk\\Logs.log\\ZynSetup.log"}};
    for (const auto &log : logs) {
        SetUp();
        CreateDirectoryA("C:\\zwalk", 0);
        CreateDirectoryA("C:\\zwalk\\Logs.log", 0);
        walk.administrator = 0;
        walk.elevationType = 3;
        EXPECT_EQ(0, RunWalk(("/L=" + std::string(log[0]) + " /S").c_str()));
        ASSERT_FALSE(walk.log.empty());
        EXPECT_EQ("StartAndAwaitExit runas /S /L=" + std::string(log[0]) + " /Elevated",
                  walk.log.back());
        EXPECT_EQ(log[1], ResultValue("SetupLog"));
        DeleteFileA(log[1]);
        RemoveDirectoryA("C:\\zwalk\\Logs.log");
    }
}

// The command line in one table: every switch letter in either case, alone
// and together, into the options word. "/L=" names the log's folder (blanks
// included, up to the next switch) or, ending in ".log" or ".txt", its file;
// "/D=" ends the switches, all after it is the folder; "/R=" takes a decimal
// code that fits 32 bits and means nothing else to a caller; "/T" (upper
// case only, first) asks for launch mode; "/Elevated" marks the elevated copy.
TEST(CommandLine, EverySwitchInEitherCase)
{
    const int kLaunch = 1, kElevated = 2;
    const std::string longFolder = "/D=" + std::string(MAX_PATH, 'x');  // named, not held
    const struct {
        const char *commandLine;
        RunOptions options;
        const char *log;
        DWORD restart;
        const char *folder;  // 0: no "/D=" folder
        int mode;
    } rows[] = {
        {"", 0x1, "", 0, 0, 0},
        {"/F", 0x201, "", 0, 0, 0}, {"/f", 0x201, "", 0, 0, 0},
        {"/O", 0x5, "", 0, 0, 0}, {"/o", 0x5, "", 0, 0, 0},
        {"/S", 0x3, "", 0, 0, 0}, {"/s", 0x3, "", 0, 0, 0},
        {"/U", 0x0, "", 0, 0, 0}, {"/u", 0x0, "", 0, 0, 0},
        {"/W", 0x101, "", 0, 0, 0}, {"/w", 0x101, "", 0, 0, 0},
        {"/L", 0x801, "", 0, 0, 0}, {"/l", 0x801, "", 0, 0, 0},
        {"/F/O/S/W/L/U", 0xB06, "", 0, 0, 0}, {"/f /o /s /w /l", 0xB07, "", 0, 0, 0},
        {"/Silent /uninstall", 0x2, "", 0, 0, 0}, {"/X /S", 0x3, "", 0, 0, 0},
        {"/T1", 0x1, "", 0, 0, kLaunch}, {"/t1", 0x1, "", 0, 0, 0}, {"/S /T1", 0x3, "", 0, 0, 0},
        {"/S /Elevated", 0x3, "", 0, 0, kElevated}, {"/S /elevated", 0x3, "", 0, 0, 0},
        {"/S /l", 0x803, "", 0, 0, 0}, {"/Log", 0x801, "", 0, 0, 0}, {"-L", 0x1, "", 0, 0, 0},
        {"/L=", 0x801, "", 0, 0, 0},
        {"/S/L=C:\\Users\\Jo Smith\\Temp\\ /U", 0x802, "C:\\Users\\Jo Smith\\Temp\\", 0, 0, 0},
        {"/L=\"C:\\a b\" /S", 0x803, "C:\\a b", 0, 0, 0},
        {"/L=C:\\first /L=D:\\second\t", 0x801, "D:\\second", 0, 0, 0},
        {"/S /L=C:\\logs\\Setup.LOG", 0x803, "C:\\logs\\Setup.LOG", 0, 0, 0},
        {"/l=\"C:\\a b\\run.txt\" /S", 0x803, "C:\\a b\\run.txt", 0, 0, 0},
        {"/L=C:\\logs.d /S", 0x803, "C:\\logs.d", 0, 0, 0},
        {"/S /D=C:\\My Apps\\Dorsel\\ ", 0x3, "", 0, "C:\\My Apps\\Dorsel", 0},
        {"/s /d=C:\\x", 0x3, "", 0, "C:\\x", 0},
        {"/D=C:\\x /S /R=3010", 0x1, "", 0, "C:\\x /S /R=3010", 0},  // in the middle
        {"/S /D=", 0x3, "", 0, 0, 0},
        {"/S /d=  \t", 0x3, "", 0, 0, 0},
        {"/R=3010 /S", 0x3, "", 3010, 0, 0},
        // Codes that mean something else to a caller are ignored.
        {"/R=7", 0x1, "", 7, 0, 0}, {"/R=8", 0x1, "", 0, 0, 0}, {"/R=15", 0x1, "", 0, 0, 0},
        {"/R=16", 0x1, "", 16, 0, 0}, {"/R=0", 0x1, "", 0, 0, 0}, {"/R=1618", 0x1, "", 0, 0, 0},
        {"/R=1223", 0x1, "", 0, 0, 0}, {"/R=3010 /R=12", 0x1, "", 0, 0, 0},
        {"/R=125", 0x1, "", 125, 0, 0}, {"/R=126", 0x1, "", 0, 0, 0}, {"/R=127", 0x1, "", 0, 0, 0},
        {"/R=128", 0x1, "", 128, 0, 0}, {"/R=258", 0x1, "", 258, 0, 0}, {"/R=259", 0x1, "", 0, 0, 0},
        {"/R=260", 0x1, "", 260, 0, 0},
        {"/r=4294967295", 0x1, "", 0, 0, 0}, {"/r=4294967294", 0x1, "", 4294967294u, 0, 0},
        {"/R=4294967296", 0x1, "", 0, 0, 0},
        {"/R=4294967300", 0x1, "", 0, 0, 0},  // would wrap to 4
        {"/R=30x0 /S", 0x3, "", 0, 0, 0},
        {"/R=-1", 0x1, "", 0, 0, 0},
        {"/R=", 0x1, "", 0, 0, 0},
        {longFolder.c_str(), 0x1, "", 0, "", 0},
    };
    for (const auto &row : rows) {
        SetupCommand command;
        ReadSetupCommand(row.commandLine, &command);
        EXPECT_EQ(row.options, command.options) << row.commandLine;
        RunOptions options = RUNOPT_INSTALL;
        ParseRunOptions(row.commandLine, &options);
        EXPECT_EQ(row.options, options) << row.commandLine;
        char log[MAX_PATH];
        EXPECT_EQ(row.log[0] != 0, FindLogFolder(row.commandLine, log)) << row.commandLine;
        EXPECT_STREQ(row.log, log) << row.commandLine;
        EXPECT_EQ(row.restart, command.restartExitCode) << row.commandLine;
        EXPECT_EQ(row.folder != 0, command.installFolderGiven != 0) << row.commandLine;
        EXPECT_STREQ(row.folder ? row.folder : "", command.installFolder) << row.commandLine;
        EXPECT_EQ(row.mode == kLaunch, IsLaunchCommandLine(row.commandLine) != 0) << row.commandLine;
        EXPECT_EQ(row.mode == kElevated, command.elevatedCopy != 0) << row.commandLine;
        EXPECT_EQ(row.mode == kElevated, IsElevatedCopy(row.commandLine) != 0) << row.commandLine;
    }
    SetupCommand shortest;  // the shortest name of a log file
    ReadSetupCommand("/L=a.log", &shortest);
    EXPECT_STRNE("", shortest.logFile);
}

// A long line is cut, never overrun; logging keeps the caller's last error;
// a log name that links to another file is refused, since trimming would cut
// that file for whoever planted the link.
TEST(LogFile, BoundedLinesAndNoLinkedFile)
{
    CreateDirectoryA("C:\\zwalk", 0);
    ASSERT_TRUE(OpenLog(RUNOPT_LOG, "C:\\zwalk\\", "/L"));
    EXPECT_STREQ("C:\\zwalk\\ZynSetup.log", LogPath());
    LogLine("long %s", std::string(3000, 'x').c_str());
    SetLastError(1234);
    LogOutcome(ERROR_ACCESS_DENIED, "RegSetValueExA %s", "Version");
    EXPECT_EQ(1234u, GetLastError());
    CloseLog();
    LogLine("after the close");
    std::string log = ReadText("C:\\zwalk\\ZynSetup.log");
    size_t start = log.rfind("\r\n", log.find("] long ")) + 2;
    EXPECT_EQ(LOG_LINE_SIZE - 1u, log.find("\r\n", start) + 2 - start);
    EXPECT_NE(std::string::npos, log.find("] RegSetValueExA Version: failed, error 5: "));
    EXPECT_EQ(std::string::npos, log.find("after the close"));

    DeleteFileA("C:\\zwalk\\ZynSetup.log");
    WriteText("C:\\zwalk\\other.txt", "someone's data");
    ASSERT_TRUE(CreateHardLinkA("C:\\zwalk\\ZynSetup.log", "C:\\zwalk\\other.txt", 0));
    EXPECT_FALSE(OpenLog(RUNOPT_LOG, "C:\\zwalk", "/L"));
    EXPECT_EQ("someone's data", ReadText("C:\\zwalk\\other.txt"));
    EXPECT_FALSE(OpenLog(RUNOPT_INSTALL, "C:\\zwalk", "/S"));  // no /L, no log
    DeleteFileA("C:\\zwalk\\ZynSetup.log");
    DeleteFileA("C:\\zwalk\\other.txt");

    // A folder named by its short name: the system names the open log by long names.
    const std::string folder = "C:\\zwalk\\Long Log Folder";
    CreateDirectoryA(folder.c_str(), 0);
    char shortName[MAX_PATH] = {0};
    GetShortPathNameA(folder.c_str(), shortName, MAX_PATH);
    ASSERT_STRNE(folder.c_str(), shortName);
    EXPECT_TRUE(OpenLog(RUNOPT_LOG, shortName, "/L") && LogLine("second line"));
    CloseLog();
    EXPECT_NE(std::string::npos, ReadText(folder + "\\ZynSetup.log").find("] second line"));
    DeleteFileA((folder + "\\ZynSetup.log").c_str());
    RemoveDirectoryA(folder.c_str());
    RemoveDirectoryA("C:\\zwalk");
}

} // namespace
