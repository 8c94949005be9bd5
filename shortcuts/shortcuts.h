// The application's shortcuts: on the desktop, in the Start menu and in the
// program group, and the legacy program folders of older versions. The
// desktop is the current user's; the Start menu is all users' on NT and the
// current user's on Windows 9x. A shortcut file is "<folder>\<name>.lnk" and
// points at `program` with its icon 1.
#ifndef SHORTCUTS_SHORTCUTS_H
#define SHORTCUTS_SHORTCUTS_H

#include "base/run_options.h"

#include <windows.h>

// 1 when "<name>.lnk" is a file on the desktop or in the Start menu.
int DesktopShortcutExists(const char *name);
int StartMenuShortcutExists(const char *name);
// With RUNOPT_INSTALL in `options` creates or replaces the shortcut to
// `program`; without it deletes the shortcut when it is there, and `program`
// may be null. 0 when the folder is unknown, the link cannot be saved, or
// the shortcut cannot be told to be gone after its removal (ProbePath).
int UpdateDesktopShortcut(const char *program, const char *name, RunOptions options);
int UpdateStartMenuShortcut(const char *program, const char *name, RunOptions options);
// The program-group shortcut at `shortcutPath` in `groupFolder`: install
// creates the folder when needed, removes legacy shortcuts to `program` and
// saves the link; removal deletes the file and the folder once empty, and
// succeeds when the file is known to be gone.
int UpdateGroupShortcut(const char *program, const char *shortcutPath, const char *groupFolder,
                        RunOptions options);
// Deletes the first shortcut to `program` in each legacy folder beside
// `groupFolder`, and that folder when it is left empty.
void RemoveLegacyShortcuts(const char *program, const char *groupFolder);

// Saves a shell link; kept apart so that tests can make a save fail.
struct IPersistFile;
HRESULT SaveLinkFile(IPersistFile *file, const char *path);

#endif
