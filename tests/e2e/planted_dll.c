/* Planted beside setup.exe under the name of a system DLL: when loaded it
   leaves a mark file beside itself. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH];
        DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
        while (length > 0 && path[length - 1] != '\\')
            --length;
        lstrcpyA(path + length, "planted-dll-loaded.txt");
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
