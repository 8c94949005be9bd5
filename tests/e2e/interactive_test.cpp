// Interactive runs of setup.exe, answered the way a user would: the dialogs
// and message boxes are found by their titles, read, and their buttons pressed.
#include "tests/e2e/setup_exe.h"

#include "driver/startup_state.h"
#include "driver/ui/user_interface.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <stdio.h>
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


// A visible dialog of process `process` that has `control`; with `owner`,
// only one owned by that window.
struct ProcessDialogSearch {
    DWORD process;
    int control;
    HWND owner;
    HWND except;
    HWND found;
};

BOOL CALLBACK MatchProcessDialog(HWND window, LPARAM data)
{
    ProcessDialogSearch *search = (ProcessDialogSearch *)data;
    DWORD process = 0;
    char className[16] = {0};
    GetWindowThreadProcessId(window, &process);
    GetClassNameA(window, className, sizeof(className));
    if (process == search->process && lstrcmpA(className, "#32770") == 0 &&
        IsWindowVisible(window) && window != search->except &&
        GetDlgItem(window, search->control) &&
        (!search->owner || GetWindow(window, GW_OWNER) == search->owner)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForProcessDialog(DWORD process, int control, HWND owner = 0, HWND except = 0,
                          int tries = 300)
{
    for (; tries > 0; --tries) {
        ProcessDialogSearch search = {process, control, owner, except, 0};
        EnumWindows(MatchProcessDialog, (LPARAM)&search);
        if (search.found)
            return search.found;
        Sleep(20);
    }
    return 0;
}

// The window as it is on the screen, as a 24-bit BMP file.
bool SaveScreenshot(HWND window, const std::string &path)
{
    RECT frame;
    if (!GetWindowRect(window, &frame))
        return false;
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    HDC screen = GetDC(0);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {sizeof(info), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    DWORD rowSize = ((DWORD)width * 3 + 3) & ~3u;
    std::string pixels(rowSize * height, '\0');
    GetDIBits(memory, bitmap, 0, height, &pixels[0], (BITMAPINFO *)&info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(0, screen);
    BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(info)};
    file.bfSize = file.bfOffBits + (DWORD)pixels.size();
    std::string bytes((const char *)&file, sizeof(file));
    bytes.append((const char *)&info, sizeof(info));
    bytes += pixels;
    CreateDirectoryA((ThisFolder() + "\\..\\screenshots").c_str(), 0);
    WriteText(ThisFolder() + "\\..\\screenshots\\" + path, bytes);
    return true;
}

// The languages of dialog 101 and the string table, with the locale that
// selects each and the charset of its dialog font.
struct Language {
    const char *name;
    LANGID resource;
    BYTE charset;
    bool fullWidthPunctuation;
};

const Language kLanguages[] = {
    {"English", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), ANSI_CHARSET, false},
    {"Danish", MAKELANGID(LANG_DANISH, SUBLANG_NEUTRAL), ANSI_CHARSET, false},
    {"German", MAKELANGID(LANG_GERMAN, SUBLANG_NEUTRAL), ANSI_CHARSET, false},
    {"Finnish", MAKELANGID(LANG_FINNISH, SUBLANG_NEUTRAL), ANSI_CHARSET, false},
    {"French", MAKELANGID(LANG_FRENCH, SUBLANG_NEUTRAL), ANSI_CHARSET, false},
    {"Italian", MAKELANGID(LANG_ITALIAN, SUBLANG_NEUTRAL), ANSI_CHARSET, false},
    {"Japanese", MAKELANGID(LANG_JAPANESE, SUBLANG_NEUTRAL), SHIFTJIS_CHARSET, true},
    {"Dutch", MAKELANGID(LANG_DUTCH, SUBLANG_NEUTRAL), ANSI_CHARSET, false},
    {"Norwegian", MAKELANGID(LANG_NORWEGIAN, SUBLANG_NEUTRAL), ANSI_CHARSET, false},
    {"Swedish", MAKELANGID(LANG_SWEDISH, SUBLANG_NEUTRAL), ANSI_CHARSET, false},
    {"ChineseTaiwan", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), CHINESEBIG5_CHARSET,
     true},
    {"Korean", MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN), HANGUL_CHARSET, false},
    {"ChinesePrc", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), GB2312_CHARSET, true},
    {"Spanish", MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), ANSI_CHARSET, false},
};

// The row whose resources this process's language selects.
const Language *CurrentLanguage()
{
    LANGID language = GetUserDefaultUILanguage();
    for (const Language &row : kLanguages)
        if (row.resource == language)
            return &row;
    for (const Language &row : kLanguages)
        if (PRIMARYLANGID(row.resource) == PRIMARYLANGID(language) &&
            PRIMARYLANGID(language) != LANG_CHINESE)
            return &row;
    return 0;
}

