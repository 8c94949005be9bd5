// The phases of an install and of an uninstall, in their fixed order under
// their Phase codes, and the instance check that decides whether the files
// wait for the next Windows start. The first failing phase ends the list;
// nothing is rolled back.
#include "driver/run_state.h"

#include "base/system_version.h"
#include "driver/folder_lists.h"
#include "driver/run_log.h"
#include "driver/ui/user_interface.h"
#include "files/files.h"
#include "shortcuts/shortcuts.h"
#include "registry/registry.h"
#include "resources/resource.h"

#include <string.h>

namespace {

const char kToolbarIcon[] = UNINSTALLER_NAME ",100";

void Step(RunState *run, int position)
{
    SetProgress(run->progress, position, 1);
    LogStep(run->phaseCode, position);
}

struct PayloadCall {
    PayloadSource source;
    const char *folder;
    int deferred;
    RunOptions options;
    int result;
};

DWORD WINAPI MovePayload(LPVOID data)
{
    PayloadCall *call = (PayloadCall *)data;
    call->result = TransferPayload(0, &call->source, call->folder, call->deferred, call->options);
    return 0;
}

// The payload moves on a worker thread while this thread keeps the progress
// window alive; the run goes on only once the move has ended, so the phases
// stay in order. Without a thread the move runs here.
int TransferPayloadResponsively(const RunState *run, const char *folder)
{
    PayloadCall call = {PlanPayloadSource(run->plan, run->source), folder, run->appRunning, run->options, 0};
    DWORD id;
    HANDLE worker = CreateThread(0, 0, MovePayload, &call, 0, &id);
    if (!worker) {
        MovePayload(&call);
        return call.result;
    }
    if (WaitHandlingMessages(worker, INFINITE) != WAIT_OBJECT_0)
        WaitForSingleObject(worker, INFINITE);  // the thread uses `call` until it ends
    CloseHandle(worker);
    return call.result;
}

// An NT 4.0 service pack below 4 is refused; other systems pass.
int HasNeededServicePack(void)
{
    const OSVERSIONINFOA &version = SystemVersion();
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT || version.dwMajorVersion != 4)
        return 1;
    size_t length = strlen(version.szCSDVersion);
    // No service pack at all is below 4 as well.
    return length > 0 && (signed char)version.szCSDVersion[length - 1] >= '4';
}

int InstallShortcuts(RunState *run)
{
    const InstallPlan &plan = run->plan;
    RunOptions options = run->options;
    if (plan.previousName[0] && strcmp(plan.previousName, plan.productName) != 0) {
        UpdateDesktopShortcut(plan.programPath, plan.previousName, 0);
        UpdateStartMenuShortcut(plan.programPath, plan.previousName, 0);
        if (plan.previousShortcutPath[0])
            UpdateGroupShortcut(plan.programPath, plan.previousShortcutPath, plan.menuFolder, 0);
    }
    return UpdateDesktopShortcut(plan.programPath, plan.productName,
                                 plan.desktopIcon ? options : 0) &&
           UpdateStartMenuShortcut(plan.programPath, plan.productName,
                                   plan.startMenuIcon ? options : 0) &&
           UpdateGroupShortcut(plan.programPath, plan.shortcutPath, plan.menuFolder, options);
}

} // namespace

