#include "tests/driver/walk_doubles.h"

#include "base/startup_state.h"
#include "driver/application_start.h"
#include "driver/run_log.h"
#include "driver/setup_driver.h"
#include "driver/ui/user_interface.h"
#include "files/files.h"
#include "places/places.h"
#include "shortcuts/shortcuts.h"
#include "registry/registry.h"
#include "script/setup_script.h"

#include <string.h>

WalkScript walk;

namespace {

std::string Text(const char *text)
{
    return text ? text : "-";
}

// Logs "name arguments"; fails when a failing entry begins the logged line.
int Record(const std::string &name, const std::string &arguments = "")
{
    std::string line = arguments.empty() ? name : name + " " + arguments;
    walk.log.push_back(line);
    for (const std::string &failing : walk.failing)
        if (line.compare(0, failing.size(), failing) == 0)
            return 0;
    return 1;
}

std::string Options(RunOptions options)
{
    char text[16];
    wsprintfA(text, "%lx", options);
    return text;
}

} // namespace

int RunWalk(const char *commandLine)
{
    g_startup.instance = GetModuleHandleA(0);  // what WinMain does first
    return RunCommandLine(commandLine);
}

int RunLaunchMode(void) { return Record("RunLaunchMode"); }
int QueryElevationType(void) { return walk.elevationType; }

int QueryTokenElevated(void) { return -1; }

int StartAndAwaitExit(const char *, const char *parameters, const char *verb, DWORD *exitCode)
{
    *exitCode = walk.elevatedExitCode;
    return Record(std::string("StartAndAwaitExit ") + Text(verb), parameters) && walk.elevatedStarts;
}

int StartApplication(const char *, const char *) { return 1; }

// The product key as the elevated copy leaves it.
int ReadMenuFolder(char *folder) { return lstrlenA(lstrcpyA(folder, walk.plan.menuFolder)); }
int ReadInstalledFolder(char *folder) { return lstrlenA(lstrcpyA(folder, walk.plan.targetFolder)); }

int ReadProductIdentity(char *name, char *)
{
    return lstrlenA(lstrcpyA(name, walk.plan.productName));
}

int MeasurePayload(const PayloadSource *, DWORD *kilobytes) { return (int)(*kilobytes = 321); }

int WriteUninstallDetails(const char *uninstaller, const char *folder, DWORD kilobytes,
                          const char *publisher)
{
    return Record("WriteUninstallDetails", Text(uninstaller) + " " + Text(folder) + " " +
                                               std::to_string(kilobytes) + " " + Text(publisher));
}

int InitSetupRun(RunOptions options, SetupSource *source, int *)
{
    walk.log.push_back("InitSetupRun " + Options(options));
    source->bundled = walk.bundled;
    return walk.initResult;
}

int ReadBundledSetupFiles(SetupSource *, int *damaged)
{
    *damaged = walk.bundleDamaged;
    return Record("ReadBundledSetupFiles") && !walk.bundleDamaged;
}

void ReleaseStartupData(SetupSource *) {}
void ReleaseSetupSource(SetupSource *) {}

int BuildInstallPlan(int *cancelled, InstallPlan *plan, char *installedVersion, const RunOptions *options,
                     const SetupSource *)
{
    walk.log.push_back("BuildInstallPlan " + Options(*options));
    *plan = walk.plan;
    plan->flags = *options;
    lstrcpyA(installedVersion, walk.installedVersion);
    *cancelled = walk.cancel;
    return walk.planResult;
}

int IsAdministrator(void) { return walk.administrator; }
int EnableTakeOwnership(void) { return walk.takeOwnership; }

int ReadCallerWindow(HWND *callerWindow)
{
    if (!walk.callerWindow)
        return 0;
    *callerWindow = (HWND)(UINT_PTR)walk.callerWindow;
    return 1;
}

int DeleteCallerNotification(void) { return Record("DeleteCallerNotification"); }

void RemoveStaleStagingFolders(const char *) { ++walk.stagingCleanups; }