HMODULE SetupResources()
{
    static HMODULE module = LoadLibraryExA((ThisFolder() + "\\..\\setup.exe").c_str(), 0,
                                           LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

// String `id` of one language's string table, read from its block.
std::wstring ResourceString(LANGID language, UINT id)
{
    HMODULE module = SetupResources();
    HRSRC found = FindResourceExW(module, (LPCWSTR)RT_STRING, MAKEINTRESOURCEW(id / 16 + 1),
                                  language);
    if (!found)
        return L"";
    const WCHAR *entry = (const WCHAR *)LockResource(LoadResource(module, found));
    for (UINT skip = id % 16; skip > 0; --skip)
        entry += 1 + *entry;
    return std::wstring(entry + 1, *entry);
}

// What the process's code page makes of a string of the resources.
std::string InCodePage(const std::wstring &text)
{
    char bytes[1024] = {0};
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, bytes, sizeof(bytes), 0, 0);
    return bytes;
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


// Past a menu or class field of a dialog template: none, an ordinal, or a name.
const WORD *SkipNameOrOrdinal(const WORD *field)
{
    if (*field == 0xFFFF)
        return field + 2;
    while (*field)
        ++field;
    return field + 1;
}

// The charset of the font an extended dialog template asks for.
BYTE TemplateCharset(const void *layout)
{
    const WORD *field = (const WORD *)((const BYTE *)layout + 26);  // past the fixed header
    field = SkipNameOrOrdinal(SkipNameOrOrdinal(field));  // menu, class
    while (*field++)  // title
        ;
    return ((const BYTE *)field)[5];  // after point size, weight and italic
}

INT_PTR CALLBACK PassiveDialog(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}

// A control's text as drawn: "&&" shows one "&", a single "&" marks the
// access key and takes no room.
std::wstring DrawnText(const std::wstring &text, WCHAR *accessKey)
{
    std::wstring drawn;
    *accessKey = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != L'&')
                *accessKey = (WCHAR)(UINT_PTR)CharUpperW((LPWSTR)(UINT_PTR)text[i]);
        }
        drawn += text[i];
    }
    return drawn;
}

// Room a control keeps beside its text: a push button's edges and focus
// frame, a check box's box and gap; at 96 DPI, scaled with the DPI.
int ControlMargin(HWND control, int dpi)
{
    char className[16] = {0};
    GetClassNameA(control, className, sizeof(className));
    LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
    if (lstrcmpiA(className, "Button") != 0)
        return 0;
    if (type == BS_3STATE || type == BS_AUTO3STATE || type == BS_CHECKBOX)
        return GetSystemMetrics(SM_CXMENUCHECK) + MulDiv(4, dpi, 96);
    return MulDiv(8, dpi, 96);
}

