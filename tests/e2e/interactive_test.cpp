// Interactive runs of setup.exe, answered the way a user would: the dialogs
// and message boxes are found by their titles, read, and their buttons pressed.
#include "tests/e2e/bundles.h"
#include "tests/e2e/setup_exe.h"

#include "base/startup_state.h"
#include "driver/run_lock.h"
#include "driver/ui/user_interface.h"
#include "files/files.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <stdio.h>
#include <string.h>
#include <set>
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
    for (int tries = 0; tries < 1500; ++tries) {
        HWND window = FindWindowA("#32770", title);
        if (window && window != earlier && IsWindowVisible(window) && GetDlgItem(window, control))
            return window;
        Sleep(20);
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

// Types into another process's edit control, one character at a time.
void Type(HWND edit, const std::string &text)
{
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)"");
    for (char character : text)
        SendMessageA(edit, WM_CHAR, (WPARAM)(unsigned char)character, 0);
}

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

// What runs killed midway left in the temporary folder goes at the next run,
// under each version: a bundle's private setup folder, killed in its dialog,
// and a staging folder with what its install had staged, made as the install
// makes it. On NT one named alike that others may write to stays.
TEST_F(Interactive, KilledRunsLeaveNoFolderBehind)
{
    WriteText("C:\\ze2e\\DorselSetup.exe", BundleOfFolder(kMedium));
    std::string open = TempFolderPath() + "zyn00000000000000AA";
    CreateDirectoryA(open.c_str(), 0);
    WriteText(open + "\\Dorsel.exe", "another user's");
    PSECURITY_DESCRIPTOR everyone = 0;  // Wine lets others write: mode 777
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:P(A;OICI;GA;;;WD)", SDDL_REVISION_1, &everyone, 0));
    ASSERT_TRUE(SetFileSecurityA(open.c_str(), DACL_SECURITY_INFORMATION, everyone));
    LocalFree(everyone);
    std::set<std::string> before = StagingFolders();
    for (const char *version : {"nt40", "winxp", "win7", "win98"}) {
        SetWineVersion(version);
        Started bundle("\"C:\\ze2e\\DorselSetup.exe\"");
        ASSERT_TRUE(WaitForDialog("Installation Program", 1000)) << version;
        TerminateProcess(bundle.process.hProcess, 1);
        EXPECT_EQ(1u, bundle.ExitCode());
        char staged[MAX_PATH];
        ASSERT_TRUE(CreateStagingFolder(staged));
        WriteText(std::string(staged) + "\\Dorsel.exe", "staged");
        EXPECT_EQ(2u, AddedStagingFolders(before).size()) << version;
        EXPECT_EQ(0u, RunSetup("/S")) << version;
        EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(before)) << version;
        bool nt = strcmp(version, "win98") != 0;  // 9x knows no owners
        EXPECT_EQ(nt ? "another user's" : "<missing>", ReadText(open + "\\Dorsel.exe")) << version;
        ASSERT_EQ(0u, RunUninstaller("/S /U")) << version;
    }
    RemoveTree(open);
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