int RunInstallPhases(RunState *run)
{
    const InstallPlan &plan = run->plan;
    RunOptions options = run->options;
    LoadText(IDS_BUTTON_TEXT, run->buttonText, MAX_PATH);
    lstrcpyA(run->downloadFolder, "C:\\DRIVERS");
    run->phaseCode = IDS_SERVICE_PACK;
    if (!HasNeededServicePack())
        return 0;
    run->phaseCode = IDS_PHASE_INSTALL_FILES;
    if (!TransferPayloadResponsively(run, plan.targetFolder))
        return 0;
    Step(run, 1);
    run->phaseCode = IDS_PHASE_SHORTCUTS;
    if (options & RUNOPT_HIDDEN) {
        SetProgress(run->progress, 2, 0);
    } else {
        if (!InstallShortcuts(run))
            return 0;
        Step(run, 2);
    }
    run->phaseCode = IDS_PHASE_REGISTRATION;
    if (!WriteInstalledFolder(plan.targetFolder, options))
        return 0;
    Step(run, 3);
    if (!WriteProductIdentity(plan.productName, plan.productVersion, options))
        return 0;
    Step(run, 4);
    run->runOk = RegisterSearchFolders(options, run->downloadFolder, &run->source) && run->runOk;
    if (!run->runOk)
        return 0;
    Step(run, 5);
    if (!WriteMenuFolder(plan.menuFolder, options) ||
        !WriteInternetSettings((DWORD)plan.radarChoice, run->downloadFolder, options) ||
        !WriteToolbarButton(plan.programPath, kToolbarIcon, run->buttonText, plan.toolbarButton))
        return 0;
    Step(run, 6);
    if (!MigratePackageRecords())
        return 0;
    Step(run, 7);
    DWORD kilobytes = 0;
    PayloadSource source = PlanPayloadSource(plan, run->source);
    MeasurePayload(&source, &kilobytes);  // the files are installed: only the size is in question
    if (!WriteUninstallEntry(UNINSTALLER_NAME, plan.productName, plan.productVersion, options) ||
        !WriteUninstallDetails(UNINSTALLER_NAME, plan.targetFolder, kilobytes, plan.publisher) ||
        (run->isNt5 && !WriteInterfacePath(UNINSTALLER_NAME, options)))
        return 0;
    Step(run, 8);
    return 1;
}

int RunUninstallPhases(RunState *run)
{
    const InstallPlan &plan = run->plan;
    RunOptions options = run->options;
    run->phaseCode = IDS_PHASE_UNINSTALL_FILES;
    // A tampered installed folder must not turn the uninstall against the
    // system's or the user's own folders. Without a folder (the rest of an
    // uninstall that stopped halfway) the files went before it.
    if (plan.installedFolder[0] && (IsCriticalFolder(plan.installedFolder) ||
                                    !TransferPayloadResponsively(run, plan.installedFolder)))
        return 0;
    Step(run, 2);
    run->phaseCode = IDS_PHASE_SHORTCUTS;
    // Without a name (the rest of a stopped uninstall) no shortcut is known.
    int groupShortcutGone =
        !plan.shortcutPath[0] || UpdateGroupShortcut(0, plan.shortcutPath, plan.menuFolder, options);
    if (plan.productName[0] &&
        (!groupShortcutGone || !UpdateDesktopShortcut(0, plan.productName, options) ||
         !UpdateStartMenuShortcut(0, plan.productName, options)))
        return 0;
    Step(run, 3);
    run->phaseCode = IDS_PHASE_REGISTRATION;
    if (!WriteInstalledFolder(0, options))
        return 0;
    Step(run, 4);
    if (!WriteProductIdentity(0, 0, options))
        return 0;
    Step(run, 5);
    if (!WriteMenuFolder(0, options) || !WriteInternetSettings(0, 0, options) ||
        !WriteToolbarButton(0, 0, 0, 0))
        return 0;
    Step(run, 6);
    if (!RegisterSearchFolder(0, options))
        return 0;
    Step(run, 7);
    if (!WriteUninstallEntry(0, 0, 0, options) || !WriteInterfacePath(0, options))
        return 0;
    Step(run, 8);
    return 1;
}

// Installed versions below "1.03.0000" show a window titled with the product
// name; later ones hold a mutex of that name.
int IsApplicationRunning(const RunState *run)
{
    const char *name = run->plan.productName;
    if (!name[0])
        return 0;  // an uninstall's rest: no product name to find it by
    if (CompareVersions(run->installedVersion, "1.03.0000") < 0)
        return FindWindowA(0, name) != 0;
    HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name);
    if (!mutex)
        return 0;
    int running = 1;
    if (run->options & RUNOPT_RELAUNCH) {
        DWORD result = WaitHandlingMessages(mutex, INFINITE);
        // The wait made this run the owner: give the mutex back at once, so
        // that the restarted application finds it free.
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
            ReleaseMutex(mutex);
        running = result != WAIT_OBJECT_0;
    }
    CloseHandle(mutex);
    return running;
}

