// The Install plan: product identity, folders, shortcut and toolbar choices,
// and the upgrade decisions, with the target-folder dialog or the uninstall
// confirmation.
#include "driver/install_plan.h"

#include "base/format.h"
#include "base/startup_state.h"
#include "driver/setup_driver.h"
#include "driver/ui/user_interface.h"
#include "files/files.h"
#include "registry/registry.h"
#include "resources/resource.h"
#include "script/setup_script.h"

#include <string.h>

namespace {

// A stored radar choice of 0 turns the radar and the toolbar button off.
void ApplyStoredRadarChoice(InstallPlan *plan)
{
    DWORD stored = 1;
    if (ReadInternetFunction(&stored) && stored == 0) {
        plan->radarChoice = 0;
        plan->toolbarButton = 0;
    }
}

int PlanInstall(int *cancelled, InstallPlan *plan, char *installedVersion, RunOptions options)
{
    lstrcpynA(plan->setupFolder, g_startup.setupFolder, MAX_PATH);
    plan->xmlDescriptor = g_startup.descriptorMode;
    if (!ReadReleaseInfo(plan->productName, plan->productVersion))
        return 0;
    plan->radarChoice = GetRadarChoice();
    ReadPublisher(plan->publisher);
    plan->desktopIcon = DesktopShortcutExists(plan->productName);
    plan->startMenuIcon = StartMenuShortcutExists(plan->productName);
    plan->toolbarButton =
        options & RUNOPT_HIDDEN ? HasToolbarButton() : plan->radarChoice != 0;
    int defaultFolderFound = 1;
    if (ReadInstalledFolder(plan->targetFolder) &&
        ReadProductIdentity(plan->previousName, installedVersion)) {
        if (CompareVersions(installedVersion, "3.00.0000") > 0)
            ApplyStoredRadarChoice(plan);
        plan->desktopIcon = plan->desktopIcon || DesktopShortcutExists(plan->previousName);
        plan->startMenuIcon = plan->startMenuIcon || StartMenuShortcutExists(plan->previousName);
    } else {
        plan->flags |= RUNOPT_FRESH_INSTALL;
        ApplyStoredRadarChoice(plan);
        memset(plan->targetFolder, 0, MAX_PATH);
        memset(plan->previousName, 0, MAX_PATH);  // a half-readable record is no installation
        defaultFolderFound = GetDefaultTargetFolder(plan->targetFolder) != 0;
    }
    TidyTargetFolder(plan->targetFolder);
    if (!(options & RUNOPT_SILENT))
        *cancelled = AskTargetFolder(plan) != IDOK;
    if (!defaultFolderFound)
        return 0;
    int result = GetMenuGroupFolder(plan->menuFolder);
    result = FormatShortcutPath(plan->shortcutPath, plan->menuFolder, plan->productName) && result;
    result = FormatProgramPath(plan->programPath, plan->targetFolder) && result;
    if (plan->previousName[0])
        result = FormatShortcutPath(plan->previousShortcutPath, plan->menuFolder, plan->previousName) &&
                 result;
    return result;
}

int PlanUninstall(int *cancelled, InstallPlan *plan, char *installedVersion, RunOptions options)
{
    if (!ReadInstalledFolder(plan->installedFolder) ||
        !ReadProductIdentity(plan->productName, plan->productVersion))
        return 0;
    char found[MAX_PATH];
    plan->xmlDescriptor = FindFileInFolder(plan->installedFolder, "ZynSetup.xml", found);
    lstrcpynA(installedVersion, plan->productVersion, MAX_PATH);
    if (!(options & RUNOPT_SILENT)) {
        char text[MAX_PATH];
        char caption[MAX_PATH];
        *cancelled = ShowMessage(0, LoadText(IDS_CONFIRM_UNINSTALL, text, MAX_PATH),
                                 LoadText(IDS_CAPTION_UNINSTALL, caption, MAX_PATH),
                                 MB_ICONQUESTION | MB_YESNO) != IDYES;
    }
    int result = ReadMenuFolder(plan->menuFolder);
    return FormatShortcutPath(plan->shortcutPath, plan->menuFolder, plan->productName) && result;
}

} // namespace

int BuildInstallPlan(int *cancelled, InstallPlan *plan, char *installedVersion,
                     const RunOptions *options)
{
    *cancelled = 0;
    plan->flags = *options;
    if (*options & RUNOPT_INSTALL)
        return PlanInstall(cancelled, plan, installedVersion, *options);
    return PlanUninstall(cancelled, plan, installedVersion, *options);
}
