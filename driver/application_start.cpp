// Starting the installed application through its shortcut and waiting for
// its ready event, for the relaunch after an install with "/O".
#include "driver/application_start.h"

#include "base/log.h"
#include "driver/setup_driver.h"

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

int StartElevatedCopy(const char *parameters, DWORD *exitCode)
{
    char program[MAX_PATH] = {0};
    DWORD length = GetModuleFileNameA(0, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 0;
    SHELLEXECUTEINFOA launch;
    ZeroMemory(&launch, sizeof(launch));
    launch.cbSize = sizeof(launch);
    // No error box of the shell's own: a refusal ends in the run's own message.
    launch.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    launch.lpVerb = "runas";
    launch.lpFile = program;
    launch.lpParameters = parameters;
    launch.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&launch) || !launch.hProcess)
        return LogFailure("ShellExecuteExA runas", program);
    WaitForSingleObject(launch.hProcess, INFINITE);
    int ok = GetExitCodeProcess(launch.hProcess, exitCode) != 0;
    CloseHandle(launch.hProcess);
    return ok;
}

