// Interactive runs of setup.exe, answered the way a user would: the dialogs
// and message boxes are found by their titles, read, and their buttons pressed.
#include "tests/e2e/setup_exe.h"

#include "driver/run_waits.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const int kMessageText = 0xFFFF;  // the static text of a message box

// A program left running while the test answers its windows.
struct Started {
    PROCESS_INFORMATION process;
    explicit Started(const std::string &command) { EXPECT_TRUE(StartProgram(command, &process)); }
    DWORD ExitCode() { return AwaitExit(process, 60000); }
    ~Started()
    {
        if (process.hProcess && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process.hProcess, kTimedOut);
        CloseProcess(&process);
    }
};

// A visible dialog of the given title that has `control` (other than `earlier`).
HWND WaitForDialog(const char *title, int control, HWND earlier = 0)
{
    for (int tries = 0; tries < 300; ++tries) {
        HWND window = FindWindowA("#32770", title);
        if (window && window != earlier && IsWindowVisible(window) && GetDlgItem(window, control))
            return window;
        Sleep(100);
    }
    return 0;
}

std::string ControlText(HWND dialog, int id)
{
    char text[1024] = {0};
    SendMessageA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof(text), (LPARAM)text);
    return text;
}

void Press(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

class Interactive : public SetupExeTest {};

TEST_F(Interactive, UninstallConfirmationNoChangesNothing)
{
    ASSERT_EQ(0u, RunSetup("/S"));
    Started uninstall("\"" + InstalledPath(0) + "\" /U");
    HWND box = WaitForDialog("Uninstallation Program", IDNO);
    ASSERT_TRUE(box);
    EXPECT_EQ("Are you sure you want to remove the selected program from this computer?",
              ControlText(box, kMessageText));
    Press(box, IDNO);
    EXPECT_EQ(0u, uninstall.ExitCode());
    EXPECT_EQ(Sz(kProduct), ReadRaw(PRODUCT_KEY, "Name").bytes);
    EXPECT_TRUE(Exists(InstalledPath(1)));
    EXPECT_EQ("<none>", ResultValue());  // the install's is gone; the cancelled run wrote none
}

// A run killed in its dialog leaves no result and a lock that the next run
// takes at once.
TEST_F(Interactive, KilledRunLeavesNoResultAndAFreeLock)
{
    ASSERT_EQ(0u, RunSetup("/S"));
    Started install("\"" + MediumFile("setup.exe") + "\"");
    ASSERT_TRUE(WaitForDialog("Installation Program", 1000));
    HANDLE lock = OpenMutexA(SYNCHRONIZE, FALSE, GLOBAL_RUN_LOCK_NAME);  // outlives the run
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(lock, 0));
    TerminateProcess(install.process.hProcess, 1);
    EXPECT_EQ(1u, install.ExitCode());
    EXPECT_EQ("<none>", ResultValue());
    EXPECT_EQ(0u, RunSetup("/S"));  // well within the minute a held lock costs
    EXPECT_EQ("0000", ResultValue());
    CloseHandle(lock);
}

TEST_F(Interactive, UninstallConfirmedEndsWithCompleted)
{
    ASSERT_EQ(0u, RunSetup("/S"));
    Started uninstall("\"" + InstalledPath(0) + "\" /U");
    HWND box = WaitForDialog("Uninstallation Program", IDYES);
    ASSERT_TRUE(box);
    Press(box, IDYES);
    HWND done = WaitForDialog("Uninstallation Program", kMessageText, box);
    ASSERT_TRUE(done);
    EXPECT_EQ("Completed.", ControlText(done, kMessageText));
    Press(done, IDOK);
    EXPECT_EQ(0u, uninstall.ExitCode());
    EXPECT_FALSE(ReadRaw(PRODUCT_KEY, "Name").present);
    EXPECT_FALSE(Exists(InstalledPath(1)));
}

