// Kept in a file of its own so that tests can link a replacement that
// cannot tell the shell folders.
#include "base/system_library.h"

int GetShellFolder(int place, char *folder)
{
    typedef HRESULT(WINAPI * GetFolderPathFn)(HWND, int, HANDLE, DWORD, LPSTR);
    static GetFolderPathFn getFolderPath;
    // shfolder.dll forwards the call to shell32.dll where that has it (2000
    // and later); the forward is resolved by name, so shell32 is asked first.
    if (!getFolderPath)
        getFolderPath = (GetFolderPathFn)SystemLibraryEntry("shell32.dll", "SHGetFolderPathA");
    if (!getFolderPath)
        getFolderPath = (GetFolderPathFn)SystemLibraryEntry("shfolder.dll", "SHGetFolderPathA");
    ZeroMemory(folder, MAX_PATH);
    return getFolderPath && getFolderPath(0, place, 0, 0, folder) == S_OK;
}
