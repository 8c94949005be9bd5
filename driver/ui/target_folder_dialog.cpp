// The target-folder dialog (101) and its folder browser. The dialog works on
// the Install plan directly: folder, shortcut choices and toolbar choice.
#include "driver/ui/user_interface.h"

#include "base/ansi_path.h"
#include "base/format.h"
#include "base/startup_state.h"
#include "base/system_version.h"
#include "driver/install_plan.h"
#include "registry/registry.h"
#include "resources/resource.h"

#include <objbase.h>
#include <shlobj.h>
#include <string.h>

namespace {

InstallPlan *PlanOf(HWND window)
{
    return (InstallPlan *)(LONG_PTR)GetWindowLongA(window, DWL_USER);
}

// The message that refuses a new folder, 0 when it is taken; an upgrade
// keeps its installed folder.
UINT FolderRefusal(const InstallPlan *plan, const char *folder)
{
    return plan->flags & RUNOPT_FRESH_INSTALL ? TargetFolderRefusal(folder) : 0;
}

void InitTargetFolderDialog(HWND window, InstallPlan *plan)
{
    char text[MAX_PATH];
    HICON icon = LoadIconA(g_startup.instance, MAKEINTRESOURCEA(IDI_SETUP));
    SetWindowTextA(window, LoadText(IDS_CAPTION_INSTALL, text, MAX_PATH));
    SetClassLongA(window, GCL_HICON, (LONG)(LONG_PTR)icon);
    SetWindowLongA(window, DWL_USER, (LONG)(LONG_PTR)plan);
    SetDlgItemTextA(window, IDC_TARGET_FOLDER, plan->targetFolder);
    int fresh = (plan->flags & RUNOPT_FRESH_INSTALL) != 0;
    SetDlgItemTextA(window, IDC_PROMPT,
                    LoadText(fresh ? IDS_PROMPT_FRESH : IDS_PROMPT_UPGRADE, text, MAX_PATH));
    if (!fresh) {
        // An upgrade always goes to the installed folder.
        EnableWindow(GetDlgItem(window, IDC_BROWSE), FALSE);
        SendDlgItemMessageA(window, IDC_TARGET_FOLDER, EM_SETREADONLY, TRUE, 0);
    }
    // The folder box takes no more than a plan's folder holds.
    SendDlgItemMessageA(window, IDC_TARGET_FOLDER, EM_LIMITTEXT, MAX_PATH - 1, 0);
    // A folder the caller chose ("/D=") that is refused says so once the
    // dialog shows, and waits for another.
    if (plan->folderRequested && FolderRefusal(plan, plan->targetFolder))
        PostMessageA(window, WM_APP, 0, 0);
    SetFocus(GetDlgItem(window, fresh ? IDC_TARGET_FOLDER : IDOK));
    EnableWindow(GetDlgItem(window, IDCANCEL), !(plan->flags & RUNOPT_RELAUNCH));
    CheckDlgButton(window, IDC_DESKTOP_ICON, plan->desktopIcon ? BST_INDETERMINATE : 0);
    CheckDlgButton(window, IDC_START_MENU_ICON, plan->startMenuIcon ? BST_INDETERMINATE : 0);
    if (plan->radarChoice == 0 || (plan->flags & RUNOPT_HIDDEN)) {
        ShowWindow(GetDlgItem(window, IDC_DESKTOP_ICON), SW_HIDE);
        ShowWindow(GetDlgItem(window, IDC_START_MENU_ICON), SW_HIDE);
    }
}

// On NT the box is read as wide text: a letter that the ANSI code page lacks
// becomes a '?', which the refusal then names, never a look-alike.
void ReadFolderBox(HWND window, char *folder)
{
    if (IsNtPlatform()) {
        wchar_t typed[MAX_PATH];
        typed[GetDlgItemTextW(window, IDC_TARGET_FOLDER, typed, MAX_PATH)] = 0;
        ToAnsiText(typed, folder, MAX_PATH);
    } else {
        folder[GetDlgItemTextA(window, IDC_TARGET_FOLDER, folder, MAX_PATH)] = 0;
    }
    TidyTargetFolder(folder);
}

// The refusal of a typed folder: the dialog stays, with the folder selected.
INT_PTR RefuseFolder(HWND window, UINT message)
{
    char text[MAX_PATH];
    char caption[MAX_PATH];
    ShowMessage(window, LoadText(message, text, MAX_PATH),
                LoadText(IDS_CAPTION_INSTALL, caption, MAX_PATH), MB_ICONWARNING);
    HWND box = GetDlgItem(window, IDC_TARGET_FOLDER);
    SetFocus(box);
    SendMessageA(box, EM_SETSEL, 0, -1);
    return 1;
}

// OK takes a new folder only as a full path that the uninstall would accept:
// a relative one would land wherever setup.exe happens to run. This holds for
// OK from the keyboard or a message as well as for a click, so the test is
// here.
INT_PTR AcceptChoices(HWND window, InstallPlan *plan)
{
    char folder[MAX_PATH];
    ReadFolderBox(window, folder);
    UINT refusal = FolderRefusal(plan, folder);
    if (refusal)
        return RefuseFolder(window, refusal);
    plan->desktopIcon = IsDlgButtonChecked(window, IDC_DESKTOP_ICON) != 0;
    plan->startMenuIcon = IsDlgButtonChecked(window, IDC_START_MENU_ICON) != 0;
    // Under /W the toolbar choice follows whether the button exists now.
    if (!(plan->flags & RUNOPT_HIDDEN))
        plan->toolbarButton = plan->radarChoice != 0;
    lstrcpyA(plan->targetFolder, folder);
    EndDialog(window, IDOK);
    return 1;
}

INT_PTR OnCommand(HWND window, int id)
{
    InstallPlan *plan = PlanOf(window);
    switch (id) {
    case IDOK:
        return AcceptChoices(window, plan);
    case IDCANCEL:
    case IDCLOSE:
        EndDialog(window, id);
        return 1;
    case IDC_BROWSE: {
        char folder[MAX_PATH];
        ReadFolderBox(window, folder);
        if (BrowseForTargetFolder(folder, window))
            SetDlgItemTextA(window, IDC_TARGET_FOLDER, folder);
        return 1;
    }
    case IDC_DESKTOP_ICON:
    case IDC_START_MENU_ICON:
        // The greyed preset turns off at the first click, then the box toggles.
        CheckDlgButton(window, id,
                       IsDlgButtonChecked(window, id) == 0 ? BST_CHECKED : BST_UNCHECKED);
        return 0;
    default:
        return 0;
    }
}

int CountBackslashes(const char *text)
{
    int count = 0;
    for (; *text; ++text)
        count += *text == '\\';
    return count;
}

int TextWidth(HDC context, const char *text)
{
    SIZE size = {0, 0};
    GetTextExtentPoint32A(context, text, lstrlenA(text), &size);
    return size.cx;
}

// Shortens `path` for display by putting " ... " in place of middle
// components until it fits the browser's width; the last component stays.
void ShowShortenedPath(HWND window, const char *path)
{
    char display[2 * MAX_PATH];
    lstrcpynA(display, path, MAX_PATH);
    const char *lastComponent = strrchr(path, '\\');
    RECT frame;
    GetWindowRect(window, &frame);
    HDC context = GetDC(window);
    while (lastComponent && CountBackslashes(display) >= 2 &&
           TextWidth(context, display) >= frame.right - frame.left) {
        *strrchr(display, '\\') = 0;
        *strrchr(display, '\\') = 0;
        char shorter[2 * MAX_PATH];
        FormatText(shorter, sizeof(shorter), "%s ... %s", display, lastComponent);
        lstrcpyA(display, shorter);
    }
    ReleaseDC(window, context);
    SendMessageA(window, BFFM_SETSTATUSTEXTA, 0, (LPARAM)display);
}

int IsExistingFolder(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The browser starts at the folder itself, else at its nearest existing
// parent, else at Program Files. Every round makes the path shorter.
void FindStartFolder(char *folder)
{
    while (!IsExistingFolder(folder)) {
        char *cut = strrchr(folder, '\\');
        if (!cut || cut == folder || (cut == folder + 2 && folder[1] == ':' && !cut[1])) {
            memset(folder, 0, MAX_PATH);
            ReadCurrentVersionValue("ProgramFilesDir", folder, MAX_PATH);
            return;
        }
        cut[cut == folder + 2 && folder[1] == ':'] = 0;  // "C:\\a" becomes "C:\\"
    }
}

// The browser's folder into `path` as ReadFolderBox reads the box, and its
// attributes; INVALID_FILE_ATTRIBUTES when it is no folder on disk.
DWORD ReadChosenFolder(LPCITEMIDLIST chosen, char *path)
{
    if (!IsNtPlatform())
        return SHGetPathFromIDListA(chosen, path) ? GetFileAttributesA(path)
                                                   : INVALID_FILE_ATTRIBUTES;
    wchar_t wide[MAX_PATH];
    return SHGetPathFromIDListW(chosen, wide) && ToAnsiText(wide, path, MAX_PATH)
               ? GetFileAttributesW(wide)
               : INVALID_FILE_ATTRIBUTES;
}

} // namespace

INT_PTR CALLBACK TargetFolderDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitTargetFolderDialog(window, (InstallPlan *)lParam);
        return 0;
    case WM_COMMAND:
        return OnCommand(window, LOWORD(wParam));
    case WM_APP:  // the dialog shows only once its first messages are done: show it first
        ShowWindow(window, SW_SHOW);
        return RefuseFolder(window, FolderRefusal(PlanOf(window), PlanOf(window)->targetFolder));
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            EndDialog(window, IDCANCEL);
        return 0;
    default:
        return 0;
    }
}

