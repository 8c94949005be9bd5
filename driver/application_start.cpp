#include "driver/application_start.h"

#include "driver/format.h"
#include "driver/setup_driver.h"
#include "resources/resource.h"

#include <shellapi.h>

int StartAndAwaitReady(const char *file, const char *folder)
{
    HANDLE ready = CreateEventA(0, FALSE, FALSE, READY_EVENT_NAME);
    if (!ready)
        return 0;
    SHELLEXECUTEINFOA launch;
    ZeroMemory(&launch, sizeof(launch));
    launch.cbSize = sizeof(launch);
    launch.fMask = SEE_MASK_NOCLOSEPROCESS;
    launch.lpFile = file;
    launch.lpDirectory = folder;
    launch.lpParameters = "/H /W";
    launch.nShow = SW_SHOWNORMAL;
    int started = 0;
    if (ShellExecuteExA(&launch)) {
        // Without a process handle (the shell gives none for some links) only
        // the event could be watched; like the failed wait, that counts as
        // started, since nothing says the application ended.
        HANDLE handles[2] = {launch.hProcess, ready};
        started = !launch.hProcess ||
                  WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0;
        if (launch.hProcess)
            CloseHandle(launch.hProcess);
    }
    CloseHandle(ready);
    return started;
}

void ErrorText(DWORD error, char *text)
{
    ZeroMemory(text, MAX_PATH);
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, 0, error, 0x400, text, MAX_PATH, 0))
        return;
    char format[MAX_PATH];
    char phase[MAX_PATH];
    FormatText(text, MAX_PATH, LoadText(IDS_FAILED_FORMAT, format, MAX_PATH),
               LoadText(IDS_PHASE_INITIALIZATION, phase, MAX_PATH));
}