// The dialog's controls by their ids: each check box on and off (a click
// turns an empty box on and a checked one off; the greyed preset of a
// shortcut that exists is on until a click turns it off), and the folder box.
// While the run shows its last message its lock is free: another run does
// not wait for it.
TEST_F(Interactive, FreshInstallThroughTheTargetFolderDialog)
{
    const struct {
        bool existing;  // both shortcuts exist, as another package left them
        int desktopClicks, startMenuClicks;
        const char *folder;  // typed; 0: the proposal
        bool desktop, startMenu;
    } rows[] = {{false, 1, 0, 0, true, false},
                {false, 0, 1, "C:\\ze2e\\Typed", false, true},
                {false, 2, 2, 0, false, false},
                {true, 0, 1, 0, true, false}};
    for (const auto &row : rows) {
        SetUp();
        if (row.existing) {
            WriteForeignLink(DesktopShortcut(kProduct), "C:\\elsewhere.exe");
            WriteForeignLink(StartMenuShortcut(kProduct), "C:\\elsewhere.exe");
        }
        Started install("\"" + MediumFile("setup.exe") + "\"");
        HWND dialog = WaitForDialog("Installation Program", 1000);
        ASSERT_TRUE(dialog);
        EXPECT_EQ("This program will be installed in the following folder:",
                  ControlText(dialog, 1004));
        EXPECT_EQ(Target(), ControlText(dialog, 1000));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1003)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));
        for (int id : {1006, 1021}) {
            HWND box = GetDlgItem(dialog, id);
            EXPECT_TRUE(IsWindowVisible(box));  // radar choice 1
            EXPECT_EQ(row.existing ? BST_INDETERMINATE : BST_UNCHECKED,
                      SendMessageA(box, BM_GETCHECK, 0, 0)) << id;
            for (int click = 0; click < (id == 1006 ? row.desktopClicks : row.startMenuClicks);
                 ++click) {
                LRESULT next = SendMessageA(box, BM_GETCHECK, 0, 0) == BST_UNCHECKED ? BST_CHECKED
                                                                                    : BST_UNCHECKED;
                Press(dialog, id);
                for (int tries = 0; tries < 250 && SendMessageA(box, BM_GETCHECK, 0, 0) != next;
                     ++tries)
                    Sleep(20);
                EXPECT_EQ(next, SendMessageA(box, BM_GETCHECK, 0, 0)) << id;
            }
        }
        if (row.folder)
            Type(GetDlgItem(dialog, 1000), row.folder);
        Press(dialog, IDOK);
        HWND done = WaitForDialog("Installation Program", kMessageText, dialog);
        ASSERT_TRUE(done);
        EXPECT_EQ("Completed.", ControlText(done, kMessageText));
        std::string folder = row.folder ? row.folder : Target();
        EXPECT_EQ(Sz(folder), ReadRaw(PRODUCT_KEY, "ProgDir").bytes);
        EXPECT_EQ(row.desktop, Exists(DesktopShortcut(kProduct)));
        EXPECT_EQ(row.startMenu, Exists(StartMenuShortcut(kProduct)));
        if (row.desktop) {
            EXPECT_EQ(folder + "\\Dorsel.exe", ReadLink(DesktopShortcut(kProduct)).path);
        }
        EXPECT_EQ(0u, RunSetup("/S"));  // at once, not after the minute a held lock costs
        Press(done, IDOK);
        EXPECT_EQ(0u, install.ExitCode());
    }
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

// Shows `dialog` through dialog_probe at the DPI now set, with its screenshot
// in `name`.bmp; the screenshot's width (0 without one).
LONG ProbeDialog(const std::string &dialog, const std::string &name)
{
    DeleteFileA((name + ".bmp").c_str());
    EXPECT_EQ(0u, RunProgram(TestFile("dialog_probe.exe"),
                             dialog + " \"" + name + ".bmp\" \"" + name + ".txt\""))
        << ReadText(name + ".txt");
    std::string bitmap = ReadText(name + ".bmp");
    return bitmap.size() > 22 ? *(const LONG *)&bitmap[18] : 0;
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
        for (int t = 0; t < 2; ++t)
            widths[d][t] = ProbeDialog(t ? "102" : "101", folder + (t ? "dialog102-" : "dialog101-") +
                                                              (d ? "192dpi" : "96dpi"));
    }
    // DPI-aware: the system lays the dialogs out anew at twice the size (less
    // a little, as fonts round), never stretched as a bitmap.
    for (int t = 0; t < 2; ++t)
        EXPECT_GE(widths[1][t] * 10, widths[0][t] * 17) << t;
}

// A visible dialog of `process` that has `control`, owned by `owner` when one
// is given.
HWND WaitForOwnedDialog(DWORD process, int control, HWND owner = 0)
{
    for (int tries = 0; tries < 600; ++tries) {
        for (HWND window = FindWindowExA(0, 0, "#32770", 0); window;
             window = FindWindowExA(0, window, "#32770", 0)) {
            DWORD owningProcess = 0;
            GetWindowThreadProcessId(window, &owningProcess);
            if (owningProcess == process && IsWindowVisible(window) &&
                GetDlgItem(window, control) && (!owner || GetWindow(window, GW_OWNER) == owner))
                return window;
        }
        Sleep(20);
    }
    return 0;
}

// Waits until a window that was told to close has gone.
void AwaitClosed(HWND window)
{
    for (int tries = 0; tries < 500 && IsWindow(window); ++tries)
        Sleep(20);
}

// The access key of a control text ("&Browse..." gives 'B'), 0 for none.
char AccessKey(const std::string &text)
{
    size_t mark = text.find('&');
    return mark + 1 < text.size() ? (char)(UINT_PTR)CharUpperA((LPSTR)(UINT_PTR)(BYTE)text[mark + 1]) : 0;
}

