// What a path on disk is, and whether setup may trust it: the identity of a
// file or folder however it is spelled (PlaceKey), what the system can tell
// of a path (a file, a folder, gone, or unknown), the folders setup must
// never install into or delete from, the trust of a folder's owners on NT,
// and the folders setup creates. Lists of paths for the shell are kept here
// too. Everything here reads the disk or the registry; nothing installs.
#ifndef PLACES_PLACES_H
#define PLACES_PLACES_H

#include "base/final_path.h"  // FinalPathOf

#include <windows.h>

enum {
    PATH_LIST_SIZE = 13 * MAX_PATH  // a multi-string of up to twelve full paths
};

// A multi-string of paths in a fixed buffer: the paths separated by NUL and
// ended by an empty one.
struct PathList {
    char text[PATH_LIST_SIZE];
    size_t used;
};
// Appends `path`; 0, with the list unchanged, when it does not fit.
int AppendToList(PathList *list, const char *path);

// 1 when setup must neither install into nor delete from `folder`: a drive
// root, the Windows folder or a folder in it, the Program Files or Common
// Files folder (of the 32-bit and the native view), the profile or a shell
// folder, or a folder above one of them; also when the folder cannot be
// judged, as one whose path has a ':' after its drive letter: that names a
// stream of a file or folder, or on NTFS a folder itself by its index
// ("C:\Windows:$I30:$INDEX_ALLOCATION").
int IsCriticalFolder(const char *folder);
// The critical places (those IsCriticalFolder compares with) read on a
// thread of their own while the caller does other work: each is a system
// call or several (every shell folder, each folder's final path), a tenth of
// a second in all under Wine. Finishing waits for the thread; the first
// question finishes it too, and logs what could not be read. Without a
// thread the first question reads them, as it does without a start.
void StartReadingCriticalPlaces(void);
void FinishReadingCriticalPlaces(void);
// 1 when Windows makes of `folder`, as it is spelled, the folder it names,
// and files of names up to `longestName` characters fit in it within
// MAX_PATH: no part of it is "." or "..", ends in a dot or a blank, names a
// device ("NUL", "com1.txt") or holds a character that no name may hold.
// Otherwise 0, with the reason logged.
int IsPlainFolderName(const char *folder, size_t longestName);
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
// A folder opened to be held: without delete sharing (the read access makes
// the system keep to it: a handle with only attribute rights takes no part
// in sharing checks), so that it cannot be renamed or replaced while the
// handle is open, and a link at its last step opened as itself.
HANDLE OpenFolderToHold(const char *path);
// 1 when the open `held` is a folder of its own: no junction or link.
int IsFolderOfItsOwn(HANDLE held);

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

#endif