// Every control text of dialog 101 in every language, measured with the
// dialog's font against the control's client area; the access keys, the
// reading order and the font's charset with it. Run at 96 and at 144 DPI.
TEST(DialogTexts, FitTheirControlsInEveryLanguage)
{
    ASSERT_TRUE(SetupResources());
    HDC screen = GetDC(0);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(0, screen);
    char expected[16] = {0};
    if (GetEnvironmentVariableA("SETUP_TEST_DPI", expected, sizeof(expected))) {
        ASSERT_EQ(atoi(expected), dpi);
    }
    for (const Language &row : kLanguages) {
        SCOPED_TRACE(row.name);
        HRSRC found = FindResourceExA(SetupResources(), RT_DIALOG, MAKEINTRESOURCEA(101),
                                      row.resource);
        ASSERT_TRUE(found);
        const void *layout = LockResource(LoadResource(SetupResources(), found));
        HWND dialog = CreateDialogIndirectParamW(GetModuleHandleA(0), (LPCDLGTEMPLATEW)layout, 0,
                                                 PassiveDialog, 0);
        ASSERT_TRUE(dialog);
        HWND edit = GetDlgItem(dialog, 1000);
        EXPECT_TRUE(GetWindowLongA(edit, GWL_STYLE) & ES_AUTOHSCROLL);
        // The prompt names the folder box; Tab goes on in reading order.
        EXPECT_EQ(GetDlgItem(dialog, 1004), GetWindow(edit, GW_HWNDPREV));
        HWND tab = edit;
        for (int id : {1003, 1006, 1021, IDOK, IDCANCEL, 1000}) {
            tab = GetNextDlgTabItem(dialog, tab, FALSE);
            EXPECT_EQ(GetDlgItem(dialog, id), tab) << id;
        }
        EXPECT_EQ(row.charset, TemplateCharset(layout));

        std::wstring keys;
        for (int id : {1004, 1003, 1006, 1021, IDOK, IDCANCEL}) {
            HWND control = GetDlgItem(dialog, id);
            WCHAR text[512] = {0};
            GetWindowTextW(control, text, 512);
            std::wstring shown = text;
            if (id == 1004)  // the prompt comes from the string table
                shown = ResourceString(row.resource, 19);
            WCHAR key = 0;
            std::wstring drawn = DrawnText(shown, &key);
            if (id == 1003 || id == 1006 || id == 1021) {
                EXPECT_NE(0, key) << id;
                EXPECT_EQ(std::wstring::npos, keys.find(key)) << id << " repeats an access key";
                keys += key;
            }
            HDC context = GetDC(control);
            HGDIOBJ old = SelectObject(context, (HFONT)SendMessageW(control, WM_GETFONT, 0, 0));
            SIZE extent = {0, 0};
            GetTextExtentPoint32W(context, drawn.c_str(), (int)drawn.size(), &extent);
            SelectObject(context, old);
            ReleaseDC(control, context);
            RECT client;
            GetClientRect(control, &client);
            EXPECT_LE(extent.cx + ControlMargin(control, dpi), client.right) << id;
            EXPECT_LE(extent.cy, client.bottom) << id;
        }
        EXPECT_FALSE(ResourceString(row.resource, 20).empty());
        if (row.fullWidthPunctuation) {
            for (UINT id : {2u, 5u, 7u, 19u}) {
                std::wstring text = ResourceString(row.resource, id);
                EXPECT_EQ(std::wstring::npos, text.find_first_of(L":?")) << id;
                EXPECT_EQ(std::wstring::npos, text.find(L"%s ")) << id;
            }
        }
        SetDlgItemTextW(dialog, 1004, ResourceString(row.resource, 19).c_str());
        SetDlgItemTextW(dialog, 1000, L"C:\\Program Files\\Dorsel");
        SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        UpdateWindow(dialog);
        EXPECT_TRUE(SaveScreenshot(dialog, std::string("dialog101-") + row.name + "-" +
                                               std::to_string(dpi) + "dpi.bmp"));
        DestroyWindow(dialog);
    }
}

// A payload file large enough that copying it takes a while.
void WriteLargeFile(const std::string &path, LONG megabytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SetFilePointer(file, megabytes << 20, 0, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
}

// Types into another process's edit control, one character at a time.
void Type(HWND edit, const std::string &text)
{
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)"");
    for (char character : text)
        SendMessageA(edit, WM_CHAR, (WPARAM)(unsigned char)character, 0);
}

