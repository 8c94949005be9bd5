// What the user and a waiting caller are told at the end of a run: the final
// message or the restart prompt, and the application started again after an
// install with "/O".
#include "driver/run_state.h"

#include "base/format.h"
#include "driver/application_start.h"
#include "driver/ui/user_interface.h"
#include "resources/resource.h"

void TellUser(const RunState *run)
{
    char caption[MAX_PATH];
    char text[MAX_PATH];
    LoadText(run->options & RUNOPT_INSTALL ? IDS_CAPTION_INSTALL : IDS_CAPTION_UNINSTALL, caption,
             MAX_PATH);
    if (run->runOk && run->appRunning) {
        PromptForRestart();
    } else if (run->runOk) {
        ShowMessage(0, LoadText(IDS_COMPLETED, text, MAX_PATH), caption, MB_ICONINFORMATION);
    } else if (run->setupDamaged) {
        ShowMessage(0, LoadText(IDS_SETUP_DAMAGED, text, MAX_PATH), caption, MB_ICONERROR);
    } else if (run->phaseCode == IDS_SERVICE_PACK || run->phaseCode == IDS_UNSUPPORTED_SYSTEM) {
        ShowMessage(0, LoadText((UINT)run->phaseCode, text, MAX_PATH),
                    LoadText(IDS_CANNOT_START, caption, MAX_PATH), MB_ICONWARNING);
    } else {
        // The failed phase; a program that no path names, the folder to move it to.
        int unnamed = run->source.programUnnamed;
        char format[MAX_PATH];
        char phase[MAX_PATH];
        FormatText(text, sizeof(text),
                   LoadText(unnamed ? IDS_PROGRAM_FOLDER_NAME : IDS_FAILED_FORMAT, format, MAX_PATH),
                   unnamed ? "C:\\Downloads" : LoadText((UINT)run->phaseCode, phase, MAX_PATH));
        ShowMessage(0, text, caption, MB_ICONWARNING);
    }
}

void RelaunchApplication(const RunState *run)
{
    if (!run->runOk) {
        if (run->notifyRegistered)
            DeleteCallerNotification();
        return;
    }
    // Through the group shortcut; a run that made none (/W on a fresh
    // install) starts the application itself, in the folder the shortcut
    // would have given it.
    const char *file = run->plan.shortcutPath;
    const char *folder = run->plan.menuFolder;
    DWORD attributes = GetFileAttributesA(file);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        file = run->plan.programPath;
        folder = run->plan.targetFolder;
    }
    if (!run->notifyRegistered) {
        StartApplication(file, folder);  // nobody waits: a failed start is not reported
        return;
    }
    if (StartAndAwaitReady(file, folder))
        return;
    DeleteCallerNotification();
    char text[MAX_PATH];
    ErrorText(ERROR_FUNCTION_FAILED, text);
    HWND caller = run->callerWindow;
    ShowMessage(caller, text, 0,
                caller ? MB_ICONWARNING : MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST);
}
