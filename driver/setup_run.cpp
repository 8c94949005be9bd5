// The setup run: rights and system checks, the Install plan, the phases in
// their fixed order under their Phase codes, the result value and the report.
// The first failing phase ends the run; nothing is rolled back.
#include "driver/setup_driver.h"

#include "base/format.h"
#include "base/startup_state.h"
#include "base/system_version.h"
#include "driver/application_start.h"
#include "driver/folder_lists.h"
#include "driver/install_plan.h"
#include "driver/run_log.h"
#include "driver/run_waits.h"
#include "driver/ui/user_interface.h"
#include "files/files.h"
#include "registry/registry.h"
#include "resources/resource.h"
#include "xml/xml.h"

#include <commctrl.h>
#include <shellapi.h>
#include <string.h>

namespace {

const char kToolbarIcon[] = UNINSTALLER_NAME ",100";

struct RunState {
    RunOptions options;
    int runOk;
    int phaseCode;
    int cancelled;
    int appRunning;
    int notifyRegistered;
    HWND callerWindow;
    int isNt5;
    int elevatedCopy;  // started elevated by a copy that lacked the rights
    InstallPlan plan;
    char installedVersion[MAX_PATH];
    char downloadFolder[MAX_PATH];
    char buttonText[MAX_PATH];
    HWND progress;
    HANDLE runLock;
};

void Step(RunState *run, int position)
{
    SetProgress(run->progress, position, 1);
    LogStep(run->phaseCode, position);
}

struct PayloadCall {
    const char *folder;
    int deferred;
    RunOptions options;
    int result;
};

DWORD WINAPI MovePayload(LPVOID data)
{
    PayloadCall *call = (PayloadCall *)data;
    call->result = TransferPayload(0, call->folder, call->deferred, call->options);
    return 0;
}

// The payload moves on a worker thread while this thread keeps the progress
// window alive; the run goes on only once the move has ended, so the phases
// stay in order. Without a thread the move runs here.
int TransferPayloadResponsively(const RunState *run, const char *folder)
{
    PayloadCall call = {folder, run->appRunning, run->options, 0};
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
    OSVERSIONINFOA version;
    if (!QueryVersion(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT ||
        version.dwMajorVersion != 4)
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
    run->runOk = RegisterSearchFolders(options, run->downloadFolder) && run->runOk;
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
    MeasurePayload(&kilobytes);  // the files are installed: only the size is in question
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
    // system's or the user's own folders.
    if (IsCriticalFolder(plan.installedFolder) ||
        !TransferPayloadResponsively(run, plan.installedFolder))
        return 0;
    Step(run, 2);
    run->phaseCode = IDS_PHASE_SHORTCUTS;
    if (!UpdateGroupShortcut(0, plan.shortcutPath, plan.menuFolder, options) ||
        !UpdateDesktopShortcut(0, plan.productName, options) ||
        !UpdateStartMenuShortcut(0, plan.productName, options))
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

// A run that is killed leaves no result, so the caller never reads an
// earlier run's result as this one's.
void DeleteResultValue(void)
{
    SetResultKeyValue("Setup", 0);
}

void WriteResultValue(int phaseCode)
{
    char text[8];
    FormatText(text, sizeof(text), "%04X", (unsigned)phaseCode);
    SetResultKeyValue("Setup", text);
}

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
    } else if (run->phaseCode == IDS_SERVICE_PACK || run->phaseCode == IDS_UNSUPPORTED_SYSTEM) {
        ShowMessage(0, LoadText((UINT)run->phaseCode, text, MAX_PATH),
                    LoadText(IDS_CANNOT_START, caption, MAX_PATH), MB_ICONWARNING);
    } else {
        char format[MAX_PATH];
        char phase[MAX_PATH];
        FormatText(text, sizeof(text), LoadText(IDS_FAILED_FORMAT, format, MAX_PATH),
                   LoadText((UINT)run->phaseCode, phase, MAX_PATH));
        ShowMessage(0, text, caption, MB_ICONWARNING);
    }
}

// After a successful install with /O the application starts again through
// its group shortcut; a waiting caller learns whether it became ready.
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
        SHELLEXECUTEINFOA launch;
        ZeroMemory(&launch, sizeof(launch));
        launch.cbSize = sizeof(launch);
        launch.lpFile = file;
        launch.lpDirectory = folder;
        launch.nShow = SW_SHOWNORMAL;
        ShellExecuteExA(&launch);
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

int Report(const RunState *run)
{
    WriteResultValue(run->phaseCode);
    LogRunEnd(run->phaseCode, run->runOk, run->appRunning);
    // Files, registry and log are final now: a waiting run may go on while
    // this one reports.
    ReleaseRunLock(run->runLock);
    if (!(run->options & (RUNOPT_SILENT | RUNOPT_NO_REPORT)))
        TellUser(run);
    // The copy that started an elevated one restarts the application itself,
    // so that it runs as the user who started setup.
    if ((run->options & RUNOPT_INSTALL) && (run->options & RUNOPT_RELAUNCH) && !run->elevatedCopy)
        RelaunchApplication(run);
    return run->phaseCode;
}

// Exit codes of a run that reached its report, and so wrote a result value.
int IsPhaseCode(int code)
{
    return code == 0 || (code >= IDS_PHASE_INITIALIZATION && code <= IDS_UNSUPPORTED_SYSTEM &&
                         code != IDS_CANNOT_START);
}

// The group shortcut and the program as the elevated copy recorded them in the
// product key.
void ReadRelaunchTarget(InstallPlan *plan)
{
    char version[MAX_PATH] = {0};
    if (ReadMenuFolder(plan->menuFolder) && ReadProductIdentity(plan->productName, version))
        FormatShortcutPath(plan->shortcutPath, plan->menuFolder, plan->productName);
    // And the program itself, for a run that made no group shortcut.
    if (ReadInstalledFolder(plan->targetFolder))
        FormatProgramPath(plan->programPath, plan->targetFolder);
}

// What the elevated copy leaves to this one: the result value when it ran
// under another account, whose HKCU is not the caller's, and the restart of
// the application with its wait for the ready event.
int FinishElevatedRun(RunState *run, int code, int otherAccount)
{
    if (code == ERROR_CANCELLED)
        return 0;  // the user backed out of the elevated copy's plan
    if (!IsPhaseCode(code)) {
        // Killed before its report: no earlier result may stand for it.
        if (otherAccount && code != -1)
            DeleteResultValue();
        return code;  // it ended before its report: killed, or on a rights check
    }
    if (otherAccount)
        WriteResultValue(code);
    if ((run->options & RUNOPT_INSTALL) && (run->options & RUNOPT_RELAUNCH)) {
        run->phaseCode = code;
        run->runOk = code == 0;
        ReadRelaunchTarget(&run->plan);
        RelaunchApplication(run);
    }
    return code;
}

// Without administrator rights on Vista and later, Windows' elevation prompt
// can still give them: to an administrator's filtered token (the same
// account), or to a standard user through an administrator's credentials
// (another account). The same program then runs again elevated and does the
// whole run; this copy waits and ends with its exit code. 0 when no elevated
// copy ran.
int RunElevatedCopy(RunState *run, const char *commandLine, int *exitCode)
{
    int type = QueryElevationType();
    if (run->elevatedCopy || (type != ELEVATION_LIMITED && type != ELEVATION_DEFAULT))
        return 0;
    char elevated[ELEVATED_COMMAND_LINE_SIZE];
    DWORD code = 0;
    if (!BuildElevatedCommandLine(commandLine, elevated, sizeof(elevated)) ||
        !StartElevatedCopy(elevated, &code))
        return 0;
    LogElevatedCopy(code);
    *exitCode = FinishElevatedRun(run, (int)code, type == ELEVATION_DEFAULT);
    return 1;
}

// Windows 95 and NT before 4.0 are not supported.
int IsSupportedSystem(const OSVERSIONINFOA &version)
{
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
        return version.dwMajorVersion >= 4;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return !(version.dwMajorVersion == 4 && version.dwMinorVersion == 0);
    return 0;
}

void ReleaseStartupData(void)
{
    if (g_startup.document) {
        FreeDocument(g_startup.document);
        g_startup.document = 0;
    }
    if (g_startup.unicodeLayer) {
        FreeLibrary(g_startup.unicodeLayer);
        g_startup.unicodeLayer = 0;
    }
}

} // namespace

