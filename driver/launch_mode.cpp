// Launch mode: store a caller's request in the caller-notification key, start
// the installed application and wait until it is ready. The exit code is a
// Windows error code.
#include "driver/setup_driver.h"

#include "base/system_version.h"
#include "driver/application_start.h"
#include "driver/ui/user_interface.h"
#include "registry/registry.h"
#include "resources/resource.h"

int RunLaunchMode(void)
{
    if (!IsNt5OrLater())
        return ERROR_NOT_SUPPORTED;
    char program[MAX_PATH];
    char folder[MAX_PATH];
    int admin = IsAdministrator();
    DWORD error = ERROR_CANTREAD;
    int registered = 0;
    HWND callerWindow = 0;
    if (ReadLauncherPath(program, MAX_PATH) && ReadInstalledFolder(folder)) {
        if (ReadCallerWindow(&callerWindow)) {
            error = ERROR_BUSY;  // another request is pending
        } else {
            error = admin ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED;
            int busy = 0;
            registered = RegisterCallerNotification(&callerWindow, &busy);
            if (busy)
                error = ERROR_BUSY;  // a request arrived since the check
        }
    }
    if (registered) {
        error = ERROR_FUNCTION_FAILED;
        if (StartAndAwaitReady(program, folder))
            return 0;  // the key stays for the application
        DeleteCallerNotification();
    }
    char text[MAX_PATH];
    if (error == ERROR_ACCESS_DENIED)
        LoadText(IDS_NOT_ADMINISTRATOR, text, MAX_PATH);
    else
        ErrorText(error, text);
    ShowMessage(callerWindow, text, 0,
                callerWindow ? MB_ICONWARNING : MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST);
    return (int)error;
}