// This test program holds setup.exe's resources, so the locale picks the
// same texts for both.
std::string Text(UINT id)
{
    char text[MAX_PATH];
    return LoadText(id, text, MAX_PATH);
}

// The folder a caller chose with "/D=" is the dialog's proposal; one that is
// refused (a drive root; one reached through a link, made by the test
// command; one that Windows would make without its dot) says so as soon as
// the dialog shows, and the dialog waits.
TEST_F(Interactive, CallersFolderIsTheProposal)
{
    g_startup.instance = GetModuleHandleA(0);
    const std::pair<const char *, UINT> folders[] = {{"C:\\ze2e\\Chosen Folder", 0},
                                                     {"C:\\", IDS_FOLDER_REFUSED},
                                                     {"C:\\zforeign\\Dorsel", IDS_FOLDER_REFUSED},
                                                     {"C:\\ze2e\\Dorsel5.", IDS_FOLDER_REFUSED}};
    for (const auto &folder : folders) {
        Started install("\"" + MediumFile("setup.exe") + "\" /D=" + folder.first);
        HWND dialog = WaitForOwnedDialog(install.process.dwProcessId, 1000);
        ASSERT_TRUE(dialog) << folder.first;
        EXPECT_EQ(folder.first, ControlText(dialog, 1000));
        if (folder.second) {
            HWND refusal = WaitForOwnedDialog(install.process.dwProcessId, kMessageText, dialog);
            ASSERT_TRUE(refusal);
            EXPECT_EQ(Text(folder.second), ControlText(refusal, kMessageText));
            Press(refusal, IDOK);
        }
        Press(dialog, IDCANCEL);
        EXPECT_EQ(0u, install.ExitCode()) << folder.first;
    }
    EXPECT_FALSE(ReadRaw(PRODUCT_KEY, "ProgDir").present);
}

class EveryLanguage : public SetupExeTest {};