void Click(HWND dialog, int id)
{
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

class EveryLanguage : public SetupExeTest {};

// An interactive fresh install as a user of the process's language meets it:
// a relative folder is refused with a message, the browser starts at the
// nearest existing parent of the typed folder and confirms it, a long typed
// folder is taken exactly, and the progress window answers while a large
// payload copies and ignores attempts to close it. The test command runs
// this under each language's locale.
TEST_F(EveryLanguage, TypedFolderBrowserAndProgress)
{
    const Language *language = CurrentLanguage();
    ASSERT_TRUE(language) << GetUserDefaultUILanguage();
    const LANGID resources = language->resource;
    WriteLargeFile(MediumFile("ZynFlash.dll"), 256);
    CreateFolders("C:\\ze2e\\browse");
    const std::string typed =
        "C:\\ze2e\\Very Long Subfolder Name That Goes On And On\\Another Long Subfolder\\Version 3";
    Started install("\"" + MediumFile("setup.exe") + "\"");
    DWORD process = install.process.dwProcessId;
    HWND dialog = WaitForProcessDialog(process, 1000);
    ASSERT_TRUE(dialog);
    HWND edit = GetDlgItem(dialog, 1000);
    DWORD_PTR ignored;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    Sleep(300);  // painted
    EXPECT_TRUE(SaveScreenshot(dialog, std::string("dialog101-") + language->name + ".bmp"));

    Type(edit, "MyApp");
    Click(dialog, IDOK);
    HWND refusal = WaitForProcessDialog(process, kMessageText, dialog);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(InCodePage(ResourceString(resources, 20)), ControlText(refusal, kMessageText));
    Click(refusal, IDOK);
    Sleep(300);
    EXPECT_TRUE(IsWindowVisible(dialog));

    Type(edit, "C:\\ze2e\\browse\\gone\\deeper");
    Click(dialog, 1003);
    HWND browser = WaitForProcessDialog(process, IDOK, dialog);
    ASSERT_TRUE(browser);
    for (int tries = 0; tries < 100 && !IsWindowEnabled(GetDlgItem(browser, IDOK)); ++tries)
        Sleep(50);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(browser, IDOK)));
    Click(browser, IDOK);
    for (int tries = 0; tries < 100 && ControlText(dialog, 1000) != "C:\\ze2e\\browse"; ++tries)
        Sleep(50);
    EXPECT_EQ("C:\\ze2e\\browse", ControlText(dialog, 1000));

    Type(edit, "  " + typed + "\\ ");
    EXPECT_EQ("  " + typed + "\\ ", ControlText(dialog, 1000));  // nothing cut while typing
    Click(dialog, IDOK);

    HWND progress = WaitForProcessDialog(process, 1005);
    ASSERT_TRUE(progress);
    RECT frame;
    RECT area;
    GetWindowRect(progress, &frame);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_NEAR((area.left + area.right) / 2, (frame.left + frame.right) / 2, 1);
    EXPECT_NEAR((area.top + area.bottom) / 2, (frame.top + frame.bottom) / 2, 1);
    // While the bar stands at 0 the payload is being copied.
    int answered = 0;
    int unanswered = 0;
    HWND bar = GetDlgItem(progress, 1005);
    while (IsWindow(progress) && SendMessageA(bar, PBM_GETPOS, 0, 0) == 0) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(progress, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result)) {
            ++unanswered;
        } else if (IsWindow(progress) && SendMessageA(bar, PBM_GETPOS, 0, 0) == 0) {
            if (answered++ == 0) {
                EXPECT_TRUE(SaveScreenshot(progress, std::string("progress-") + language->name +
                                                         ".bmp"));
                // Closing or Esc does not stop the run in the middle of a phase.
                PostMessageA(progress, WM_KEYDOWN, VK_ESCAPE, 0);
                PostMessageA(progress, WM_COMMAND, IDCANCEL, 0);
                PostMessageA(progress, WM_CLOSE, 0, 0);
            }
        }
        Sleep(20);
    }
    EXPECT_GT(answered, 0);
    printf("The progress window answered %d times during the copy.\n", answered);
    EXPECT_EQ(0, unanswered);

    HWND done = WaitForProcessDialog(process, kMessageText);
    ASSERT_TRUE(done);
    EXPECT_EQ(InCodePage(ResourceString(resources, 6)), ControlText(done, kMessageText));
    Click(done, IDOK);
    EXPECT_EQ(0u, install.ExitCode());
    EXPECT_EQ(Sz(typed), ReadRaw(PRODUCT_KEY, "ProgDir").bytes);
    EXPECT_TRUE(Exists(typed + "\\Dorsel.exe"));
    EXPECT_TRUE(Exists(typed + "\\ZynFlash.dll"));
    RemoveTree("C:\\ze2e");
}

struct IconProbe {
    const char *caption;
    HICON icon;
};

// Reads the title-bar icon of this process's message box and closes the box.
DWORD WINAPI ReadBoxIcon(LPVOID data)
{
    IconProbe *probe = (IconProbe *)data;
    HWND box = 0;
    for (int tries = 0; tries < 200 && !(box && IsWindowVisible(box)); ++tries) {
        Sleep(20);
        box = FindWindowA("#32770", probe->caption);
    }
    DWORD_PTR icon = 0;
    SendMessageTimeoutA(box, WM_GETICON, ICON_BIG, 0, SMTO_ABORTIFHUNG, 5000, &icon);
    probe->icon = (HICON)icon;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return 0;
}

HICON IconOfBox(const char *caption, bool ownBox)
{
    IconProbe probe = {caption, (HICON)1};
    HANDLE reader = CreateThread(0, 0, ReadBoxIcon, &probe, 0, 0);
    if (ownBox)
        EXPECT_EQ(IDOK, ShowMessage(0, "text", caption, MB_ICONWARNING));
    else
        MessageBoxA(0, "text", caption, MB_ICONWARNING);
    WaitForSingleObject(reader, 30000);
    CloseHandle(reader);
    return probe.icon;
}

// The run's message boxes carry the program's icon in their title bar, and
// nothing of that stays behind for other windows. (This test program holds
// the same resources as setup.exe.)
TEST(MessageBoxes, CarryTheProgramIcon)
{
    g_startup.instance = GetModuleHandleA(0);
    HICON icon = LoadIconA(g_startup.instance, MAKEINTRESOURCEA(100));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon, IconOfBox("Installation Program", true));
    EXPECT_EQ((HICON)0, IconOfBox("Other Program", false));
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