INT_PTR AskTargetFolder(InstallPlan *plan)
{
    return DialogBoxParamA(g_startup.instance, MAKEINTRESOURCEA(IDD_TARGET_FOLDER), 0,
                           TargetFolderDlgProc, (LPARAM)plan);
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data)
{
    char *folder = (char *)data;
    if (message == BFFM_INITIALIZED) {
        FindStartFolder(folder);
        SendMessageA(window, BFFM_SETSELECTIONA, 1, (LPARAM)folder);
    } else if (message == BFFM_SELCHANGED) {
        char path[MAX_PATH];
        DWORD attributes = INVALID_FILE_ATTRIBUTES;
        if (lParam)
            attributes = ReadChosenFolder((LPCITEMIDLIST)lParam, path);
        int valid = attributes != INVALID_FILE_ATTRIBUTES &&
                    !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_OFFLINE));
        SendMessageA(window, BFFM_ENABLEOK, 0, valid);
        if (valid) {
            lstrcpynA(folder, path, MAX_PATH);
            ShowShortenedPath(window, path);
        }
    }
    return 0;
}

int BrowseForTargetFolder(char *folder, HWND owner)
{
    CoInitialize(0);
    IMalloc *allocator = 0;
    SHGetMalloc(&allocator);
    LPITEMIDLIST root = 0;
    SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, &root);
    char title[MAX_PATH];
    char displayName[MAX_PATH];
    BROWSEINFOA browse;
    ZeroMemory(&browse, sizeof(browse));
    browse.hwndOwner = owner;
    browse.pidlRoot = root;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = LoadText(IDS_PROMPT_FRESH, title, MAX_PATH);
    // Folders, not computers: asking for computers only keeps OK disabled.
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_RETURNFSANCESTORS;
    browse.lpfn = BrowseCallback;
    browse.lParam = (LPARAM)folder;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
    if (allocator) {
        if (chosen)
            allocator->Free(chosen);
        if (root)
            allocator->Free(root);
        allocator->Release();
    }
    CoUninitialize();
    return chosen != 0;
}
