// Kept in a file of its own so that tests can link a replacement that
// cannot tell the shell folders.
#include "base/ansi_path.h"
#include "base/system_library.h"
#include "base/system_version.h"

int GetShellFolder(int place, char *folder)
{
    typedef HRESULT(WINAPI * GetFolderPathFn)(HWND, int, HANDLE, DWORD, void *);
    static GetFolderPathFn getFolderPath;
    // NT names the folder in wide text, which no look-alike of a letter
    // replaces (a profile folder has the user's name).
    int nt = IsNtPlatform();
    const char *name = nt ? "SHGetFolderPathW" : "SHGetFolderPathA";
    // shfolder.dll forwards the call to shell32.dll where that has it (2000
    // and later); the forward is resolved by name, so shell32 is asked first.
    if (!getFolderPath)
        getFolderPath = (GetFolderPathFn)SystemLibraryEntry("shell32.dll", name);
    if (!getFolderPath)
        getFolderPath = (GetFolderPathFn)SystemLibraryEntry("shfolder.dll", name);
    ZeroMemory(folder, MAX_PATH);
    wchar_t wide[MAX_PATH];
    if (!getFolderPath || getFolderPath(0, place, 0, 0, nt ? (void *)wide : folder) != S_OK)
        return 0;
    return !nt || AnsiPathOf(wide, folder) ? 1 : -1;
}
