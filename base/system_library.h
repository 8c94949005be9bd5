// Entry points of system libraries that are loaded at run time rather than
// imported: the program restricts the DLL search to the system folder at its
// start, so these must load after that, never from the program's own folder.
#ifndef BASE_SYSTEM_LIBRARY_H
#define BASE_SYSTEM_LIBRARY_H

#include <windows.h>

// Loads `library` (for good) and returns the address of `name` in it, or null.
inline void *SystemLibraryEntry(const char *library, const char *name)
{
    HMODULE module = LoadLibraryA(library);  // stays loaded for the process
    return module ? (void *)GetProcAddress(module, name) : 0;
}

// SHGetFolderPathA of "shfolder.dll" (Windows 98 and NT 4.0 have it there):
// the folder of CSIDL `place` into `folder` of MAX_PATH characters (the
// terminator included), which stays "" when the call fails with 0.
inline int GetShellFolder(int place, char *folder)
{
    typedef HRESULT(WINAPI * GetFolderPathFn)(HWND, int, HANDLE, DWORD, LPSTR);
    static GetFolderPathFn getFolderPath;
    if (!getFolderPath)
        getFolderPath = (GetFolderPathFn)SystemLibraryEntry("shfolder.dll", "SHGetFolderPathA");
    ZeroMemory(folder, MAX_PATH);
    return getFolderPath && getFolderPath(0, place, 0, 0, folder) == S_OK;
}

#endif