TEST_F(Interactive, FreshInstallThroughTheTargetFolderDialog)
{
    Started install("\"" + MediumFile("setup.exe") + "\"");
    HWND dialog = WaitForDialog("Installation Program", 1000);
    ASSERT_TRUE(dialog);
    EXPECT_EQ("This program will be installed in the following folder:", ControlText(dialog, 1004));
    EXPECT_EQ(Target(), ControlText(dialog, 1000));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1003)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, 1006)));  // radar choice 1
    EXPECT_EQ((LRESULT)BST_UNCHECKED, SendMessageA(GetDlgItem(dialog, 1006), BM_GETCHECK, 0, 0));
    // Checking the desktop box asks for a desktop shortcut.
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(1006, BN_CLICKED), (LPARAM)GetDlgItem(dialog, 1006));
    Sleep(300);
    EXPECT_EQ((LRESULT)BST_CHECKED, SendMessageA(GetDlgItem(dialog, 1006), BM_GETCHECK, 0, 0));
    Press(dialog, IDOK);
    HWND done = WaitForDialog("Installation Program", kMessageText, dialog);
    ASSERT_TRUE(done);
    EXPECT_EQ("Completed.", ControlText(done, kMessageText));
    Press(done, IDOK);
    EXPECT_EQ(0u, install.ExitCode());
    EXPECT_TRUE(Exists(DesktopShortcut(kProduct)));
    EXPECT_FALSE(Exists(StartMenuShortcut(kProduct)));
}

TEST_F(Interactive, UpgradeDialogKeepsTheInstalledFolder)
{
    ASSERT_EQ(0u, RunSetup("/S"));
    Started install("\"" + MediumFile("setup.exe") + "\" /O");
    HWND dialog = WaitForDialog("Installation Program", 1000);
    ASSERT_TRUE(dialog);
    EXPECT_EQ("This program will be installed in the following folder:", ControlText(dialog, 1004));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1003)));
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(dialog, 1000), GWL_STYLE) & ES_READONLY);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));  // /O: no way back
    Press(dialog, IDCANCEL);  // closing still cancels
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0u, install.ExitCode());
}

TEST_F(Interactive, FailureMessageNamesThePhase)
{
    DeleteFileA(MediumFile("ZynSetup.dat").c_str());
    Started install("\"" + MediumFile("setup.exe") + "\"");
    HWND box = WaitForDialog("Installation Program", kMessageText);
    ASSERT_TRUE(box);
    EXPECT_EQ("Failed in operation for initialization.", ControlText(box, kMessageText));
    Press(box, IDOK);
    EXPECT_EQ(8u, install.ExitCode());
}

TEST_F(Interactive, UnsupportedSystemMessage)
{
    SetWineVersion("win95");
    Started install("\"" + MediumFile("setup.exe") + "\"");
    HWND box = WaitForDialog("Can not start the installation.", kMessageText);
    ASSERT_TRUE(box);
    EXPECT_EQ("This operating system is not supported.", ControlText(box, kMessageText));
    Press(box, IDOK);
    EXPECT_EQ(15u, install.ExitCode());
}

// Wine's screen resolution for the programs started from now on; 0: the prefix's.
void SetScreenDpi(DWORD dpi)
{
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0);
    if (dpi)
        RegSetValueExA(key, "LogPixels", 0, REG_DWORD, (const BYTE *)&dpi, sizeof(dpi));
    else
        RegDeleteValueA(key, "LogPixels");
    RegCloseKey(key);
}

// Dialogs 101 and 102 as setup.exe shows them, at 96 and 192 DPI: each
// control's text fits, and the screenshots stay in the tests' "screenshots".
TEST_F(Interactive, DialogsFitTheirTextsAt96And192Dpi)
{
    struct RestoreDpi {
        ~RestoreDpi() { SetScreenDpi(0); }
    } restore;
    std::string folder = ThisFolder() + "\\screenshots\\";
    CreateDirectoryA(folder.c_str(), 0);
    LONG widths[2][2];
    for (int d = 0; d < 2; ++d) {
        SetScreenDpi(d ? 192 : 96);
        for (int t = 0; t < 2; ++t) {
            std::string name = folder + (t ? "dialog102-" : "dialog101-") + (d ? "192dpi" : "96dpi");
            DeleteFileA((name + ".bmp").c_str());
            EXPECT_EQ(0u, RunProgram(TestFile("dialog_probe.exe"), (t ? "102 \"" : "101 \"") +
                                                                   name + ".bmp\" \"" + name + ".txt\""))
                << ReadText(name + ".txt");
            std::string bitmap = ReadText(name + ".bmp");
            widths[d][t] = bitmap.size() > 22 ? *(const LONG *)&bitmap[18] : 0;
        }
    }
    // DPI-aware: the system lays the dialogs out anew at twice the size (less
    // a little, as fonts round), never stretched as a bitmap.
    for (int t = 0; t < 2; ++t)
        EXPECT_GE(widths[1][t] * 10, widths[0][t] * 17) << t;
}

} // namespace