// A fresh interactive install in the locale of the test command: dialogs 101
// and 102 fit their texts at 96 and 144 DPI (screenshots per language), the
// dialog reads and tabs in order with distinct access keys, a relative folder
// is refused in the user's language, the browser starts at the nearest
// existing parent of the typed folder and confirms it, a long typed folder
// is installed to exactly, and the progress window answers while a large
// payload copies, without being closed by Esc or a close request.
TEST_F(EveryLanguage, TypedFolderBrowserAndProgress)
{
    g_startup.instance = GetModuleHandleA(0);
    char locale[32] = "C";
    GetEnvironmentVariableA("LC_ALL", locale, sizeof(locale));
    std::string shots = ThisFolder() + "\\screenshots\\";
    CreateDirectoryA(shots.c_str(), 0);
    for (DWORD dpi : {96u, 144u}) {
        SetScreenDpi(dpi);
        for (const char *dialog : {"101", "102"})
            ProbeDialog(dialog, shots + "dialog" + dialog + "-" + locale + "-" + std::to_string(dpi));
    }
    SetScreenDpi(0);
    WORD language = PRIMARYLANGID(GetUserDefaultUILanguage());
    // The messages for a damaged bundle and for a folder name that no ANSI
    // path holds, translated; the latter with one place for the folder to
    // move to, which the program fills in.
    EXPECT_NE(language == LANG_ENGLISH,
              Text(IDS_SETUP_DAMAGED) != "This setup file is damaged. Please download it again.");
    const std::string moveTo = Text(IDS_PROGRAM_FOLDER_NAME);
    EXPECT_NE(language == LANG_ENGLISH, moveTo != "Setup cannot run from a folder with this "
                                                  "name. Move the file to a folder such as %s.");
    EXPECT_EQ(moveTo.find("%s"), moveTo.rfind('%')) << moveTo;
    EXPECT_NE(std::string::npos, moveTo.find("%s")) << moveTo;
    if (language == LANG_JAPANESE || language == LANG_CHINESE)  // full-width punctuation
        for (UINT id : {IDS_PROMPT_UPGRADE, IDS_CONFIRM_UNINSTALL, IDS_FAILED_FORMAT, IDS_PROMPT_FRESH}) {
            EXPECT_EQ(std::string::npos, Text(id).find_first_of(":?")) << id;
            EXPECT_EQ(std::string::npos, Text(id).find("%s ")) << id;
        }

    HANDLE large = CreateFileA(MediumFile("ZynFlash.dll").c_str(), GENERIC_WRITE, 0, 0,
                               CREATE_ALWAYS, 0, 0);
    SetFilePointer(large, 256 << 20, 0, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(large));
    CloseHandle(large);
    CreateFolders("C:\\ze2e\\browse");
    const std::string typed =
        "C:\\ze2e\\Very Long Subfolder Name That Goes On And On\\Another Long Subfolder\\Version 3";
    Started install("\"" + MediumFile("setup.exe") + "\"");
    DWORD process = install.process.dwProcessId;
    HWND dialog = WaitForOwnedDialog(process, 1000);
    ASSERT_TRUE(dialog);
    HWND edit = GetDlgItem(dialog, 1000);
    EXPECT_TRUE(GetWindowLongA(edit, GWL_STYLE) & ES_AUTOHSCROLL);
    EXPECT_EQ(GetDlgItem(dialog, 1004), GetWindow(edit, GW_HWNDPREV));  // names the box
    std::string keys;
    HWND tab = edit;
    for (int id : {1003, 1006, 1021, IDOK, IDCANCEL}) {
        tab = GetNextDlgTabItem(dialog, tab, FALSE);
        EXPECT_EQ(GetDlgItem(dialog, id), tab) << id;
        if (id > IDCANCEL)
            keys += AccessKey(ControlText(dialog, id));
    }
    EXPECT_EQ(3u, strlen(keys.c_str()));
    for (char key : keys)
        EXPECT_EQ(keys.find(key), keys.rfind(key)) << keys;

    // A relative folder, a drive root that the uninstall would refuse, and a
    // stream.
    const std::pair<const char *, UINT> refused[] = {{"MyApp", IDS_FOLDER_NOT_FULL_PATH},
                                                     {"C:\\", IDS_FOLDER_REFUSED},
                                                     {"C:\\ze2e\\Dorsel:ads", IDS_FOLDER_REFUSED}};
    for (const auto &folder : refused) {
        Type(edit, folder.first);
        Press(dialog, IDOK);
        HWND refusal = WaitForOwnedDialog(process, kMessageText, dialog);
        ASSERT_TRUE(refusal) << folder.first;
        EXPECT_EQ(Text(folder.second), ControlText(refusal, kMessageText));
        Press(refusal, IDOK);
        AwaitClosed(refusal);
        // The dialog has handled what followed the box: had it ended, it would be hidden.
        DWORD_PTR handled;
        EXPECT_TRUE(SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &handled));
        EXPECT_TRUE(IsWindowVisible(dialog));
    }

    Type(edit, "C:\\ze2e\\browse\\gone\\deeper");
    Press(dialog, 1003);
    HWND browser = WaitForOwnedDialog(process, IDOK, dialog);
    ASSERT_TRUE(browser);
    for (int tries = 0; tries < 250 && !IsWindowEnabled(GetDlgItem(browser, IDOK)); ++tries)
        Sleep(20);
    PostMessageA(GetDlgItem(browser, IDOK), BM_CLICK, 0, 0);  // only an enabled button takes it
    for (int tries = 0; tries < 250 && ControlText(dialog, 1000) != "C:\\ze2e\\browse"; ++tries)
        Sleep(20);
    EXPECT_EQ("C:\\ze2e\\browse", ControlText(dialog, 1000));

    Type(edit, "  " + typed + "\\ ");
    EXPECT_EQ("  " + typed + "\\ ", ControlText(dialog, 1000));  // nothing cut while typing
    Press(dialog, IDOK);
    HWND progress = WaitForOwnedDialog(process, 1005);
    ASSERT_TRUE(progress);
    RECT frame, area;
    GetWindowRect(progress, &frame);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_NEAR(area.left + area.right, frame.left + frame.right, 2);  // centred
    EXPECT_NEAR(area.top + area.bottom, frame.top + frame.bottom, 2);
    // While the bar stands at 0 the payload is being copied.
    int answered = 0, unanswered = 0;
    HWND bar = GetDlgItem(progress, 1005);
    for (DWORD_PTR result; SendMessageA(bar, PBM_GETPOS, 0, 0) == 0 && IsWindow(bar); Sleep(20)) {
        if (!SendMessageTimeoutA(progress, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result))
            ++unanswered;
        else if (SendMessageA(bar, PBM_GETPOS, 0, 0) == 0 && IsWindow(bar) && !answered++)
            for (UINT request : {(UINT)WM_CLOSE, (UINT)WM_COMMAND, (UINT)WM_KEYDOWN})
                PostMessageA(progress, request, request == WM_KEYDOWN ? VK_ESCAPE : IDCANCEL, 0);
    }
    printf("The progress window answered %d times during the copy.\n", answered);
    EXPECT_GT(answered, 0);
    EXPECT_EQ(0, unanswered);
    HWND done = WaitForOwnedDialog(process, kMessageText);
    ASSERT_TRUE(done);
    EXPECT_EQ(Text(IDS_COMPLETED), ControlText(done, kMessageText));
    Press(done, IDOK);
    EXPECT_EQ(0u, install.ExitCode());
    EXPECT_EQ(Sz(typed), ReadRaw(PRODUCT_KEY, "ProgDir").bytes);
    EXPECT_TRUE(Exists(typed + "\\ZynFlash.dll"));
}

