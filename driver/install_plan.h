// Everything the phases of one run need, gathered before anything changes.
#ifndef DRIVER_INSTALL_PLAN_H
#define DRIVER_INSTALL_PLAN_H

#include "base/ansi_path.h"
#include "base/format.h"
#include "base/run_options.h"
#include "files/files.h"
#include "places/places.h"
#include "source/setup_source.h"
#include "registry/registry.h"
#include "resources/resource.h"

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
    char publisher[MAX_PATH];  // empty when the Setup script names none
    int xmlDescriptor;  // the payload carries the XML-form descriptor (-1: not known)
    // The folder the caller chose ("/D="), set before the plan is built: a
    // fresh install proposes it instead of the default. "" with
    // `folderRequested` set: one too long to hold.
    int folderRequested;
    char requestedFolder[MAX_PATH];
};

// Where the payload phases take the files from: the setup folder or the
// bundle that start-up found (nothing for an uninstall), in the descriptor's
// form as the plan found it.
inline PayloadSource PlanPayloadSource(const InstallPlan &plan, const SetupSource &setup)
{
    PayloadSource source = {setup.bundled ? "" : setup.folder, plan.xmlDescriptor,
                            setup.bundled ? &setup.bundle : 0};
    return source;
}

// Gathers the plan for the run `*options` asks for: product identity and
// folders, shortcut and toolbar choices, after the target-folder dialog or
// the uninstall confirmation unless the run is silent; an install reads its
// setup data from `source`. `installedVersion` (MAX_PATH characters)
// receives the installed version when there is one. `*cancelled` is 1 when
// the user declined. 0 when the plan cannot be made.
int BuildInstallPlan(int *cancelled, InstallPlan *plan, char *installedVersion,
                     const RunOptions *options, const SetupSource *source);

// Why a new target folder is refused, as the message that says so; 0 when it
// is taken. A relative folder would land wherever setup runs; one with a
// '?', a letter that the ANSI code page lacks (see ReadCommandLine), would be
// another folder or none; one that Windows would make elsewhere than named
// (see IsPlainFolderName), or whose files' paths would not fit, would fail
// the files' phase; one that the uninstall would refuse (a drive root, a
// system or shell folder, a stream) could never be removed again; one that a
// standard user owns, or reached through a link, could be swapped for
// another program's folder before the uninstall deletes from it. Inline: the
// dialog's floor checks a typed folder too.
inline UINT TargetFolderRefusal(const char *folder)
{
    if (!IsFullPath(folder))
        return IDS_FOLDER_NOT_FULL_PATH;
    return HasMissingLetter(folder) || !IsPlainFolderName(folder, LONGEST_FOLDER_FILE_NAME) ||
                   IsCriticalFolder(folder) || !IsTrustedFolderPath(folder)
               ? IDS_FOLDER_REFUSED
               : 0;
}

// "<menu folder>\<name>.lnk" into `path` (MAX_PATH characters); 0 when it
// does not fit. Inline, so that a run that reads the plan back from the
// registry makes the same paths.
inline int FormatShortcutPath(char *path, const char *menuFolder, const char *name)
{
    return FormatText(path, MAX_PATH, "%s\\%s.lnk", menuFolder, name);
}

// "<target folder>\Dorsel.exe" into `path` (MAX_PATH characters); 0 when it
// does not fit.
inline int FormatProgramPath(char *path, const char *targetFolder)
{
    return FormatText(path, MAX_PATH, "%s\\Dorsel.exe", targetFolder);
}

// Version texts such as "3.00.0000" compare bytewise, as unsigned characters,
// over 10 bytes (the text and its terminator); never as numbers.
inline int CompareVersions(const char *left, const char *right)
{
    return memcmp(left, right, 10);
}

#endif
