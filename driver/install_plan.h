// Everything the phases of one run need, gathered before anything changes.
#ifndef DRIVER_INSTALL_PLAN_H
#define DRIVER_INSTALL_PLAN_H

#include "driver/run_options.h"

#include <string.h>
#include <windows.h>

struct InstallPlan {
    RunOptions flags;  // the Run options, with RUNOPT_FRESH_INSTALL when nothing is installed
    int radarChoice;
    int desktopIcon;
    int startMenuIcon;
    int toolbarButton;
    char productName[MAX_PATH];
    char productVersion[MAX_PATH];
    char installedFolder[MAX_PATH];
    char shortcutPath[MAX_PATH];
    char menuFolder[MAX_PATH];
    char targetFolder[MAX_PATH];
    char programPath[MAX_PATH];
    char previousName[MAX_PATH];
    char previousShortcutPath[MAX_PATH];
};

// Drops the blanks around a folder and its trailing backslashes, except the
// one of a drive root ("C:\\").
void TidyTargetFolder(char *folder);
// A drive letter with a backslash, or "\\\\server\\share" with or without more.
int IsFullPath(const char *folder);

int BuildInstallPlan(int *cancelled, InstallPlan *plan, char *installedVersion,
                     RunOptions *options);

// Version texts such as "3.00.0000" compare bytewise, as unsigned characters,
// over 10 bytes (the text and its terminator); never as numbers.
inline int CompareVersions(const char *left, const char *right)
{
    return memcmp(left, right, 10);
}

#endif
