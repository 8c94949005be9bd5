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

int TransferPayload(HWND owner, const char *folder, int deferred, RunOptions options);
// 1 when an uninstall must delete nothing in `folder`: a drive root, the
// Windows, system or Program Files folder, the profile or a shell folder, or
// a folder above one of them; also when the folder cannot be judged.
int IsCriticalFolder(const char *folder);
// The payload's size as installed, in KB (rounded up): the sizes of the
// source files beside the setup program.
int MeasurePayload(DWORD *kilobytes);
int CreateFolderPath(const char *path);
// Looks for `name` in `folder` alone (never on the search path); `extension`
// is appended when the name has none. `found` (260 characters) gets the path.
int FindInFolder(const char *folder, const char *name, const char *extension, char *found);

int DesktopShortcutExists(const char *name);
int StartMenuShortcutExists(const char *name);
int UpdateDesktopShortcut(const char *program, const char *name, RunOptions options);
int UpdateStartMenuShortcut(const char *program, const char *name, RunOptions options);
int UpdateGroupShortcut(const char *program, const char *shortcutPath, const char *groupFolder,
                        RunOptions options);
void RemoveLegacyShortcuts(const char *program, const char *groupFolder);

// Operations registered for the next Windows start on the NT family: a move,
// or a deletion when `to` is null. Kept apart so that tests can make one fail.
int RegisterRestartOperation(const char *from, const char *to);
// Takes back the most recent registered deletion of `path`.
int WithdrawRestartDeletion(const char *path);

// Adds lines to the "rename" section of WININIT.INI, keeping what is there.
int AppendRenameLines(const char *lines);
// Sets one "key=value" line of that section.
int WriteRenameEntry(const char *key, const char *value);

// Saves a shell link; kept apart so that tests can make a save fail.
struct IPersistFile;
HRESULT SaveLinkFile(IPersistFile *file, const char *path);

#endif
