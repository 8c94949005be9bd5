// Desktop, Start-menu and program-group shortcuts to the application, written
// through the shell's link object, and the clean-up of legacy shortcuts.
#include "shortcuts/shortcuts.h"

#include "base/log.h"
#include "base/format.h"
#include "base/system_library.h"
#include "base/system_version.h"
#include "places/places.h"

#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <string.h>

namespace {

const wchar_t *const kLegacyFolders[] = {L"\\Quillsen", L"\\Access Vak"};

// Desktop of the current user; Start menu of all users on NT, of the current user on 9x.
int ShortcutFolder(int startMenu, char *folder)
{
    int place = CSIDL_DESKTOP;
    if (startMenu)
        place = IsNtPlatform() ? CSIDL_COMMON_STARTMENU : CSIDL_STARTMENU;
    return GetShellFolder(place, folder) > 0;
}

// "<folder>\<name>.lnk": the extension is always added, so a name with a
// dot of its own ("Dorsel 2.0") names its shortcut file too.
int ShortcutFile(int startMenu, const char *name, char *file)
{
    char folder[MAX_PATH];
    return ShortcutFolder(startMenu, folder) &&
           FormatText(file, MAX_PATH, "%s\\%s.lnk", folder, name);
}

int ShortcutExists(int startMenu, const char *name)
{
    char file[MAX_PATH];
    return ShortcutFile(startMenu, name, file) && IsExistingFile(file);
}

// A removed shortcut counts only when the system says it is not there; a
// folder of that name is no shortcut of this program and stays.
int IsShortcutGone(const char *file)
{
    int state = ProbePath(file);
    return state == PATH_GONE || state == PATH_FOLDER;
}

void NotifyShell(void)
{
    SHChangeNotify(SHCNE_ASSOCCHANGED, IsNtPlatform() ? SHCNF_FLUSH : SHCNF_FLUSHNOWAIT, 0, 0);
}

// Creates the link (target, icon 1 of the target, working folder) and saves
// it. COM is initialised by the caller. S_OK only when the save succeeded.
HRESULT WriteLink(const char *program, const char *file, int notifyAfterSave)
{
    IShellLinkA *link = 0;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void **)&link)))
        return E_FAIL;
    char folder[MAX_PATH];
    lstrcpynA(folder, program ? program : "", MAX_PATH);
    char *cut = strrchr(folder, '\\');
    if (cut)
        *cut = 0;
    link->SetPath(program);
    link->SetIconLocation(program, 1);
    link->SetWorkingDirectory(folder);
    IPersistFile *persist = 0;
    HRESULT result = link->QueryInterface(IID_IPersistFile, (void **)&persist);
    if (SUCCEEDED(result)) {
        result = SaveLinkFile(persist, file);
        LogOutcome(FAILED(result) ? (DWORD)result : 0, "shortcut %s", file);
        if (notifyAfterSave)
            NotifyShell();
        persist->Release();
    }
    link->Release();
    return result;
}

int UpdateFolderShortcut(int startMenu, const char *program, const char *name,
                         RunOptions options)
{
    char file[MAX_PATH];
    if (!ShortcutFile(startMenu, name, file))
        return 0;
    if (!(options & RUNOPT_INSTALL)) {
        if (IsExistingFile(file))
            DeleteFileA(file);
        return IsShortcutGone(file);
    }
    CoInitialize(0);
    HRESULT result = WriteLink(program, file, 0);
    CoUninitialize();
    return result == S_OK;
}

// Removes the first shortcut to `program` found in `pattern` (a folder and
// "\*"), and the folder when that leaves it empty.
void RemoveLegacyShortcutIn(const char *program, wchar_t *pattern)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    wchar_t *star = pattern + lstrlenW(pattern) - 1;
    do {
        if (lstrcmpW(entry.cFileName, L".") == 0 || lstrcmpW(entry.cFileName, L"..") == 0)
            continue;
        if ((star - pattern) + lstrlenW(entry.cFileName) >= MAX_PATH)
            continue;
        lstrcpyW(star, entry.cFileName);
        char path[MAX_PATH];
        SHFILEINFOA info;
        ZeroMemory(&info, sizeof(info));
        if (WideCharToMultiByte(CP_ACP, 0, pattern, -1, path, MAX_PATH, 0, 0) &&
            SHGetFileInfoA(path, 0, &info, sizeof(info), SHGFI_ICONLOCATION) && info.hIcon)
            DestroyIcon(info.hIcon);
        if (info.szDisplayName[0] && lstrcmpiA(info.szDisplayName, program) == 0) {
            // The search must be closed before its folder can be removed.
            FindClose(search);
            DeleteFileW(pattern);
            star[-1] = 0;
            RemoveDirectoryW(pattern);
            return;
        }
        *star = L'*';
        star[1] = 0;
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

} // namespace

int DesktopShortcutExists(const char *name)
{
    return ShortcutExists(0, name);
}

int StartMenuShortcutExists(const char *name)
{
    return ShortcutExists(1, name);
}

int UpdateDesktopShortcut(const char *program, const char *name, RunOptions options)
{
    return UpdateFolderShortcut(0, program, name, options);
}

int UpdateStartMenuShortcut(const char *program, const char *name, RunOptions options)
{
    return UpdateFolderShortcut(1, program, name, options);
}

int UpdateGroupShortcut(const char *program, const char *shortcutPath, const char *groupFolder,
                        RunOptions options)
{
    if (!(options & RUNOPT_INSTALL)) {
        DeleteFileA(shortcutPath);
        RemoveDirectoryA(groupFolder);
        NotifyShell();
        return IsShortcutGone(shortcutPath);
    }
    if (GetFileAttributesA(groupFolder) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryA(groupFolder, 0);
    CoInitialize(0);
    RemoveLegacyShortcuts(program, groupFolder);
    HRESULT result = WriteLink(program, shortcutPath, 1);
    CoUninitialize();
    return result == S_OK;
}

void RemoveLegacyShortcuts(const char *program, const char *groupFolder)
{
    if (!program || !groupFolder)
        return;
    for (size_t i = 0; i < sizeof(kLegacyFolders) / sizeof(kLegacyFolders[0]); ++i) {
        wchar_t pattern[MAX_PATH];
        if (!MultiByteToWideChar(CP_ACP, 0, groupFolder, -1, pattern, MAX_PATH))
            continue;
        wchar_t *cut = 0;
        for (wchar_t *p = pattern; *p; ++p)
            if (*p == L'\\')
                cut = p;
        if (!cut || (cut - pattern) + lstrlenW(kLegacyFolders[i]) + 2 >= MAX_PATH)
            continue;
        lstrcpyW(cut, kLegacyFolders[i]);
        lstrcatW(cut, L"\\*");
        RemoveLegacyShortcutIn(program, pattern);
    }
}
