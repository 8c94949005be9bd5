// Moving the payload files (at once or at the next Windows start) and the
// application's shortcuts. Every operation returns nonzero for success.
#ifndef FILES_FILES_H
#define FILES_FILES_H

#include "base/final_path.h"  // FinalPathOf
#include "base/run_options.h"

#include <windows.h>

enum {
    PATH_LIST_SIZE = 10 * MAX_PATH,  // a multi-string of full paths
    PAYLOAD_FILE_COUNT = 12
};

// A multi-string of paths in a fixed buffer: the paths separated by NUL and
// ended by an empty one.
struct PathList {
    char text[PATH_LIST_SIZE];
    size_t used;
};
// Appends `path`; 0, with the list unchanged, when it does not fit.
int AppendToList(PathList *list, const char *path);

struct SetupBundle;

// Where an install takes the payload from: the folder of the running setup
// program, or the bundle it carries, and the form of the Package descriptor,
// whose file has other names in each form (an uninstall reads only the form;
// below 0 when it could not be told, which stops the uninstall of the files).
struct PayloadSource {
    const char *setupFolder;
    int xmlDescriptor;
    const SetupBundle *bundle;  // null: the folder
};

// Installs the payload from `source` into `folder` (the uninstaller into the
// Windows folder), or removes it without RUNOPT_INSTALL in `options`; with
// `deferred` the files are replaced or deleted at the next Windows start.
// The files are staged first: copied from the folder, or decoded from the
// bundle with each file's size and content checksum checked; nothing moves
// into place before every file has passed.
// Reads RUNOPT_INSTALL, and RUNOPT_SILENT, under which the shell shows no
// error box of its own.
int TransferPayload(HWND owner, const PayloadSource *source, const char *folder, int deferred,
                    RunOptions options);
// 1 when setup must neither install into nor delete from `folder`: a drive
// root, the Windows folder or a folder in it, the Program Files or Common
// Files folder (of the 32-bit and the native view), the profile or a shell
// folder, or a folder above one of them; also when the folder cannot be
// judged.
int IsCriticalFolder(const char *folder);
// The payload's size as installed, in KB (rounded up): the sizes of the
// source files in the setup folder, or those the bundle's index states.
int MeasurePayload(const PayloadSource *source, DWORD *kilobytes);
// Creates the folder and every folder above it that is missing; on NT each
// one it creates gets the access list of Program Files (see
// CreateProtectedFolder), so that no standard user can change or swap it.
int CreateFolderPath(const char *path);
// What is at a path, as far as the system can tell.
enum { PATH_UNKNOWN = -1, PATH_GONE = 0, PATH_FILE = 1, PATH_FOLDER = 2 };
// PATH_GONE only when the system answers "file not found" or "path not
// found" and the nearest folder above that is there can be read: a drive
// that is not there (not even its root answers), a network that is not
// ready or a refused access leave it PATH_UNKNOWN, never gone.
int ProbePath(const char *path);
// ProbePath of "<folder>\<name>": one folder only, never a search list.
// `found` (260 characters) gets the path; PATH_UNKNOWN when it does not fit.
int FindFileInFolder(const char *folder, const char *name, char *found);
// 1 only for a file (a folder of that name is not one).
int IsExistingFile(const char *path);
// 1 when setup may install into `folder`. On NT every folder of its path that
// is there (itself, or the nearest one above it that setup's new folders go
// into, and every one above that) must be owned by Administrators, SYSTEM,
// TrustedInstaller or the account running setup, and be no junction or
// link; the nearest must lie where the path names it. A standard user who
// owns a folder on the way could swap what lies below it. What cannot be
// judged (no owner, a drive that is not there) is refused; the refusal is
// logged. Windows 9x has no owners: always 1.
int IsTrustedFolderPath(const char *folder);
// The installed folder held open for its uninstall (NT): without delete
// sharing, so that it cannot be renamed or swapped for a link while its
// files go, and only when it is a folder of its own where `folder` names it.
// Null when there is nothing to hold (Windows 9x, or a folder known to be
// gone); INVALID_HANDLE_VALUE, logged, when it must not be touched.
HANDLE HoldInstalledFolder(const char *folder);
// Removes what earlier runs left in their staging folders in the current
// user's temporary folder: only folders named as this program names them,
// only files with payload names, only folders that end up empty, and never
// one that a pending restart operation still takes files from, nor
// `ownFolder` (this run's private folder of a bundle's files; null or "" for
// none).
void RemoveStaleStagingFolders(const char *ownFolder);

