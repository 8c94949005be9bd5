// Stands in for the installed application. Started with "/H /W" (as the setup
// program starts it) it signals the ready event and ends with the program
// that started it, or ends without signalling when a file "end-early.txt"
// lies beside it. Otherwise it holds the single-instance mutex named by the
// product name (or, with /window, shows a window with that title; with
// /hold, holds the named file open without sharing) until the event
// "DorselStandInQuit" is set or a minute has passed; with /release it
// releases the mutex before it ends.
#include <windows.h>
#include <tlhelp32.h>

#include <string.h>

// The process that started this one, or 0 when it has ended.
HANDLE OpenStarter(void)
{
    DWORD self = GetCurrentProcessId(), starter = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more && !starter;
         more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == self)
            starter = entry.th32ParentProcessID;
    CloseHandle(snapshot);
    return starter ? OpenProcess(SYNCHRONIZE, FALSE, starter) : 0;
}

int AnswerStart(void)
{
    // Held until the process ends, so that a test can wait for that end.
    CreateMutexA(0, TRUE, "DorselStandInAlive");
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(0, path, MAX_PATH);
    while (length > 0 && path[length - 1] != '\\')
        --length;
    lstrcpyA(path + length, "end-early.txt");
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        return 1;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE,
                              "{5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}:FRESHRELAY:INIT");
    if (!ready)
        return 2;
    SetEvent(ready);
    CloseHandle(ready);
    // Still running when the setup program sees the event: it ends right
    // after, and the stand-in with it.
    HANDLE starter = OpenStarter();
    if (starter) {
        WaitForSingleObject(starter, 10000);
        CloseHandle(starter);
    }
    return 0;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    if (strncmp(commandLine, "/H /W", 5) == 0)
        return AnswerStart();
    const char *name = strchr(commandLine, ' ') ? strchr(commandLine, ' ') + 1 : commandLine;
    HANDLE quit = CreateEventA(0, TRUE, FALSE, "DorselStandInQuit");
    HANDLE mutex = 0;
    HANDLE held = INVALID_HANDLE_VALUE;
    HWND window = 0;
    if (strncmp(commandLine, "/window", 7) == 0)
        window = CreateWindowA("STATIC", name, WS_POPUP, 0, 0, 1, 1, 0, 0, 0, 0);
    else if (strncmp(commandLine, "/hold", 5) == 0)
        held = CreateFileA(name, GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
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
    if (mutex && strncmp(commandLine, "/release", 8) == 0)
        ReleaseMutex(mutex);
    if (mutex)
        CloseHandle(mutex);  // otherwise the mutex is abandoned
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    return 0;
}
