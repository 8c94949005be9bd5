// Moving the payload files (at once or at the next Windows start) and the
// application's shortcuts. Every operation returns nonzero for success.
#ifndef FILES_FILES_H
#define FILES_FILES_H

#include "base/run_options.h"

#include <windows.h>

enum {
    PATH_LIST_SIZE = 10 * MAX_PATH,  // a multi-string of full paths
    PAYLOAD_FILE_COUNT = 12
};

// Where an install takes the payload from: the folder of the running setup
// program, and the form of the Package descriptor, whose file has other
// names in each form (an uninstall reads only the form).
struct PayloadSource {
    const char *setupFolder;
    int xmlDescriptor;
};

// Installs the payload from `source` into `folder` (the uninstaller into the
// Windows folder), or removes it without RUNOPT_INSTALL in `options`; with
// `deferred` the files are replaced or deleted at the next Windows start.
// Reads RUNOPT_INSTALL, and RUNOPT_SILENT, under which the shell shows no
// error box of its own.
int TransferPayload(HWND owner, const PayloadSource *source, const char *folder, int deferred,
                    RunOptions options);
// 1 when an uninstall must delete nothing in `folder`: a drive root, the
// Windows, system or Program Files folder, the profile or a shell folder, or
// a folder above one of them; also when the folder cannot be judged.
int IsCriticalFolder(const char *folder);
// The payload's size as installed, in KB (rounded up): the sizes of the
// source files in the setup folder.
int MeasurePayload(const PayloadSource *source, DWORD *kilobytes);
int CreateFolderPath(const char *path);
// Whether "<folder>\<name>" is a file (a folder of that name is not): one
// folder only, never a search list. `found` (260 characters) gets the path.
int FindFileInFolder(const char *folder, const char *name, char *found);
int IsExistingFile(const char *path);
// Removes what earlier runs left in their staging folders in the current
// user's temporary folder: only folders named as this program names them,
// only files with payload names, only folders that end up empty, and never
// one that a pending restart operation still takes files from.
void RemoveStaleStagingFolders(void);

// Shortcuts. The desktop is the current user's; the Start menu is all users'
// on NT and the current user's on Windows 9x. A shortcut file is
// "<folder>\<name>.lnk" and points at `program` with its icon 1.
// 1 when "<name>.lnk" is a file on the desktop or in the Start menu.
int DesktopShortcutExists(const char *name);
int StartMenuShortcutExists(const char *name);
// With RUNOPT_INSTALL in `options` creates or replaces the shortcut to
// `program`; without it deletes the shortcut when it is there, and `program`
// may be null. 0 when the folder is unknown or the link cannot be saved.
int UpdateDesktopShortcut(const char *program, const char *name, RunOptions options);
int UpdateStartMenuShortcut(const char *program, const char *name, RunOptions options);
// The program-group shortcut at `shortcutPath` in `groupFolder`: install
// creates the folder when needed, removes legacy shortcuts to `program` and
// saves the link; removal deletes the file and the folder once empty, and
// always succeeds.
int UpdateGroupShortcut(const char *program, const char *shortcutPath, const char *groupFolder,
                        RunOptions options);
// Deletes the first shortcut to `program` in each legacy folder beside
// `groupFolder`, and that folder when it is left empty.
void RemoveLegacyShortcuts(const char *program, const char *groupFolder);

// Operations registered for the next Windows start on the NT family: a move,
// or a deletion when `to` is null. Kept apart so that tests can make one fail.
int RegisterRestartOperation(const char *from, const char *to);
// Takes back every pending deletion of the paths in the multi-string `paths`
// (at most 16), compared as full paths in any letter case. Nonzero when none
// is left pending.
int WithdrawRestartDeletions(const char *paths);
// Whether a pending operation takes a file from within `folder`.
int IsPendingRestartSource(const char *folder);

// Windows 9x: adds lines to the "rename" section of WININIT.INI, keeping what
// is there; sets (or, with a null value, removes) one "key=value" line; takes
// back the "NUL=" lines of `paths`; tells whether a line names a file within
// `folder`.
int AppendRenameLines(const char *lines);
int WriteRenameEntry(const char *key, const char *value);
int WithdrawRenameDeletions(const char *paths);
int IsPendingRenameSource(const char *folder);
// The short (8.3) form of a path, or of a file not there yet: its folder's
// short form and its name. `shortPath` holds 260 characters.
int ShortPathOfFile(const char *path, char *shortPath);
int ShortPathOfNewFile(const char *path, char *shortPath);
// The full path of `path` into `full` (MAX_PATH characters), without trailing
// backslashes except after a drive root; 0 when it cannot be made or does not fit.
int FullPathOf(const char *path, char *full);

// Saves a shell link; kept apart so that tests can make a save fail.
struct IPersistFile;
HRESULT SaveLinkFile(IPersistFile *file, const char *path);

#endif