// A bundle holds its own file while it runs: nobody can rename, replace or
// write it meanwhile (a running program's file could be renamed otherwise,
// as it can once the run has ended).
TEST_F(Interactive, BundleIsHeldWhileItRuns)
{
    const std::string program = MediumFile("setup.exe");
    WriteText(program, BundleOfFolder(kMedium));
    Started install("\"" + program + "\"");
    HWND dialog = WaitForDialog("Installation Program", 1000);
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(MoveFileA(program.c_str(), MediumFile("moved.exe").c_str()));
    HANDLE writer = CreateFileA(program.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                                OPEN_EXISTING, 0, 0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
    Press(dialog, IDCANCEL);
    EXPECT_EQ(0u, install.ExitCode());
    EXPECT_TRUE(MoveFileA(program.c_str(), MediumFile("moved.exe").c_str()));
}

// The run's message boxes carry the program's icon in their title bar, and
// nothing of that stays behind for other boxes.
TEST(MessageBoxes, CarryTheProgramIcon)
{
    g_startup.instance = GetModuleHandleA(0);
    HICON icon = LoadIconA(g_startup.instance, MAKEINTRESOURCEA(100));
    ASSERT_TRUE(icon);
    for (bool ours : {true, false}) {
        struct Probe {
            HICON icon;
            static DWORD WINAPI Read(LPVOID data)  // then closes the box
            {
                HWND box = 0;
                for (int tries = 0; tries < 1500 && !box; ++tries, Sleep(20))
                    box = FindWindowA("#32770", "Icon probe");
                DWORD_PTR icon = 0;  // the box may show before it has set itself up
                for (int tries = 0; tries < 100 && !icon; ++tries, Sleep(20))
                    SendMessageTimeoutA(box, WM_GETICON, ICON_BIG, 0, SMTO_ABORTIFHUNG, 5000, &icon);
                ((Probe *)data)->icon = (HICON)icon;
                return PostMessageA(box, WM_COMMAND, IDOK, 0);
            }
        } probe = {(HICON)1};
        HANDLE reader = CreateThread(0, 0, Probe::Read, &probe, 0, 0);
        EXPECT_EQ(IDOK, ours ? ShowMessage(0, "text", "Icon probe", MB_ICONWARNING)
                             : MessageBoxA(0, "text", "Icon probe", MB_ICONWARNING));
        WaitForSingleObject(reader, 30000);
        CloseHandle(reader);
        EXPECT_EQ(ours, probe.icon == icon) << probe.icon << " " << icon;
    }
}

// Under /W the toolbar button stays as it is: a user who removed it keeps it
// removed through an interactive upgrade.
TEST_F(Interactive, HiddenUpgradeKeepsARemovedToolbarButton)
{
    ASSERT_EQ(0u, RunSetup("/S"));
    ASSERT_TRUE(KeyExists(TOOLBAR_KEY));
    RemoveKey(TOOLBAR_KEY);
    Started install("\"" + MediumFile("setup.exe") + "\" /W");
    HWND dialog = WaitForDialog("Installation Program", 1000);
    ASSERT_TRUE(dialog);
    Press(dialog, IDOK);
    HWND done = WaitForDialog("Installation Program", kMessageText, dialog);
    ASSERT_TRUE(done);
    Press(done, IDOK);
    EXPECT_EQ(0u, install.ExitCode());
    EXPECT_FALSE(KeyExists(TOOLBAR_KEY));
}

} // namespace
