/* Planted beside a program, or in its current folder, under the name of a
   system DLL: when loaded it leaves "<its file name>.loaded" beside itself.
   It imports KERNEL32 alone, so that its DllMain runs whatever name it has. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    char path[MAX_PATH + 8];
    if (reason == DLL_PROCESS_ATTACH && GetModuleFileNameA(instance, path, MAX_PATH) > 0) {
        lstrcatA(path, ".loaded");
        HANDLE mark = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
        if (mark != INVALID_HANDLE_VALUE)
            CloseHandle(mark);
    }
    return TRUE;
}

HRESULT WINAPI PlantedGetFolderPath(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path)
{
    (void)owner; (void)folder; (void)token; (void)flags;
    path[0] = 0;
    return E_FAIL;
}