int TransferPayload(HWND, const PayloadSource *, const char *folder, int deferred,
                    RunOptions options)
{
    return Record("TransferPayload", Text(folder) + (deferred ? " deferred " : " now ") + Options(options));
}

int IsCriticalFolder(const char *) { return walk.criticalFolder; }

int UpdateDesktopShortcut(const char *program, const char *name, RunOptions options)
{
    return Record("UpdateDesktopShortcut", Text(program) + " " + Text(name) + " " + Options(options));
}

int UpdateStartMenuShortcut(const char *program, const char *name, RunOptions options)
{
    return Record("UpdateStartMenuShortcut", Text(program) + " " + Text(name) + " " + Options(options));
}

int UpdateGroupShortcut(const char *program, const char *shortcut, const char *group, RunOptions options)
{
    return Record("UpdateGroupShortcut",
                  Text(program) + " " + Text(shortcut) + " " + Text(group) + " " + Options(options));
}

int WriteInstalledFolder(const char *folder, RunOptions options)
{
    return Record("WriteInstalledFolder", Text(folder) + " " + Options(options));
}

int WriteProductIdentity(const char *name, const char *version, RunOptions options)
{
    return Record("WriteProductIdentity", Text(name) + " " + Text(version) + " " + Options(options));
}

int RegisterSearchFolder(const char *folder, RunOptions options)
{
    return Record("RegisterSearchFolder", Text(folder) + " " + Options(options));
}

int WriteMenuFolder(const char *folder, RunOptions options)
{
    return Record("WriteMenuFolder", Text(folder) + " " + Options(options));
}

int WriteInternetSettings(DWORD radar, const char *downloadFolder, RunOptions options)
{
    return Record("WriteInternetSettings",
                  std::to_string(radar) + " " + Text(downloadFolder) + " " + Options(options));
}

int WriteToolbarButton(const char *program, const char *icon, const char *text, int create)
{
    return Record("WriteToolbarButton",
                  Text(program) + " " + Text(icon) + " " + Text(text) + " " + std::to_string(create));
}

int MigratePackageRecords(void) { return Record("MigratePackageRecords"); }

int WriteUninstallEntry(const char *uninstaller, const char *name, const char *version, RunOptions options)
{
    return Record("WriteUninstallEntry",
                  Text(uninstaller) + " " + Text(name) + " " + Text(version) + " " + Options(options));
}

int WriteInterfacePath(const char *uninstaller, RunOptions options)
{
    return Record("WriteInterfacePath", Text(uninstaller) + " " + Options(options));
}

int ReadSearchFolderList(const SetupSource *, char *list)
{
    if (!walk.searchList)
        return 0;
    lstrcpyA(list, walk.searchList);
    return lstrlenA(list);
}

int ReadDownloadFolderList(const SetupSource *, char *list)
{
    if (!walk.downloadList)
        return 0;
    lstrcpyA(list, walk.downloadList);
    return lstrlenA(list);
}

HWND OpenProgressWindow(HWND)
{
    walk.log.push_back("OpenProgressWindow");
    return (HWND)1;
}

void SetProgress(HWND, int position, int pause)
{
    walk.positions.push_back(pause ? position : -position);
}

void CloseProgressWindow(HWND) { walk.log.push_back("CloseProgressWindow"); }

DWORD WaitHandlingMessages(HANDLE handle, DWORD milliseconds)
{
    return WaitForSingleObject(handle, milliseconds);
}

int ShowMessage(HWND owner, const char *text, const char *caption, UINT style)
{
    walk.messages.push_back({Text(text), caption ? caption : "<default>", style, owner});
    return walk.cancel ? IDNO : IDYES;
}

void PromptForRestart(void) { ++walk.restartPrompts; }

int StartAndAwaitReady(const char *file, const char *folder)
{
    walk.log.push_back("StartAndAwaitReady " + Text(file) + " " + Text(folder));
    return walk.appReady;
}

void ErrorText(DWORD error, char *text)
{
    wsprintfA(text, "system text %lu", error);
}
