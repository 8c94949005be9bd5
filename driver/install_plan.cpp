// The Install plan: product identity, folders, shortcut and toolbar choices,
// and the upgrade decisions, with the target-folder dialog or the uninstall
// confirmation.
#include "driver/install_plan.h"

#include "base/format.h"
#include "base/log.h"
#include "driver/setup_driver.h"
#include "driver/ui/user_interface.h"
#include "files/files.h"
#include "shortcuts/shortcuts.h"
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

int PlanInstall(int *cancelled, InstallPlan *plan, char *installedVersion, RunOptions options,
                const SetupSource *source)
{
    plan->xmlDescriptor = source->xmlDescriptor;
    if (!ReadReleaseInfo(source, plan->productName, plan->productVersion))
        return 0;
    plan->radarChoice = GetRadarChoice(source);
    ReadPublisher(source, plan->publisher);
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
        if (plan->folderRequested)
            LogLine("/D=%s not used: an upgrade keeps its folder", plan->requestedFolder);
    } else {
        plan->flags |= RUNOPT_FRESH_INSTALL;
        ApplyStoredRadarChoice(plan);
        plan->targetFolder[0] = 0;
        plan->previousName[0] = 0;  // a half-readable record is no installation
        defaultFolderFound = GetDefaultTargetFolder(source, plan->targetFolder) != 0;
        if (plan->folderRequested) {  // the caller's choice, checked as a typed one
            lstrcpyA(plan->targetFolder, plan->requestedFolder);
            defaultFolderFound = 1;
        }
    }
    TidyTargetFolder(plan->targetFolder);
    if (!(options & RUNOPT_SILENT))
        *cancelled = AskTargetFolder(plan) != IDOK;
    if (!defaultFolderFound)
        return 0;
    if (!*cancelled && TargetFolderRefusal(plan->targetFolder)) {
        LogLine("target folder %s refused%s", plan->targetFolder,
                HasMissingLetter(plan->targetFolder)
                    ? ": '?' is a letter the ANSI code page lacks"
                    : "");
        return 0;
    }
    int result = GetMenuGroupFolder(source, plan->menuFolder);
    result = FormatShortcutPath(plan->shortcutPath, plan->menuFolder, plan->productName) && result;
    result = FormatProgramPath(plan->programPath, plan->targetFolder) && result;
    if (plan->previousName[0])
        result = FormatShortcutPath(plan->previousShortcutPath, plan->menuFolder, plan->previousName) &&
                 result;
    return result;
}

// The installed product as its record names it. A record that lost its
// folder or identity to an uninstall that stopped halfway (or to a hand)
// still has the rest removed; only a folder that is there but is no full
// path makes it no installation.
int ReadUninstallTarget(InstallPlan *plan)
{
    int folder = ReadInstalledFolder(plan->installedFolder);
    if (!ReadProductIdentity(plan->productName, plan->productVersion)) {
        plan->productName[0] = 0;
        plan->productVersion[0] = 0;
    } else if (folder) {
        return 1;
    }
    if ((!folder && HasProductValue("ProgDir")) || !HasProductRemains())
        return 0;
    LogLine("plan: the rest of a stopped uninstall");
    return 1;
}

int PlanUninstall(int *cancelled, InstallPlan *plan, char *installedVersion, RunOptions options)
{
    if (!ReadUninstallTarget(plan))
        return 0;
    char found[MAX_PATH];
    // A folder that cannot be seen leaves the form unknown (-1): the files'
    // phase then stops, and the registry stays for a later uninstall.
    int form = plan->installedFolder[0]
                   ? FindFileInFolder(plan->installedFolder, "ZynSetup.xml", found)
                   : PATH_GONE;
    plan->xmlDescriptor = form == PATH_UNKNOWN ? -1 : form == PATH_FILE;
    if (form == PATH_UNKNOWN)
        LogLine("plan: %s cannot be seen", found);
    lstrcpynA(installedVersion, plan->productVersion, MAX_PATH);
    if (!(options & RUNOPT_SILENT)) {
        char text[MAX_PATH];
        char caption[MAX_PATH];
        *cancelled = ShowMessage(0, LoadText(IDS_CONFIRM_UNINSTALL, text, MAX_PATH),
                                 LoadText(IDS_CAPTION_UNINSTALL, caption, MAX_PATH),
                                 MB_ICONQUESTION | MB_YESNO) != IDYES;
    }
    int whole = plan->installedFolder[0] && plan->productName[0];
    int result = ReadMenuFolder(plan->menuFolder) || !whole;
    if (!plan->productName[0] || !plan->menuFolder[0])
        return result;  // no shortcut of its name is left to remove
    return FormatShortcutPath(plan->shortcutPath, plan->menuFolder, plan->productName) && result;
}

} // namespace

int BuildInstallPlan(int *cancelled, InstallPlan *plan, char *installedVersion,
                     const RunOptions *options, const SetupSource *source)
{
    *cancelled = 0;
    plan->flags = *options;
    if (*options & RUNOPT_INSTALL)
        return PlanInstall(cancelled, plan, installedVersion, *options, source);
    return PlanUninstall(cancelled, plan, installedVersion, *options);
}