int RunSetup(const char *commandLine)
{
    static RunState run;
    memset(&run, 0, sizeof(run));
    run.options = RUNOPT_INSTALL;
    OSVERSIONINFOA version;
    QueryVersion(&version);
    int nt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    run.isNt5 = nt && version.dwMajorVersion >= 5;
    run.elevatedCopy = IsElevatedCopy(commandLine);

    run.notifyRegistered = ReadCallerWindow(&run.callerWindow);
    InitCommonControls();
    if (!ParseRunOptions(commandLine, &run.options))
        return -1;
    run.runOk = InitSetupRun(run.options);
    LogStartup(run.runOk, run.options);
    if (nt) {
        if (!IsAdministrator()) {
            int exitCode = 0;
            if (version.dwMajorVersion >= 6 && RunElevatedCopy(&run, commandLine, &exitCode))
                return exitCode;
            if (!(run.options & RUNOPT_SILENT)) {
                char text[MAX_PATH];
                ShowMessage(0, LoadText(IDS_NOT_ADMINISTRATOR, text, MAX_PATH), 0, MB_ICONERROR);
            }
            return -1;
        }
        if (!EnableTakeOwnership())
            return -1;
    }
    run.phaseCode = IDS_PHASE_INITIALIZATION;
    // Taken by the copy that passed the rights checks: that one does the work.
    run.runLock = AcquireRunLock(run.isNt5);
    if (!run.runLock) {
        run.runOk = 0;
        return Report(&run);
    }
    DeleteResultValue();
    if (!run.runOk)
        return Report(&run);
    run.phaseCode = IDS_UNSUPPORTED_SYSTEM;
    if (!IsSupportedSystem(version)) {
        run.runOk = 0;
        return Report(&run);
    }
    run.phaseCode = IDS_PHASE_INITIALIZATION;
    if (!BuildInstallPlan(&run.cancelled, &run.plan, run.installedVersion, &run.options)) {
        run.runOk = 0;
        return Report(&run);
    }
    if (run.cancelled) {  // the first copy learns it apart from a completed run
        ReleaseRunLock(run.runLock);
        return run.elevatedCopy ? ERROR_CANCELLED : 0;
    }
    RemoveStaleStagingFolders();  // not before: a cancelled run changes nothing
    if (run.options & RUNOPT_INSTALL)
        ReleaseStartupData();
    run.progress = OpenProgressWindow(run.notifyRegistered ? run.callerWindow : 0);
    run.appRunning = IsApplicationRunning(&run);
    LogInstallPlan(&run.plan, run.installedVersion, run.appRunning);
    int done = run.options & RUNOPT_INSTALL ? RunInstallPhases(&run) : RunUninstallPhases(&run);
    if (done)
        run.phaseCode = 0;
    else
        run.runOk = 0;
    CloseProgressWindow(run.progress);
    return Report(&run);
}

int RunCommandLine(const char *commandLine)
{
    if (IsLaunchCommandLine(commandLine))
        return RunLaunchMode();  // needs no rights, so it never elevates; it has no log
    OpenRunLog(commandLine);
    int exitCode = RunSetup(commandLine);
    CloseRunLog(exitCode);
    return exitCode;
}
