// The state of one install or uninstall run, shared by the files of the setup
// run: the flow (setup_run.cpp), the phases (run_phases.cpp), the report
// (run_report.cpp) and the elevation (elevation.cpp).
#ifndef DRIVER_RUN_STATE_H
#define DRIVER_RUN_STATE_H

#include "driver/install_plan.h"
#include "driver/setup_driver.h"
#include "source/setup_source.h"

#include <windows.h>

struct RunState {
    RunOptions options;
    int runOk;             // cleared by the first failing phase
    int phaseCode;         // of the phase in progress; 0 once all have succeeded
    int cancelled;         // the user backed out of the plan
    int appRunning;        // the files wait for the next Windows start
    int notifyRegistered;  // a caller waits for the application's ready event
    HWND callerWindow;
    int isNt5;
    int elevatedCopy;      // started elevated by a copy that lacked the rights
    int lockHeld;          // another run held the run lock past the wait
    int setupDamaged;      // the bundle's data is damaged, truncated or not its own
    SetupSource source;    // where the setup data comes from, filled in by start-up
    InstallPlan plan;
    char installedVersion[MAX_PATH];
    char downloadFolder[MAX_PATH];
    char buttonText[MAX_PATH];
    HWND progress;
};

// The install or the uninstall phases in their order; 0 at the first failure,
// with run->phaseCode naming the failed phase.
int RunInstallPhases(RunState *run);
int RunUninstallPhases(RunState *run);
// Whether the installed application runs (its files then wait for the next
// Windows start); with RUNOPT_RELAUNCH waits until it gives up its mutex.
int IsApplicationRunning(const RunState *run);

// The final message or the restart prompt, unless the run is silent.
void TellUser(const RunState *run);
// After an install with "/O": the application starts again through its group
// shortcut (or itself, without one); a waiting caller learns whether it
// became ready. After a failed run only the caller's request is withdrawn.
void RelaunchApplication(const RunState *run);

#endif
