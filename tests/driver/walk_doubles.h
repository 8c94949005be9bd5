// Stand-ins for every operation the setup run calls, linked in place of the
// real ones. Each records its call in the log and fails when told to.
#ifndef TESTS_DRIVER_WALK_DOUBLES_H
#define TESTS_DRIVER_WALK_DOUBLES_H

#include "driver/install_plan.h"

#include <windows.h>

#include <string>
#include <vector>

struct Message {
    std::string text;
    std::string caption;
    UINT style;
    HWND owner;
};

struct WalkScript {
    std::vector<std::string> log;        // operations in the order they were called
    std::vector<std::string> failing;    // operations (log names) that return 0
    std::vector<int> positions;          // progress positions; negative: set without a pause
    std::vector<Message> messages;
    InstallPlan plan;                    // handed out by BuildInstallPlan
    char installedVersion[MAX_PATH];
    int initResult = 1;
    int bundled = 0;                     // start-up found a bundle
    int bundleDamaged = 0;               // ReadBundledSetupFiles finds it damaged
    int planResult = 1;
    int cancel = 0;
    int administrator = 1;
    int takeOwnership = 1;
    int callerWindow = 0;                // nonzero: a notification is registered
    int appReady = 1;                    // StartAndAwaitReady's answer
    int restartPrompts = 0;
    int stagingCleanups = 0;             // calls of RemoveStaleStagingFolders
    int criticalFolder = 0;              // IsCriticalFolder's answer
    const char *searchList = 0;
    const char *downloadList = 0;
    int elevationType = 2;               // of the token: full
    int elevatedStarts = 1;              // the elevated copy starts and ends with:
    DWORD elevatedExitCode = 0;
};

extern WalkScript walk;

// The setup run as WinMain starts it.
int RunWalk(const char *commandLine);

#endif
