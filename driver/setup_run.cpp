// The setup run: start-up, the rights and system checks, the Install plan,
// the phases and the report. One run at a time holds the run lock, from the
// checks to the result value; the report comes after it.
#include "driver/setup_driver.h"

#include "base/log.h"
#include "base/system_version.h"
#include "driver/elevation.h"
#include "driver/result_value.h"
#include "driver/run_lock.h"
#include "driver/run_log.h"
#include "driver/run_state.h"
#include "driver/ui/user_interface.h"
#include "files/files.h"
#include "registry/registry.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <string.h>

namespace {

// Windows 95 and NT before 4.0 are not supported.
int IsSupportedSystem(const OSVERSIONINFOA &version)
{
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
        return version.dwMajorVersion >= 4;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return !(version.dwMajorVersion == 4 && version.dwMinorVersion == 0);
    return 0;
}

// Administrator rights and the take-ownership privilege on the NT family.
// 0 when the run ends here, with `*exitCode` -1 or the exit code of the
// elevated copy that did the run instead.
int HasRights(RunState *run, const SetupCommand *command, int *exitCode)
{
    *exitCode = -1;
    // A program that no path names cannot start its elevated copy: its
    // refusal, which changes nothing, needs no rights.
    if (!IsNtPlatform() || run->source.programUnnamed)
        return 1;
    if (IsAdministrator())
        return EnableTakeOwnership();
    if (RunElevatedCopy(run, command, exitCode))
        return 0;
    if (!(run->options & RUNOPT_SILENT)) {
        char text[MAX_PATH];
        ShowMessage(0, LoadText(IDS_NOT_ADMINISTRATOR, text, MAX_PATH), 0, MB_ICONERROR);
    }
    return 0;
}

// The system check, the plan and the phases, each under its Phase code.
// 0 when the user backed out of the plan, which changes nothing.
int RunPlanAndPhases(RunState *run)
{
    run->phaseCode = IDS_PHASE_INITIALIZATION;
    if (!run->runOk)
        return 1;
    run->phaseCode = IDS_UNSUPPORTED_SYSTEM;
    if (!IsSupportedSystem(SystemVersion())) {
        run->runOk = 0;
        return 1;
    }
    run->phaseCode = IDS_PHASE_INITIALIZATION;
    if (!BuildInstallPlan(&run->cancelled, &run->plan, run->installedVersion, &run->options,
                          &run->source)) {
        run->runOk = 0;
        return 1;
    }
    if (run->cancelled)
        return 0;
    // Not before: a cancelled run changes nothing. A bundle's private folder
    // in the temporary folder is this run's own.
    RemoveStaleStagingFolders(run->source.bundled ? run->source.folder : 0);
    if (run->options & RUNOPT_INSTALL)
        ReleaseStartupData(&run->source);
    run->progress = OpenProgressWindow(run->notifyRegistered ? run->callerWindow : 0);
    run->appRunning = IsApplicationRunning(run);
    LogInstallPlan(&run->plan, run->installedVersion, run->appRunning);
    int done = run->options & RUNOPT_INSTALL ? RunInstallPhases(run) : RunUninstallPhases(run);
    if (done)
        run->phaseCode = 0;
    else
        run->runOk = 0;
    CloseProgressWindow(run->progress);
    return 1;
}

// What the run lock covers: the run up to its result value and the log's end.
// A run that could not take the lock fails at initialization: with 1618 when
// another run held it, with the Phase code when it could not be opened at all
// (whether another run holds it cannot be told then, and no run goes on
// without it). 0 when the user backed out of the plan: nothing is written then.
int RunToResult(RunState *run, int lockState)
{
    if (lockState != RUN_LOCK_TAKEN) {
        run->phaseCode = IDS_PHASE_INITIALIZATION;
        run->runOk = 0;
        run->lockHeld = lockState == RUN_LOCK_HELD;
        LogLine(run->lockHeld ? "run lock held by another run" : "run lock cannot be opened");
    } else {
        DeleteResultValue();
        if (!RunPlanAndPhases(run))
            return 0;
    }
    WriteResultValue(run->lockHeld ? ERROR_INSTALL_ALREADY_RUNNING : run->phaseCode);
    LogRunEnd(run->phaseCode, run->runOk, run->appRunning);
    return 1;
}

// The Phase code; a tool that retries learns that another run was busy
// (1618), and one that asked for it that a success waits for a restart.
int ExitCodeOf(const RunState *run, const SetupCommand *command)
{
    if (run->lockHeld)
        return ERROR_INSTALL_ALREADY_RUNNING;
    if (run->runOk && run->appRunning && command->restartExitCode)
        return (int)command->restartExitCode;
    return run->phaseCode;
}

void Report(const RunState *run)
{
    if (!(run->options & (RUNOPT_SILENT | RUNOPT_NO_REPORT)))
        TellUser(run);
    // The copy that started an elevated one restarts the application itself,
    // so that it runs as the user who started setup.
    if ((run->options & RUNOPT_INSTALL) && (run->options & RUNOPT_RELAUNCH) && !run->elevatedCopy)
        RelaunchApplication(run);
}

} // namespace

int RunSetup(const SetupCommand *command)
{
    static RunState run;
    memset(&run, 0, sizeof(run));
    run.options = command->options;
    run.isNt5 = IsNt5OrLater();
    run.elevatedCopy = command->elevatedCopy;
    run.plan.folderRequested = command->installFolderGiven;
    lstrcpyA(run.plan.requestedFolder, command->installFolder);
    run.notifyRegistered = ReadCallerWindow(&run.callerWindow);
    // Every copy that may write the result deletes the earlier one first: a
    // refused elevation, or a copy that is killed, leaves none.
    DeleteResultValue();
    InitCommonControls();
    run.runOk = InitSetupRun(run.options, &run.source, &run.setupDamaged);
    LogStartup(&run.source, run.runOk, run.options);
    int exitCode = 0;
    if (!HasRights(&run, command, &exitCode)) {
        ReleaseSetupSource(&run.source);  // held until the elevated copy has ended
        return exitCode;
    }
    // A bundle is read through by the copy that does the work, before the
    // plan: a copy that only starts the elevated one does not read it twice.
    if (run.source.bundled && run.runOk) {
        run.runOk = ReadBundledSetupFiles(&run.source, &run.setupDamaged);
        LogBundledSetupFiles(&run.source, run.runOk, run.setupDamaged);
    }
    // Taken by the copy that passed the rights checks: that one does the work.
    RunLock lock;
    int reported = RunToResult(&run, AcquireRunLock(run.isNt5, &lock));
    // Files, registry, result value and log are final now: a waiting run may
    // go on while this one tells its user. The script has been read for the
    // last time: a bundle's private folder goes.
    ReleaseRunLock(&lock);
    ReleaseSetupSource(&run.source);
    if (!reported)  // the first copy learns it apart from a completed run
        return run.elevatedCopy ? ERROR_CANCELLED : 0;
    Report(&run);
    return ExitCodeOf(&run, command);
}

int RunCommandLine(const char *commandLine)
{
    if (IsLaunchCommandLine(commandLine))
        return RunLaunchMode();  // needs no rights, so it never elevates; it has no log
    static SetupCommand command;
    if (!ReadSetupCommand(commandLine, &command))
        return -1;
    OpenRunLog(&command);
    int exitCode = RunSetup(&command);
    CloseRunLog(exitCode);
    return exitCode;
}
