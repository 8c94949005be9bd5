// Every start of a program goes through the one shell call below.
#include "driver/application_start.h"

#include "base/log.h"
#include "driver/setup_driver.h"

#include <shellapi.h>

namespace {

// With `process`, the started process's handle comes back there; the shell
// gives none for some files (links), and then it is null.
int ShellStart(const char *file, const char *folder, const char *parameters, const char *verb,
               ULONG mask, HANDLE *process)
{
    SHELLEXECUTEINFOA launch;
    ZeroMemory(&launch, sizeof(launch));
    launch.cbSize = sizeof(launch);
    launch.fMask = mask | (process ? SEE_MASK_NOCLOSEPROCESS : 0);
    launch.lpVerb = verb;
    launch.lpFile = file;
    launch.lpDirectory = folder;
    launch.lpParameters = parameters;
    launch.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&launch))
        return 0;
    if (process)
        *process = launch.hProcess;
    return 1;
}

} // namespace

int StartApplication(const char *file, const char *folder)
{
    return ShellStart(file, folder, 0, 0, 0, 0);
}

int StartAndAwaitReady(const char *file, const char *folder)
{
    HANDLE ready = CreateEventA(0, FALSE, FALSE, READY_EVENT_NAME);
    if (!ready)
        return 0;
    HANDLE process = 0;
    int started = 0;
    if (ShellStart(file, folder, "/H /W", 0, 0, &process)) {
        // Without a process handle only the event could be watched; like the
        // failed wait, that counts as started, since nothing says the
        // application ended.
        HANDLE handles[2] = {process, ready};
        started = !process || WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0;
        if (process)
            CloseHandle(process);
    }
    CloseHandle(ready);
    return started;
}

int StartAndAwaitExit(const char *program, const char *parameters, const char *verb,
                      DWORD *exitCode)
{
    HANDLE process = 0;
    // No error box of the shell's own: a refusal ends in the run's own message.
    if (!ShellStart(program, 0, parameters, verb, SEE_MASK_FLAG_NO_UI, &process) || !process) {
        LogOutcome(GetLastError(), "ShellExecuteExA %s %s", verb ? verb : "open", program);
        return 0;
    }
    WaitForSingleObject(process, INFINITE);
    int ok = GetExitCodeProcess(process, exitCode) != 0;
    CloseHandle(process);
    return ok;
}