// Shortcuts. The desktop is the current user's; the Start menu is all users'
// on NT and the current user's on Windows 9x. A shortcut file is
// "<folder>\<name>.lnk" and points at `program` with its icon 1.
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

// Operations registered for the next Windows start on the NT family: a move,
// or a deletion when `to` is null. Kept apart so that tests can make one fail.
int RegisterRestartOperation(const char *from, const char *to);
// Takes back every pending deletion of the paths in the multi-string `paths`
// (at most 16), compared as places (see PlaceKey): any spelling of the same
// file counts. Nonzero when none is left pending.
int WithdrawRestartDeletions(const char *paths);
// Takes back the pending moves onto the paths in `paths` (at most 16) whose
// sources fit in `sources`, and adds those sources to it; `more` tells
// whether moves were left for another call because the list was full.
// Nonzero when the list of pending operations was written (or unchanged).
int WithdrawRestartMoves(const char *paths, PathList *sources, int *more);
// Whether a pending operation takes a file from within `folder`.
int IsPendingRestartSource(const char *folder);

// Windows 9x: adds lines to the "rename" section of WININIT.INI, keeping what
// is there; sets (or, with a null value, removes) one "key=value" line; takes
// back the "NUL=" lines of `paths` (at most 16), and the moves onto them
// whose sources fit in `sources` (as WithdrawRestartMoves does); tells
// whether a line names a file within `folder`.
int AppendRenameLines(const char *lines);
int WriteRenameEntry(const char *key, const char *value);
int WithdrawRenameDeletions(const char *paths);
int WithdrawRenameMoves(const char *paths, PathList *sources, int *more);
int IsPendingRenameSource(const char *folder);
// The short (8.3) form of a path, or of a file not there yet: its folder's
// short form and its name. `shortPath` holds 260 characters.
int ShortPathOfFile(const char *path, char *shortPath);
int ShortPathOfNewFile(const char *path, char *shortPath);

// A file or folder as this program compares it with another. Where it
// exists, its identity on disk (volume serial number and file index), the
// same for every spelling, letter case and link; and always its full path in
// long form, without a device prefix or trailing backslashes, resolved
// through links where the system can say.
struct PlaceKey {
    char path[MAX_PATH];
    int identified;
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};
// 0 when `path` names no place of files (empty, relative, a device).
int ReadPlaceKey(const char *path, PlaceKey *key);
// The same place: by identity when both are known, else by path.
int IsSamePlaceKey(const PlaceKey *a, const PlaceKey *b);
int IsSamePlace(const char *a, const char *b);
// 1 when `outer` is the place `inner` or one of the folders it lies in.
int ContainsPlaceKey(const PlaceKey *outer, const PlaceKey *inner);
// Cuts the full path `path` to the folder it lies in ("C:\x" to "C:\");
// 0 at the root of a drive or share.
int CutToParentFolder(char *path);
// 1 when `path` lies in the folder `folder`, at any depth (not when it is it).
int IsInsidePlace(const PlaceKey *folder, const char *path);
// 1 for the root of a drive or a network share.
int IsDriveRoot(const PlaceKey *key);

// A few places read once, to compare many others with.
enum { PLACE_SET_SIZE = 16 };
struct PlaceSet {
    PlaceKey keys[PLACE_SET_SIZE];
    int count;
};
// The places of the multi-string `paths`; 0 when one names no place or
// there are more than PLACE_SET_SIZE.
int ReadPlaceSet(const char *paths, PlaceSet *set);
// Whether `path` names one of the set's places.
int IsInPlaceSet(const char *path, const PlaceSet *set);

// Saves a shell link; kept apart so that tests can make a save fail.
struct IPersistFile;
HRESULT SaveLinkFile(IPersistFile *file, const char *path);

// SHFileOperationA; kept apart so that tests can make the shell report or
// leave something other than what was asked.
struct _SHFILEOPSTRUCTA;
int RunShellFileOperation(_SHFILEOPSTRUCTA *request);

#endif
