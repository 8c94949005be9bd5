// Interactive runs of setup.exe, answered the way a user would: the dialogs
// and message boxes are found by their titles, read, and their buttons pressed.
#include "tests/e2e/setup_exe.h"

#include <gtest/gtest.h>

#include <string.h>
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
    EXPECT_EQ("0000", ResultValue());  // the install's; the cancelled run wrote none
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

// Wine's screen resolution for the programs started from now on; 0 restores
// the prefix's own.
void SetScreenDpi(DWORD dpi)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, 0, 0, KEY_ALL_ACCESS, 0,
                        &key, 0) != ERROR_SUCCESS)
        return;
    if (dpi)
        RegSetValueExA(key, "LogPixels", 0, REG_DWORD, (const BYTE *)&dpi, sizeof(dpi));
    else
        RegDeleteValueA(key, "LogPixels");
    RegCloseKey(key);
}

// Width and height of a saved BMP file, 0 x 0 when there is none.
SIZE BitmapSize(const std::string &path)
{
    std::string data = ReadText(path);
    SIZE size = {0, 0};
    if (data.size() > 26 && data.compare(0, 2, "BM") == 0) {
        memcpy(&size.cx, &data[18], 4);
        memcpy(&size.cy, &data[22], 4);
    }
    return size;
}

// Dialogs 101 and 102 as setup.exe shows them (its resources, manifest and
// dialog procedures), at 96 and 192 DPI. The screenshots stay in the test
// folder's "screenshots"; each control's text must fit in the control.
TEST_F(Interactive, DialogsFitTheirTextsAt96And192Dpi)
{
    std::string folder = ThisFolder() + "\\screenshots";
    CreateDirectoryA(folder.c_str(), 0);
    struct RestoreDpi {
        ~RestoreDpi() { SetScreenDpi(0); }
    } restore;
    SIZE sizes[2][2];
    const DWORD dpis[] = {96, 192};
    const int dialogs[] = {101, 102};
    for (int d = 0; d < 2; ++d) {
        SetScreenDpi(dpis[d]);
        for (int t = 0; t < 2; ++t) {
            std::string name = folder + "\\dialog" + std::to_string(dialogs[t]) + "-" +
                               std::to_string(dpis[d]) + "dpi";
            DeleteFileA((name + ".bmp").c_str());
            DWORD clipped = RunProgram(TestFile("dialog_probe.exe"),
                                       std::to_string(dialogs[t]) + " \"" + name + ".bmp\" \"" +
                                           name + ".txt\"");
            std::string report = ReadText(name + ".txt");
            EXPECT_EQ(0u, clipped) << name << "\n" << report;
            EXPECT_NE(std::string::npos, report.find(dialogs[t] == 101 ? "1021 Button" : "1005 "))
                << report;
            sizes[d][t] = BitmapSize(name + ".bmp");
            EXPECT_GT(sizes[d][t].cx, 0) << name;
        }
    }
    // DPI-aware: at 192 DPI the system draws the dialogs at twice the size
    // (fonts round, so a little less), never stretched as a bitmap.
    for (int t = 0; t < 2; ++t) {
        EXPECT_GE(sizes[1][t].cx * 10, sizes[0][t].cx * 17) << dialogs[t];
        EXPECT_GE(sizes[1][t].cy * 10, sizes[0][t].cy * 16) << dialogs[t];
    }
}

} // namespace
