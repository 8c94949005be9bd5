// Stands in for the installed application: holds the single-instance mutex
// named by the product name (or, with /window, shows a window with that
// title) until the event "DorselStandInQuit" is set or a minute has passed.
#include <windows.h>

#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    const char *name = strchr(commandLine, ' ') ? strchr(commandLine, ' ') + 1 : commandLine;
    HANDLE quit = CreateEventA(0, TRUE, FALSE, "DorselStandInQuit");
    HANDLE mutex = 0;
    HWND window = 0;
    if (strncmp(commandLine, "/window", 7) == 0)
        window = CreateWindowA("STATIC", name, WS_POPUP, 0, 0, 1, 1, 0, 0, 0, 0);
    else
        mutex = CreateMutexA(0, TRUE, name);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, "DorselStandInReady");
    if (ready) {
        SetEvent(ready);
        CloseHandle(ready);
    }
    DWORD until = GetTickCount() + 60000;
    while (WaitForSingleObject(quit, 50) == WAIT_TIMEOUT && GetTickCount() < until) {
        MSG message;
        while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    if (window)
        DestroyWindow(window);
    if (mutex)
        CloseHandle(mutex);  // ends without releasing: the mutex is abandoned
    return 0;
}
